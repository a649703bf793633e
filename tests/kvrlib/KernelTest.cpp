// The reconstruction kernels on the values worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp_src/Kvr_Dsp.h"
#include "kvr_syst/Kvr_Except.h"

namespace {

struct Quant {
    KVR_QUANT_DSP dsp{};
    std::vector<std::int16_t> table = std::vector<std::int16_t>(KVR_Q_TABLE_BYTES / 2);
    Quant(int type, int intra, std::uint8_t entry) {
        Kvr_Install_Quant_DSP(&dsp, type, 0);
        std::uint8_t m[64];
        std::memset(m, entry, sizeof m);
        dsp.Setup_Matrix(table.data(), m, intra);
    }
};

TEST(Kernels, H263Dequantisation) {
    Quant q(0, 0, 16);
    std::int16_t in[64] = {}, out[64];
    in[5] = 1;
    q.dsp.Dequant_Inter(out, in, q.table.data(), 4, 0xFF);
    EXPECT_EQ(out[5], 11);
    in[5] = -1;
    q.dsp.Dequant_Inter(out, in, q.table.data(), 5, 0xFF);
    EXPECT_EQ(out[5], -15);
    EXPECT_THROW(q.dsp.Dequant_Inter(out, in, q.table.data(), 0, 0xFF), KVR_ASSERT_EXCEPTION);
}

TEST(Kernels, MpegDequantisationAndMismatch) {
    Quant intra(1, 1, 16);
    std::int16_t in[64] = {}, out[64];
    in[9] = 3;
    intra.dsp.Dequant_Intra(out, in, intra.table.data(), 8, 8);
    EXPECT_EQ(out[9], 48);
    in[9] = 0;
    in[0] = 6;
    intra.dsp.Dequant_Intra(out, in, intra.table.data(), 8, 8);
    EXPECT_EQ(out[0], 48);
    EXPECT_EQ(out[63], 0) << "no mismatch control for intra blocks";

    Quant inter(1, 0, 16);
    std::int16_t lv[64] = {};
    lv[0] = 1;  // (2*1+1)*16*8/16 = 24... with q 16 -> 48
    inter.dsp.Dequant_Inter(out, lv, inter.table.data(), 16, 0x01);
    EXPECT_EQ(out[0], 48);
    EXPECT_EQ(out[63], 1) << "an even sum flips the last coefficient";
    // Rows outside the mask are zero even when the source holds levels there.
    lv[63] = 5;
    inter.dsp.Dequant_Inter(out, lv, inter.table.data(), 16, 0x01);
    EXPECT_EQ(out[63], 1);
}

TEST(Kernels, IdctOfAFlatBlock) {
    KVR_QUANT_DSP q{};
    Kvr_Install_Quant_DSP(&q, 0, 0);
    std::int16_t blk[64] = {};
    blk[0] = 8;
    std::uint8_t pic[8 * 8];
    std::memset(pic, 100, sizeof pic);
    std::int16_t b2[64];
    std::memcpy(b2, blk, sizeof b2);
    q.IDCT_Add(b2, pic, 8);
    for (std::uint8_t v : pic) EXPECT_EQ(v, 101);
    q.IDCT(blk);
    for (std::int16_t v : blk) EXPECT_EQ(v, 1);
}

TEST(Kernels, HalfSampleRounding) {
    KVR_MB_DSP mb{};
    Kvr_Install_MB_DSP(&mb, 0);
    std::uint8_t src[16 * 9];
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 16; ++x) src[y * 16 + x] = std::uint8_t(1 + (x & 1));
    std::uint8_t d0[16 * 8], d1[16 * 8];
    mb.MC[KVR_MC_RND0][KVR_MC_8x8 + 1](d0, src, 16);
    mb.MC[KVR_MC_RND1][KVR_MC_8x8 + 1](d1, src, 16);
    EXPECT_EQ(d0[0], 2);
    EXPECT_EQ(d1[0], 1);
}

}  // namespace
