#pragma once
// Deterministic damage of a stream's pictures: bit flips inside picture data, or pictures cut short.
// Sequence, object and layer headers and the first bytes of every picture (its header, which the
// measurement needs intact to place the picture in display order) are left alone.

#include <cstdint>
#include <vector>

#include "tools/resilience/StreamUnits.h"

namespace vistrel::resilience {

struct DamageOptions {
    std::uint32_t seed = 1;
    int flipsPerPicture = 3;
    // Cut every third picture (chosen by the seed) to between a quarter and three quarters of its
    // data instead of flipping bits.
    bool truncate = false;
};

// Bytes at the start of a picture unit that keep their value: the start code and the picture header
// up to its quantiser (H.263: 50 bits; MPEG-4: start code, coding type, time stamp, quantiser and
// vector ranges of a VOP header).
int ProtectedPrefix(Codec codec);

struct DamagedStream {
    std::vector<std::uint8_t> bytes;
    std::vector<StreamUnit> units;  // where each unit of the original lies in the damaged copy
    int picturesDamaged = 0;
};

// A flip that would make a new start code (which would cut a picture in two for every decoder) is
// drawn again.
DamagedStream DamageStream(Codec codec, const std::vector<std::uint8_t>& stream, const DamageOptions& options);

}  // namespace vistrel::resilience
