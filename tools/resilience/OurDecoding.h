#pragma once
// Decoding a (damaged) stream with our own decoders unit by unit, so that every picture that comes
// out is known by its place in display order.

#include <cstdint>
#include <map>
#include <vector>

#include "tools/resilience/StreamUnits.h"

namespace vistrel::resilience {

struct OurDecoding {
    int width = 0;
    int height = 0;
    // Luma of every picture shown, by display position; a dropped picture has no entry.
    std::map<int, std::vector<std::uint8_t>> luma;
    long errorsReported = 0;  // damaged pictures the decoder reported (H.263: error count; MPEG-4: exceptions)
    bool failed = false;      // the decoder could not be made
};

// H.263 has no reordering: the n-th picture unit is the n-th picture in display order.
OurDecoding DecodeH263(const std::vector<std::uint8_t>& stream, const std::vector<StreamUnit>& units);

// MPEG-4 pictures are placed by their time stamps, learnt from our decoding of the undamaged stream
// (whose output order is display order).
OurDecoding DecodeMpeg4(const std::vector<std::uint8_t>& clean, const std::vector<StreamUnit>& cleanUnits,
                        const std::vector<std::uint8_t>& damaged, const std::vector<StreamUnit>& damagedUnits);

}  // namespace vistrel::resilience
