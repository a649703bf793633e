// Builds small MPEG-4 elementary streams bit by bit for the decoder unit tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvrtest {

class BitWriter {
public:
    void put(std::uint32_t value, int bits);
    void put(const char* bitString);  // "0101"
    void stuff();                     // a 0 and ones up to the byte boundary
    void startCode(std::uint32_t code);
    std::vector<std::uint8_t> bytes() const;

private:
    std::vector<std::uint8_t> out_;
    std::uint32_t acc_ = 0;
    int n_ = 0;
};

struct VolOptions {
    int width = 32, height = 32;
    int timeRes = 25;
    int verid = 1;
    int shape = 0;
    int obmcDisable = 1;
    int quantType = 0;
    int resync = 0;
    int interlaced = 0;
};

void writeVol(BitWriter& w, const VolOptions& o);
// An I-VOP whose macroblocks carry only a zero DC difference: a flat grey picture. With
// truncateAfter >= 0 only that many macroblocks are written.
void writeGreyIVop(BitWriter& w, const VolOptions& o, int quant, int truncateAfter = -1);
// A P-VOP whose macroblocks are all not coded.
void writeSkippedPVop(BitWriter& w, const VolOptions& o, int time);

}  // namespace kvrtest
