// Builds small MPEG-4 elementary streams bit by bit for the decoder unit tests.
#include "StreamWriter.h"

#include <cstring>

namespace kvrtest {

void BitWriter::put(std::uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1u);
        if (++n_ == 8) {
            out_.push_back(std::uint8_t(acc_));
            acc_ = 0;
            n_ = 0;
        }
    }
}

void BitWriter::put(const char* bitString) {
    for (const char* p = bitString; *p; ++p) put(std::uint32_t(*p - '0'), 1);
}

void BitWriter::stuff() {
    put(0, 1);
    while (n_ != 0) put(1, 1);
}

void BitWriter::startCode(std::uint32_t code) {
    if (n_ != 0) stuff();
    put(0x000001, 24);
    put(code & 0xFF, 8);
}

std::vector<std::uint8_t> BitWriter::bytes() const {
    std::vector<std::uint8_t> b = out_;
    if (n_ != 0) b.push_back(std::uint8_t(acc_ << (8 - n_)));
    return b;
}

static int bitLength(int v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

void writeVol(BitWriter& w, const VolOptions& o) {
    w.startCode(0x100);
    w.startCode(0x120);
    w.put(0, 1);  // random_accessible_vol
    w.put(1, 8);  // simple object
    if (o.verid != 1) {
        w.put(1, 1);
        w.put(std::uint32_t(o.verid), 4);
        w.put(1, 3);
    } else {
        w.put(0, 1);
    }
    w.put(1, 4);  // square pixels
    w.put(0, 1);  // no vol_control_parameters
    w.put(std::uint32_t(o.shape), 2);
    if (o.shape != 0) {
        w.stuff();
        return;
    }
    w.put(1, 1);
    w.put(std::uint32_t(o.timeRes), 16);
    w.put(1, 1);
    w.put(0, 1);  // variable rate
    w.put(1, 1);
    w.put(std::uint32_t(o.width), 13);
    w.put(1, 1);
    w.put(std::uint32_t(o.height), 13);
    w.put(1, 1);
    w.put(std::uint32_t(o.interlaced), 1);
    w.put(std::uint32_t(o.obmcDisable), 1);
    w.put(0, o.verid == 1 ? 1 : 2);  // no sprites
    w.put(0, 1);                     // 8 bit
    w.put(std::uint32_t(o.quantType), 1);
    if (o.quantType) w.put("00");   // default matrices
    if (o.verid != 1) w.put(0, 1);  // no quarter sample
    w.put(1, 1);                    // complexity estimation disabled
    w.put(o.resync ? 0 : 1, 1);
    w.put(0, 1);                    // not partitioned
    if (o.verid != 1) w.put("00");  // no newpred, no reduced resolution
    w.put(0, 1);                    // no scalability
    w.stuff();
}

static void vopHeader(BitWriter& w, const VolOptions& o, int type, int time, int quant) {
    w.startCode(0x1B6);
    w.put(std::uint32_t(type), 2);
    w.put(0, 1);  // modulo_time_base
    w.put(1, 1);
    int bits = bitLength(o.timeRes - 1);
    if (bits < 1) bits = 1;
    w.put(std::uint32_t(time), bits);
    w.put(1, 1);
    w.put(1, 1);                 // coded
    if (type == 1) w.put(0, 1);  // rounding
    w.put(0, 3);                 // intra DC always through the DC VLC
    if (o.interlaced) w.put("00");
    w.put(std::uint32_t(quant), 5);
    if (type == 1) w.put(1, 3);  // f-code 1
}

void writeGreyIVop(BitWriter& w, const VolOptions& o, int quant, int truncateAfter) {
    vopHeader(w, o, 0, 0, quant);
    const int mbs = ((o.width + 15) / 16) * ((o.height + 15) / 16);
    for (int i = 0; i < mbs && (truncateAfter < 0 || i < truncateAfter); ++i) {
        w.put("1");     // MCBPC: intra, no chroma coefficients
        w.put("0");     // no AC prediction
        w.put("0011");  // CBPY: no luma coefficients
        if (o.interlaced) w.put("0");
        for (int b = 0; b < 4; ++b) w.put("011");  // luma DC size 0
        w.put("1111");                             // chroma DC size 0, twice
    }
    if (truncateAfter < 0) w.stuff();
}

void writeSkippedPVop(BitWriter& w, const VolOptions& o, int time) {
    vopHeader(w, o, 1, time, 5);
    const int mbs = ((o.width + 15) / 16) * ((o.height + 15) / 16);
    for (int i = 0; i < mbs; ++i) w.put("1");
    w.stuff();
}

}  // namespace kvrtest
