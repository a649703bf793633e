#pragma once
// Cutting an elementary stream into the units a DVR would frame one by one (H.263 pictures, MPEG-4
// start-code units), and the side file that keeps those cuts when damage changes the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::resilience {

enum class Codec { H263, Mpeg4 };

struct StreamUnit {
    std::size_t offset = 0;
    std::size_t length = 0;
    bool picture = false;  // an H.263 picture or an MPEG-4 VOP (not a sequence, object or layer header)
};

// H.263: one unit per byte-aligned picture start code. MPEG-4: one unit per 00 00 01 start code.
// Bytes before the first start code are not a unit.
std::vector<StreamUnit> CutUnits(Codec codec, const std::vector<std::uint8_t>& stream);

// One "offset length picture" line per unit. False when the file cannot be written or read, or a
// line does not fit the stream.
bool WriteUnits(const std::string& path, const std::vector<StreamUnit>& units);
bool ReadUnits(const std::string& path, std::size_t streamSize, std::vector<StreamUnit>* units);

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data);

}  // namespace vistrel::resilience
