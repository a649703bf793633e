#pragma once
// Saves a snapshot (the decoders' 24-bit bitmap file in memory) as PNG or BMP, chosen by the
// file name's extension: ".png" (any case) gives PNG through libpng, anything else the bitmap.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel::cli {

bool IsPngPath(const std::string& path);

// False with a one-line reason when the bitmap is not one of ours or the file cannot be written.
bool WriteSnapshotFile(const std::string& path, const std::vector<std::uint8_t>& bitmap, std::string* error);

}  // namespace vistrel::cli
