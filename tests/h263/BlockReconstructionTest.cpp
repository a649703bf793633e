#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "video/h263/BlockReconstruction.h"
#include "video/h263/H263Tables.h"

using namespace vistrel::h263;

namespace {

// Double-precision inverse DCT of coefficients stored by scan position.
void referenceIdct(const std::int32_t* scan, double* out) {
    double raster[64] = {};
    for (int k = 0; k < 64; ++k) raster[kZigzag[k]] = scan[k];
    const double pi = 3.14159265358979323846;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    const double cu = u == 0 ? std::sqrt(0.5) : 1.0;
                    const double cv = v == 0 ? std::sqrt(0.5) : 1.0;
                    s += cu * cv * raster[v * 8 + u] * std::cos((2 * x + 1) * u * pi / 16) *
                         std::cos((2 * y + 1) * v * pi / 16);
                }
            }
            out[y * 8 + x] = s / 4;
        }
    }
}

}  // namespace

TEST(H263InverseTransform, DcOnlyBlocksAreFlatAndExact) {
    std::int32_t block[64] = {};
    block[0] = 1024;  // INTRADC 255 reconstructs as 1,024
    InverseTransformBlock(block);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 128) << i;
    std::int32_t zero[64] = {};
    InverseTransformBlock(zero);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(zero[i], 0);
}

// The accuracy bounds of the usual IDCT conformance test: every sample within 1 of the exact
// transform, and no bias, on random coefficients of the ranges that test uses.
TEST(H263InverseTransform, MatchesTheExactTransformWithoutBias) {
    std::mt19937 rng(7);
    for (int range : {16, 256, 300}) {
        std::uniform_int_distribution<int> value(-range, range - 1);
        std::uniform_int_distribution<int> sparse(0, 3);
        double errorSum = 0;
        long samples = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            std::int32_t block[64];
            for (int k = 0; k < 64; ++k) block[k] = (k < 10 || sparse(rng) == 0) ? value(rng) / (1 + k / 8) : 0;
            double exact[64];
            referenceIdct(block, exact);
            InverseTransformBlock(block);
            for (int i = 0; i < 64; ++i) {
                ASSERT_LE(std::fabs(block[i] - exact[i]), 1.5) << "range " << range << " trial " << trial;
                errorSum += block[i] - exact[i];
                ++samples;
            }
        }
        EXPECT_LT(std::fabs(errorSum / double(samples)), 0.05) << "biased transform, range " << range;
    }
}

// The coefficients of real picture blocks reach 2,040 and more (hard black and white edges, as in
// the text a recorder stamps on its pictures): the transform of any 0..255 block's finely quantised
// coefficients gives back every sample within 1.
TEST(H263InverseTransform, BlocksOfRealPicturesComeBack) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> sample(0, 255);
    std::uniform_int_distribution<int> kind(0, 2);
    const double pi = 3.14159265358979323846;
    for (int trial = 0; trial < 3000; ++trial) {
        double pixels[64];
        const int k = kind(rng);
        for (int i = 0; i < 64; ++i) {
            // Text (only black and white), noise, or a hard edge across the block.
            pixels[i] = k == 0   ? (sample(rng) < 128 ? 0 : 255)
                        : k == 1 ? sample(rng)
                                 : ((i % 8) + (i / 8) > 7 ? 255 : 0);
        }
        std::int32_t scan[64];
        for (int s = 0; s < 64; ++s) {
            const int u = kZigzag[s] % 8;
            const int v = kZigzag[s] / 8;
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += pixels[y * 8 + x] * std::cos((2 * x + 1) * u * pi / 16) *
                           std::cos((2 * y + 1) * v * pi / 16);
            const double cu = u == 0 ? std::sqrt(0.5) : 1.0;
            const double cv = v == 0 ? std::sqrt(0.5) : 1.0;
            // Quantiser 1: odd reconstruction levels, as the decoder's dequantisation gives them.
            const int level = int(std::lround((sum * cu * cv / 4 - 1) / 2));
            scan[s] = s == 0 ? int(std::lround(sum * cu * cv / 4)) : Dequantise(std::abs(level), level < 0, 1);
            if (level == 0 && s > 0) scan[s] = 0;
        }
        double exact[64];
        referenceIdct(scan, exact);
        InverseTransformBlock(scan);
        for (int i = 0; i < 64; ++i) {
            ASSERT_LE(std::fabs(std::clamp(double(scan[i]), 0.0, 255.0) - std::clamp(exact[i], 0.0, 255.0)), 1.5)
                << "kind " << k << " trial " << trial;
        }
    }
}

TEST(H263InverseTransform, HostileCoefficientsDoNotOverflow) {
    std::int32_t block[64];
    for (int k = 0; k < 64; ++k) block[k] = (k % 2 ? -1 : 1) * 31 * 255;
    InverseTransformBlock(block);  // UBSan reports any signed overflow
    EXPECT_NE(ClampSample(block[0]), ClampSample(block[0]) + 1);
}

TEST(H263Dequantise, OddAndEvenQuantisers) {
    EXPECT_EQ(Dequantise(1, false, 2), 5);
    EXPECT_EQ(Dequantise(1, true, 2), -5);
    EXPECT_EQ(Dequantise(1, false, 3), 9);
    EXPECT_EQ(Dequantise(1, true, 3), -9);
    EXPECT_EQ(Dequantise(3, false, 31), 31 * 7);
}

namespace {

struct Pictures {
    int w;
    int h;
    std::vector<std::uint8_t> ref, out, hh, vv, dd;
    ReconstructionTarget target() {
        ReconstructionTarget t;
        t.output = out.data();
        t.reference = ref.data();
        t.half = HalfSamplePlanes{hh.data(), vv.data(), dd.data()};
        t.width = w;
        t.height = h;
        return t;
    }
    Pictures(int width, int height, std::uint32_t seed) : w(width), h(height) {
        const std::size_t n = std::size_t(w) * std::size_t(h) * 3 / 2;
        ref.resize(n);
        std::mt19937 rng(seed);
        for (auto& v : ref) v = std::uint8_t(rng());
        out.assign(n, 0);
        hh.assign(n, 0);
        vv.assign(n, 0);
        dd.assign(n, 0);
        BuildHalfSamplePlanes(ref.data(), HalfSamplePlanes{hh.data(), vv.data(), dd.data()}, w, h);
    }
};

}  // namespace

TEST(H263HalfSamplePlanes, InterpolateWithEdgeRules) {
    Pictures p(32, 16, 3);
    auto at = [&](const std::vector<std::uint8_t>& plane, std::size_t base, int pw, int i, int j) {
        return int(plane[base + std::size_t(i * pw + j)]);
    };
    const std::size_t lumaSize = 32 * 16;
    for (auto [base, pw, ph] :
         {std::tuple<std::size_t, int, int>{0, 32, 16}, {lumaSize, 16, 8}, {lumaSize * 5 / 4, 16, 8}}) {
        for (int i = 0; i < ph; ++i) {
            for (int j = 0; j < pw; ++j) {
                const int r = i + 1 < ph ? i + 1 : i;
                const int c = j + 1 < pw ? j + 1 : j;
                const int a = at(p.ref, base, pw, i, j), b = at(p.ref, base, pw, i, c);
                const int d = at(p.ref, base, pw, r, j), e = at(p.ref, base, pw, r, c);
                EXPECT_EQ(at(p.hh, base, pw, i, j), (a + b + 1) >> 1);
                EXPECT_EQ(at(p.vv, base, pw, i, j), (a + d + 1) >> 1);
                // Last column: diagonal equals vertical (not the four-sample average with itself).
                const int diagonal = j + 1 < pw ? (a + b + d + e + 2) >> 2 : (a + d + 1) >> 1;
                EXPECT_EQ(at(p.dd, base, pw, i, j), diagonal) << i << "," << j;
            }
        }
    }
}

TEST(H263PredictAndAdd, NegativeOddVectorAveragesTheSamplesAtMinusOneAndZero) {
    Pictures p(32, 32, 5);
    std::int32_t blocks[6 * 64] = {};
    // Macroblock (1, 1), vector (-1, 0): luma from the horizontal plane at offset -1.
    PredictAndAdd(p.target(), 1, 1, -1, 0, blocks, 0);
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            const int x = 16 + c - 1;
            const int y = 16 + r;
            const int expected = (p.ref[std::size_t(y * 32 + x)] + p.ref[std::size_t(y * 32 + x + 1)] + 1) >> 1;
            ASSERT_EQ(p.out[std::size_t(y * 32 + 16 + c)], expected) << r << "," << c;
        }
    }
}

TEST(H263PredictAndAdd, ResidualIsClampedToSampleRange) {
    Pictures p(16, 16, 9);
    std::int32_t blocks[6 * 64] = {};
    for (int i = 0; i < 64; ++i) {
        blocks[i] = -100000;
        blocks[64 + i] = 100000;
        blocks[128 + i] = 300;
        blocks[192 + i] = -300;
    }
    PredictAndAdd(p.target(), 0, 0, 0, 0, blocks, 0x3C);
    EXPECT_EQ(p.out[0], 0);
    EXPECT_EQ(p.out[8], 255);
    EXPECT_EQ(p.out[8 * 16], 255);
    EXPECT_EQ(p.out[8 * 16 + 8], 0);
    StoreIntra(p.target(), 0, 0, blocks);
    EXPECT_EQ(p.out[0], 0);
    EXPECT_EQ(p.out[8], 255);
}

// Exact-size buffers: ASan catches any read outside the planes.
TEST(H263PredictAndAdd, VectorsOutsideThePictureAreClampedToIt) {
    Pictures p(32, 32, 11);
    std::int32_t blocks[6 * 64] = {};
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column)
            for (int vx : {-64, -33, -1, 0, 1, 31, 63})
                for (int vy : {-64, -32, -3, 0, 3, 31, 63})
                    PredictAndAdd(p.target(), row, column, vx, vy, blocks, 0x3F);
    // (0,0) with vector (-32,-32) reads the top-left corner block.
    PredictAndAdd(p.target(), 0, 0, -32, -32, blocks, 0);
    EXPECT_EQ(p.out[0], p.ref[0]);
}

TEST(H263CopyNotCoded, CopiesTheColocatedMacroblock) {
    Pictures p(32, 32, 13);
    CopyNotCoded(p.target(), 1, 0);
    for (int r = 16; r < 32; ++r)
        for (int c = 0; c < 16; ++c) ASSERT_EQ(p.out[std::size_t(r * 32 + c)], p.ref[std::size_t(r * 32 + c)]);
    EXPECT_EQ(p.out[0], 0);  // other macroblocks untouched
    const std::size_t cb = 32 * 32 + 8 * 16;
    EXPECT_EQ(p.out[cb], p.ref[cb]);
}
