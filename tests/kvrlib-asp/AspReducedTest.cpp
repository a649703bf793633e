// Reduced-resolution pictures: no encoder at hand makes them, so this test writes them. An intra picture of
// DC-only blocks must equal ffmpeg's decoding of the same macroblock data coded at half size, scaled up
// (flat 8x8 blocks up-sample to flat 16x16); predicted pictures are checked against the motion they code.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "kvr_syst/Kvr_Except.h"
#include "kvr_syst/Kvr_MP4_Dec.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"
#include "tests/support/StartCodes.h"

using namespace vistrel::testsupport;

namespace {

constexpr int kW = 128, kH = 96;  // full size: a 4 x 3 grid of 32x32 macroblocks
constexpr int kQuant = 8;
constexpr int kMbW = kW / 32, kMbH = kH / 32;

class BitWriter {
public:
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            cur_ = static_cast<unsigned char>((cur_ << 1) | ((v >> i) & 1));
            if (++fill_ == 8) flushByte();
        }
    }
    void bits(const char* s) {
        for (; *s; ++s) put(*s == '1', 1);
    }
    // Stuffing to the next byte: a 0 then ones (a whole 0x7F when already aligned).
    void stuff() {
        put(0, 1);
        while (fill_) put(1, 1);
    }
    void startCode(unsigned char code) {
        const unsigned char sc[4] = {0, 0, 1, code};
        out_.insert(out_.end(), sc, sc + 4);
    }
    std::vector<unsigned char> out_;

private:
    void flushByte() {
        out_.push_back(cur_);
        cur_ = 0;
        fill_ = 0;
    }
    unsigned char cur_ = 0;
    int fill_ = 0;
};

void header(BitWriter& w, int width, int height, bool reduced) {
    w.startCode(0xB0);
    w.put(1, 8);  // simple profile level 1
    w.startCode(0xB5);
    w.put(0, 1);  // no visual object identifier
    w.put(1, 4);  // video
    w.put(0, 1);  // no video signal type
    w.stuff();
    w.startCode(0x00);
    w.startCode(0x20);
    w.put(0, 1);  // random_accessible_vol
    w.put(1, 8);  // simple object type
    w.put(1, 1);  // is_object_layer_identifier
    w.put(reduced ? 2 : 1, 4);
    w.put(1, 3);
    w.put(1, 4);  // square samples
    w.put(0, 1);  // no vol_control_parameters
    w.put(0, 2);  // rectangular
    w.put(1, 1);
    w.put(25, 16);
    w.put(1, 1);
    w.put(0, 1);  // no fixed rate
    w.put(1, 1);
    w.put(width, 13);
    w.put(1, 1);
    w.put(height, 13);
    w.put(1, 1);
    w.put(0, 1);                // progressive
    w.put(1, 1);                // obmc disabled
    w.put(0, reduced ? 2 : 1);  // no sprites
    w.put(0, 1);                // 8 bit
    w.put(0, 1);                // H.263 quantisation
    if (reduced) w.put(0, 1);   // quarter_sample
    w.put(1, 1);                // complexity estimation disabled
    w.put(1, 1);                // no resync markers
    w.put(0, 1);                // not partitioned
    if (reduced) {
        w.put(0, 1);  // newpred
        w.put(1, 1);  // reduced_resolution_vop_enable
    }
    w.put(0, 1);  // no scalability
    w.stuff();
}

void vopHeader(BitWriter& w, int coding, int time, bool reduced) {
    w.startCode(0xB6);
    w.put(coding, 2);
    w.put(0, 1);  // modulo_time_base
    w.put(1, 1);
    w.put(time, 5);
    w.put(1, 1);
    w.put(1, 1);                   // coded
    if (coding == 1) w.put(0, 1);  // rounding
    if (reduced) w.put(1, 1);      // vop_reduced_resolution
    w.put(0, 3);                   // every intra DC through the DC size code
    w.put(kQuant, 5);
    if (coding == 1) w.put(1, 3);  // f-code 1
}

// DC differential with its size code (MPEG-4 intra DC size tables).
void dcDiff(BitWriter& w, int d, bool chroma) {
    static const char* const luma[] = {"011", "11", "10", "010", "0011"};
    static const char* const chr[] = {"11", "10", "01", "001", "0001"};
    int a = d < 0 ? -d : d, size = 0;
    while ((1 << size) <= a) ++size;
    w.bits(chroma ? chr[size] : luma[size]);
    if (size) w.put(d > 0 ? uint32_t(d) : uint32_t(d + (1 << size) - 1), size);
}

// One intra macroblock of DC-only blocks: MCBPC (intra, CBPC 0), no AC prediction, CBPY 0.
void intraMb(BitWriter& w, const int dc[6], bool inP) {
    if (inP) {
        w.put(0, 1);     // coded
        w.bits("0001");  // inter MCBPC: intra, CBPC 0
    } else {
        w.bits("1");
    }
    w.put(0, 1);
    w.bits("0011");
    for (int b = 0; b < 6; ++b) dcDiff(w, dc[b], b >= 4);
}

void mvd(BitWriter& w, int v) {
    static const char* const mag[] = {"1", "01", "001", "0001", "000011"};
    const int a = v < 0 ? -v : v;
    w.bits(mag[a]);
    if (a) w.put(v < 0, 1);
}

struct Pictures {
    std::vector<std::vector<unsigned char>> frames;  // I420 at the decoded size
    int errors = 0;
};

Pictures decodeAll(const std::vector<unsigned char>& s) {
    Pictures p;
    KVR_MP4_DEC* dec = Kvr_MP4_New_Decoder();
    auto drain = [&] {
        if (!dec->Is_Frame_Ready()) return;
        KVR_MP4_FRAME f{};
        dec->Consume_Frame(&f);
        std::vector<unsigned char> img;
        for (int y = 0; y < f.Height; ++y) img.insert(img.end(), f.Y + y * f.BpS, f.Y + y * f.BpS + f.Width);
        for (const uint8_t* plane : {f.U, f.V})
            for (int y = 0; y < f.Height / 2; ++y)
                img.insert(img.end(), plane + y * f.BpS, plane + y * f.BpS + f.Width / 2);
        p.frames.push_back(img);
    };
    const std::vector<size_t> at = StartCodeOffsets(s);
    for (size_t k = 0; k < at.size(); ++k) {
        const size_t end = k + 1 < at.size() ? at[k + 1] : s.size();
        try {
            dec->Decode(s.data() + at[k], int(end - at[k]));
        } catch (const KVR_EXCEPTION&) {
            ++p.errors;
        }
        drain();
    }
    dec->Decode(s.data(), 0);
    drain();
    Kvr_MP4_Delete_Decoder(dec);
    return p;
}

int lumaAt(const std::vector<unsigned char>& f, int w, int h, int x, int y) {
    x = x < 0 ? 0 : (x >= w ? w - 1 : x);
    y = y < 0 ? 0 : (y >= h ? h - 1 : y);
    return f[size_t(y) * w + x];
}

// Every sample of the full-size picture F equals the half-size picture R at half its coordinates.
void expectScaledUp(const std::vector<unsigned char>& f, const std::vector<unsigned char>& ref, int tolerance) {
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_LE(std::abs(f[size_t(y) * kW + x] - ref[size_t(y / 2) * (kW / 2) + x / 2]), tolerance)
                << "luma " << x << "," << y;
    const size_t cf = size_t(kW) * kH, ch = size_t(kW / 2) * (kH / 2);
    for (int p = 0; p < 2; ++p)
        for (int y = 0; y < kH / 2; ++y)
            for (int x = 0; x < kW / 2; ++x)
                ASSERT_LE(std::abs(f[cf + p * cf / 4 + size_t(y) * (kW / 2) + x] -
                                   ref[ch + p * ch / 4 + size_t(y / 2) * (kW / 4) + x / 2]),
                          tolerance)
                    << "chroma " << p << " " << x << "," << y;
}

class ReducedResolution : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 rng(4242);
        std::uniform_int_distribution<int> d(-3, 3);
        for (auto& mb : dc_)
            for (int& v : mb) v = d(rng);
    }
    int dc_[kMbW * kMbH][6];
};

TEST_F(ReducedResolution, IntraPictureIsTheHalfSizePictureScaledUp) {
    BitWriter rr, half;
    header(rr, kW, kH, true);
    header(half, kW / 2, kH / 2, false);
    vopHeader(rr, 0, 0, true);
    vopHeader(half, 0, 0, false);
    for (const auto& mb : dc_) {
        intraMb(rr, mb, false);
        intraMb(half, mb, false);
    }
    rr.stuff();
    half.stuff();

    const Pictures ours = decodeAll(rr.out_);
    ASSERT_EQ(ours.errors, 0);
    ASSERT_EQ(ours.frames.size(), 1u);

    // Against this library's own decoding of the half-size picture: exactly equal.
    const Pictures half1 = decodeAll(half.out_);
    ASSERT_EQ(half1.frames.size(), 1u);
    expectScaledUp(ours.frames[0], half1.frames[0], 0);

    // Against ffmpeg's: two inverse transforms may round a DC-only block one apart.
    const std::string dir = ScratchDir("kvrlib-asp-streams");
    const std::string m4v = dir + "/rr_half.m4v", yuv = dir + "/rr_half.yuv";
    WriteFile(m4v, half.out_.data(), half.out_.size());
    if (RunCommand("ffmpeg -nostdin -v error -y -i " + m4v + " -f rawvideo -pix_fmt yuv420p " + yuv) != 0)
        GTEST_SKIP() << "ffmpeg is needed for the half-size reference";
    const std::vector<unsigned char> ref = ReadFile(yuv);
    ASSERT_EQ(ref.size(), size_t(kW / 2) * (kH / 2) * 3 / 2);
    expectScaledUp(ours.frames[0], ref, 1);
}

TEST_F(ReducedResolution, VectorsActAtDoubleScaleSkipsCopyAndResidualsUpSample) {
    BitWriter w;
    header(w, kW, kH, true);
    vopHeader(w, 0, 0, true);
    for (const auto& mb : dc_) intraMb(w, mb, false);
    w.stuff();
    // P1: every macroblock one vector (4, -2) half samples of the reduced grid: the first codes it, the
    // others predict it exactly. At full size that is 4 samples right and 2 up.
    vopHeader(w, 1, 1, true);
    for (int i = 0; i < kMbW * kMbH; ++i) {
        w.put(0, 1);   // coded
        w.bits("1");   // MCBPC: inter, CBPC 0
        w.bits("11");  // CBPY: nothing coded
        mvd(w, i == 0 ? 4 : 0);
        mvd(w, i == 0 ? -2 : 0);
    }
    w.stuff();
    // P2: every macroblock skipped.
    vopHeader(w, 1, 2, true);
    for (int i = 0; i < kMbW * kMbH; ++i) w.put(1, 1);
    w.stuff();
    // P3: zero vectors, block Y0 of every macroblock carries a DC-only residual (level 1 at q 8 is 23,
    // which transforms to 3 in every sample and up-samples to 3 over the 16x16 quadrant).
    vopHeader(w, 1, 3, true);
    for (int i = 0; i < kMbW * kMbH; ++i) {
        w.put(0, 1);
        w.bits("1");
        w.bits("1011");  // CBPY: only Y0 (coded as 15 ^ 8 = 7)
        mvd(w, 0);
        mvd(w, 0);
        w.bits("01110");  // last, run 0, level +1
    }
    w.stuff();

    const Pictures p = decodeAll(w.out_);
    ASSERT_EQ(p.errors, 0);
    ASSERT_EQ(p.frames.size(), 4u);
    const auto &i0 = p.frames[0], &p1 = p.frames[1], &p2 = p.frames[2], &p3 = p.frames[3];
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(p1[size_t(y) * kW + x], lumaAt(i0, kW, kH, x + 4, y - 2)) << x << "," << y;
    // Chroma moves (2, -1) chroma samples.
    const size_t cf = size_t(kW) * kH;
    for (int y = 0; y < kH / 2; ++y)
        for (int x = 0; x < kW / 2; ++x) {
            const int sx = std::min(std::max(x + 2, 0), kW / 2 - 1), sy = std::min(std::max(y - 1, 0), kH / 2 - 1);
            ASSERT_EQ(p1[cf + size_t(y) * (kW / 2) + x], i0[cf + size_t(sy) * (kW / 2) + sx]) << x << "," << y;
        }
    EXPECT_EQ(p2, p1);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool y0 = (x % 32) < 16 && (y % 32) < 16;
            const int want = std::min(255, p2[size_t(y) * kW + x] + (y0 ? 3 : 0));
            ASSERT_EQ(p3[size_t(y) * kW + x], want) << x << "," << y;
        }
}

TEST_F(ReducedResolution, DamagedReducedPicturesNeverCrash) {
    BitWriter w;
    header(w, kW, kH, true);
    vopHeader(w, 0, 0, true);
    for (const auto& mb : dc_) intraMb(w, mb, false);
    w.stuff();
    vopHeader(w, 1, 1, true);
    for (int i = 0; i < kMbW * kMbH; ++i) {
        w.put(0, 1);
        w.bits("1");
        w.bits("11");
        mvd(w, i % 5 - 2);
        mvd(w, 2 - i % 5);
    }
    w.stuff();
    std::mt19937 rng(9);
    const size_t body = 40;  // leave the layer header intact so that the pictures are reached
    for (int r = 0; r < 200; ++r) {
        auto bad = w.out_;
        for (int i = 0; i < 4; ++i)
            bad[body + rng() % (bad.size() - body)] ^= static_cast<unsigned char>(1u << (rng() % 8));
        if (r % 3 == 0) bad.resize(body + rng() % (bad.size() - body));
        decodeAll(bad);
    }
}

}  // namespace
