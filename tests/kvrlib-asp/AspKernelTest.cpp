// Checks the part-2 kernels against plain reference forms on seeded random input, guard borders included.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "dsp_src/Kvr_Bidir.h"
#include "dsp_src/Kvr_Gmc.h"
#include "dsp_src/Kvr_Qpel.h"
#include "dsp_src/Kvr_Upsample.h"

namespace {

constexpr int kStride = 48;  // picture stride of the test buffers
constexpr int kRows = 48;
constexpr int kOrigin = 8 * kStride + 8;  // block origin, leaving room on every side
constexpr uint8_t kGuard = 0xA5;

std::vector<uint8_t> randomPlane(std::mt19937& rng) {
    std::vector<uint8_t> p(kStride * kRows);
    // Realistic content: smooth areas with edges and full-range extremes, so clamping is exercised.
    std::uniform_int_distribution<int> d(0, 255);
    for (auto& v : p) v = static_cast<uint8_t>(d(rng));
    for (int y = 0; y < kRows; y += 7)
        for (int x = 0; x < kStride; ++x) p[y * kStride + x] = (x & 4) ? 255 : 0;
    return p;
}

uint8_t clip8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// One line of n+1 samples interpolated at quarter fraction f: n outputs. The 8-tap half-sample
// filter (-1, 3, -6, 20, 20, -6, 3, -1) / 32 takes its out-of-line taps mirrored at the line ends.
std::vector<int> refLine(const std::vector<int>& s, int n, int f, int rnd) {
    auto tap = [&](int k) { return k < 0 ? s[-1 - k] : (k > n ? s[2 * n + 1 - k] : s[k]); };
    std::vector<int> out(n);
    for (int i = 0; i < n; ++i) {
        const int coeff[8] = {-1, 3, -6, 20, 20, -6, 3, -1};
        int acc = 0;
        for (int t = 0; t < 8; ++t) acc += coeff[t] * tap(i - 3 + t);
        const int half = clip8((acc + 16 - rnd) >> 5);
        switch (f) {
            case 0: out[i] = s[i]; break;
            case 1: out[i] = (s[i] + half + 1 - rnd) >> 1; break;
            case 2: out[i] = half; break;
            default: out[i] = (s[i + 1] + half + 1 - rnd) >> 1; break;
        }
    }
    return out;
}

// Quarter-sample prediction by rows then columns, straight from the definition.
std::vector<int> refQpel(const uint8_t* src, int stride, int n, int fx, int fy, int rnd) {
    std::vector<std::vector<int>> rows(n + 1);
    for (int y = 0; y <= n; ++y) {
        std::vector<int> line(n + 1);
        for (int x = 0; x <= n; ++x) line[x] = src[y * stride + x];
        rows[y] = refLine(line, n, fx, rnd);
    }
    std::vector<int> out(n * n);
    for (int x = 0; x < n; ++x) {
        std::vector<int> col(n + 1);
        for (int y = 0; y <= n; ++y) col[y] = rows[y][x];
        auto v = refLine(col, n, fy, rnd);
        for (int y = 0; y < n; ++y) out[y * n + x] = v[y];
    }
    return out;
}

void expectGuardIntact(const std::vector<uint8_t>& dst, int n) {
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kStride; ++x) {
            const int off = y * kStride + x - kOrigin;
            const bool inside = off >= 0 && off / kStride < n && off % kStride < n && x >= 8;
            if (!inside) {
                ASSERT_EQ(dst[y * kStride + x], kGuard) << "written outside at " << x << "," << y;
            }
        }
}

TEST(QuarterSample, EveryPositionBothRoundingsBothSizesMatchTheDefinition) {
    std::mt19937 rng(1234);
    for (int iter = 0; iter < 20; ++iter) {
        const auto ref = randomPlane(rng);
        for (int size : {8, 16}) {
            for (int rnd = 0; rnd < 2; ++rnd) {
                for (int pos = 0; pos < 16; ++pos) {
                    std::vector<uint8_t> dst(kStride * kRows, kGuard);
                    const auto fn = size == 16 ? Kvr_Qpel16_Put_C[rnd][pos] : Kvr_Qpel8_Put_C[rnd][pos];
                    fn(dst.data() + kOrigin, ref.data() + kOrigin, kStride);
                    const auto want = refQpel(ref.data() + kOrigin, kStride, size, pos & 3, pos >> 2, rnd);
                    for (int y = 0; y < size; ++y)
                        for (int x = 0; x < size; ++x)
                            ASSERT_EQ(dst[kOrigin + y * kStride + x], want[y * size + x])
                                << "size " << size << " rnd " << rnd << " pos " << pos << " at " << x << "," << y;
                    expectGuardIntact(dst, size);
                }
            }
        }
    }
}

TEST(QuarterSample, AveragingVariantRoundsUpOnTopOfTheDestination) {
    std::mt19937 rng(99);
    const auto ref = randomPlane(rng);
    const auto prior = randomPlane(rng);
    for (int size : {8, 16})
        for (int pos = 0; pos < 16; ++pos) {
            auto dst = prior;
            (size == 16 ? Kvr_Qpel16_Avg_C[pos] : Kvr_Qpel8_Avg_C[pos])(dst.data() + kOrigin, ref.data() + kOrigin,
                                                                        kStride);
            const auto p = refQpel(ref.data() + kOrigin, kStride, size, pos & 3, pos >> 2, 0);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const int at = kOrigin + y * kStride + x;
                    ASSERT_EQ(dst[at], (prior[at] + p[y * size + x] + 1) >> 1) << "pos " << pos;
                }
        }
}

TEST(QuarterSample, ReadsNoMoreThanOneSampleBeyondTheBlock) {
    // The source is an exact (n+1)x(n+1) allocation: any wider read trips AddressSanitizer, and a
    // flat block must stay flat at every position (the filter taps sum to 32).
    for (int size : {8, 16})
        for (int rnd = 0; rnd < 2; ++rnd)
            for (int pos = 0; pos < 16; ++pos) {
                std::vector<uint8_t> src((size + 1) * (size + 1) - 0, 77);
                std::vector<uint8_t> dst(size * (size + 1));
                (size == 16 ? Kvr_Qpel16_Put_C : Kvr_Qpel8_Put_C)[rnd][pos](dst.data(), src.data(), size + 1);
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x) ASSERT_EQ(dst[y * (size + 1) + x], 77);
            }
}

TEST(BidirectionalAverage, AllSizesAndHalfSamplePositions) {
    std::mt19937 rng(7);
    const int widths[3] = {16, 8, 8}, heights[3] = {8, 8, 4};
    for (int iter = 0; iter < 10; ++iter) {
        const auto ref = randomPlane(rng);
        const auto prior = randomPlane(rng);
        for (int e = 0; e < KVR_BIDIR_ENTRIES; ++e) {
            auto dst = prior;
            Kvr_Bidir_Avg_C[e](dst.data() + kOrigin, ref.data() + kOrigin, kStride);
            const int w = widths[e / 4], h = heights[e / 4], pos = e % 4;
            for (int y = 0; y < kRows; ++y)
                for (int x = 0; x < kStride; ++x) {
                    const int at = y * kStride + x;
                    const int bx = x - 8, by = y - 8;
                    if (bx < 0 || by < 0 || bx >= w || by >= h) {
                        ASSERT_EQ(dst[at], prior[at]);
                        continue;
                    }
                    const int s0 = ref[at], s1 = ref[at + 1], s2 = ref[at + kStride], s3 = ref[at + kStride + 1];
                    const int p = pos == 0   ? s0
                                  : pos == 1 ? (s0 + s1 + 1) >> 1
                                  : pos == 2 ? (s0 + s2 + 1) >> 1
                                             : (s0 + s1 + s2 + s3 + 2) >> 2;
                    ASSERT_EQ(dst[at], (p + prior[at] + 1) >> 1) << "entry " << e;
                }
        }
    }
}

// Picture of 64x64 inside a 16-sample border, for the warp tests.
struct GmcPicture {
    static constexpr int W = 64, H = 64, Bps = 96, Border = 16;
    std::vector<uint8_t> y = std::vector<uint8_t>(Bps * (H + 2 * Border));
    std::vector<uint8_t> u = std::vector<uint8_t>(Bps * (H / 2 + 2 * Border));
    std::vector<uint8_t> v = std::vector<uint8_t>(Bps * (H / 2 + 2 * Border));
    uint8_t* Y() { return y.data() + Border * Bps + Border; }
    uint8_t* U() { return u.data() + Border * Bps + Border; }
    uint8_t* V() { return v.data() + Border * Bps + Border; }
};

void fillPicture(GmcPicture& p, std::mt19937& rng) {
    std::uniform_int_distribution<int> d(0, 255);
    for (int y = 0; y < GmcPicture::H; ++y)
        for (int x = 0; x < GmcPicture::W; ++x) p.Y()[y * GmcPicture::Bps + x] = static_cast<uint8_t>(d(rng));
    for (int y = 0; y < GmcPicture::H / 2; ++y)
        for (int x = 0; x < GmcPicture::W / 2; ++x) {
            p.U()[y * GmcPicture::Bps + x] = static_cast<uint8_t>(d(rng));
            p.V()[y * GmcPicture::Bps + x] = static_cast<uint8_t>(d(rng));
        }
}

uint8_t edgeSample(const uint8_t* plane, int w, int h, int x, int y) {
    x = x < 0 ? 0 : (x >= w ? w - 1 : x);
    y = y < 0 ? 0 : (y >= h ? h - 1 : y);
    return plane[y * GmcPicture::Bps + x];
}

TEST(Gmc, ZeroTrajectoriesGiveTheReferenceForEveryPointCount) {
    std::mt19937 rng(5);
    GmcPicture ref, out;
    fillPicture(ref, rng);
    const int du[4] = {0, 0, 0, 0}, dv[4] = {0, 0, 0, 0};
    for (int points = 0; points <= 3; ++points)
        for (int acc = 0; acc <= 3; ++acc) {
            KVR_GMC_PARAMS g;
            ASSERT_TRUE(Kvr_Gmc_Setup(&g, du, dv, points, acc, GmcPicture::W, GmcPicture::H));
            EXPECT_EQ(g.Points, 1) << "an identity warp simplifies to a translation";
            for (int mby = 0; mby < 4; ++mby)
                for (int mbx = 0; mbx < 4; ++mbx) {
                    const int o = mby * 16 * GmcPicture::Bps + mbx * 16, oc = mby * 8 * GmcPicture::Bps + mbx * 8;
                    Kvr_Gmc_Predict_MB(&g, out.Y() + o, out.U() + oc, out.V() + oc, ref.Y(), ref.U(), ref.V(),
                                       GmcPicture::Bps, mbx, mby, GmcPicture::W, GmcPicture::H, 0);
                    int mx = 9, my = 9;
                    Kvr_Gmc_Average_MV(&g, mbx, mby, 0, 1, &mx, &my);
                    EXPECT_EQ(mx, 0);
                    EXPECT_EQ(my, 0);
                }
            EXPECT_EQ(out.y, ref.y);
            EXPECT_EQ(out.u, ref.u);
        }
}

TEST(Gmc, TranslationInterpolatesBilinearlyAndRepeatsEdges) {
    std::mt19937 rng(6);
    GmcPicture ref, out;
    fillPicture(ref, rng);
    // Trajectories in half samples, warp at accuracy 3 (1/16 sample): translation (-1.5, +2.5)
    // samples, rounding both ways.
    const int du[4] = {-3, 0, 0, 0}, dv[4] = {5, 0, 0, 0};
    for (int points : {1, 3})
        for (int rnd = 0; rnd < 2; ++rnd) {
            KVR_GMC_PARAMS g;
            ASSERT_TRUE(Kvr_Gmc_Setup(&g, du, dv, points, 3, GmcPicture::W, GmcPicture::H));
            for (int mby = 0; mby < 4; ++mby)
                for (int mbx = 0; mbx < 4; ++mbx) {
                    const int o = mby * 16 * GmcPicture::Bps + mbx * 16, oc = mby * 8 * GmcPicture::Bps + mbx * 8;
                    Kvr_Gmc_Predict_MB(&g, out.Y() + o, out.U() + oc, out.V() + oc, ref.Y(), ref.U(), ref.V(),
                                       GmcPicture::Bps, mbx, mby, GmcPicture::W, GmcPicture::H, rnd);
                }
            for (int y = 0; y < GmcPicture::H; ++y)
                for (int x = 0; x < GmcPicture::W; ++x) {
                    // Position in 1/16: x*16 - 24, y*16 + 40.
                    const int px = x * 16 - 24, py = y * 16 + 40;
                    const int ix = px >> 4, fx = px & 15, iy = py >> 4, fy = py & 15;
                    auto s = [&](int dx, int dy) { return edgeSample(ref.Y(), 64, 64, ix + dx, iy + dy); };
                    const int want = ((s(0, 0) * (16 - fx) + s(1, 0) * fx) * (16 - fy) +
                                      (s(0, 1) * (16 - fx) + s(1, 1) * fx) * fy + 128 - rnd) >>
                                     8;
                    ASSERT_EQ(out.Y()[y * GmcPicture::Bps + x], want) << x << "," << y << " points " << points;
                }
            // Chroma moves half as far: -12 and +20 sixteenths of a chroma sample.
            const int cx = -12, cy = 20;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const int px = x * 16 + cx, py = y * 16 + cy;
                    const int ix = px >> 4, fx = px & 15, iy = py >> 4, fy = py & 15;
                    auto s = [&](int dx, int dy) { return edgeSample(ref.U(), 32, 32, ix + dx, iy + dy); };
                    const int want = ((s(0, 0) * (16 - fx) + s(1, 0) * fx) * (16 - fy) +
                                      (s(0, 1) * (16 - fx) + s(1, 1) * fx) * fy + 128 - rnd) >>
                                     8;
                    ASSERT_EQ(out.U()[y * GmcPicture::Bps + x], want) << x << "," << y << " points " << points;
                }
            int mx = 0, my = 0;
            Kvr_Gmc_Average_MV(&g, 1, 1, 0, 2, &mx, &my);
            EXPECT_EQ(mx, -3);
            EXPECT_EQ(my, 5);
            Kvr_Gmc_Average_MV(&g, 1, 1, 1, 2, &mx, &my);
            EXPECT_EQ(mx, -6);
            EXPECT_EQ(my, 10);
        }
}

TEST(Gmc, AffineZoomSamplesEveryOtherReferenceSample) {
    std::mt19937 rng(8);
    GmcPicture ref, out;
    fillPicture(ref, rng);
    // Point 1 moved by one picture width (128 half samples): x' = 2x; point 2 moved by one picture
    // height: y' = 2y.
    const int du[4] = {0, 128, 0, 0}, dv[4] = {0, 0, 128, 0};
    KVR_GMC_PARAMS g;
    ASSERT_TRUE(Kvr_Gmc_Setup(&g, du, dv, 3, 0, GmcPicture::W, GmcPicture::H));
    EXPECT_EQ(g.Points, 3);
    for (int mby = 0; mby < 4; ++mby)
        for (int mbx = 0; mbx < 4; ++mbx) {
            const int o = mby * 16 * GmcPicture::Bps + mbx * 16, oc = mby * 8 * GmcPicture::Bps + mbx * 8;
            Kvr_Gmc_Predict_MB(&g, out.Y() + o, out.U() + oc, out.V() + oc, ref.Y(), ref.U(), ref.V(),
                               GmcPicture::Bps, mbx, mby, GmcPicture::W, GmcPicture::H, 0);
        }
    for (int y = 0; y < GmcPicture::H; ++y)
        for (int x = 0; x < GmcPicture::W; ++x)
            ASSERT_EQ(out.Y()[y * GmcPicture::Bps + x], edgeSample(ref.Y(), 64, 64, 2 * x, 2 * y))
                << x << "," << y;
    // Average vector of macroblock (1, 0): displacement x over samples 16..31 averages 23.5 samples.
    int mx = 0, my = 0;
    Kvr_Gmc_Average_MV(&g, 1, 0, 0, 7, &mx, &my);
    EXPECT_EQ(mx, 47);
    EXPECT_EQ(my, 15);  // y displacement averages 7.5 samples = 15 half samples
    Kvr_Gmc_Average_MV(&g, 1, 0, 0, 1, &mx, &my);
    EXPECT_EQ(mx, 31) << "limited to the f-code range";
}

TEST(Gmc, RefusesUnrepresentableWarpsAndKeepsAnIdentity) {
    const int du[4] = {0, 8000, -8000, 0}, dv[4] = {0, -8000, 8000, 0};
    KVR_GMC_PARAMS g;
    EXPECT_FALSE(Kvr_Gmc_Setup(&g, du, dv, 3, 3, 4096, 4096));
    EXPECT_EQ(g.Points, 1);
    EXPECT_EQ(g.Offset[0][0], 0);
    EXPECT_FALSE(Kvr_Gmc_Setup(&g, du, dv, 2, 3, 8, 64)) << "pictures below 16 samples";
}

std::vector<int16_t> randomBlock(std::mt19937& rng, int lo, int hi) {
    std::uniform_int_distribution<int> d(lo, hi);
    std::vector<int16_t> b(64);
    for (auto& v : b) v = static_cast<int16_t>(d(rng));
    return b;
}

TEST(Upsample, CornersEdgesAndInteriorFollowTheWeights) {
    std::mt19937 rng(11);
    for (int iter = 0; iter < 50; ++iter) {
        const auto src = randomBlock(rng, 0, 255);
        std::vector<uint8_t> dst(kStride * kRows, kGuard);
        Kvr_Upsample_Put_C(dst.data() + kOrigin, src.data(), kStride);
        auto at = [&](int x, int y) { return static_cast<int>(dst[kOrigin + y * kStride + x]); };
        auto in = [&](int x, int y) { return static_cast<int>(src[y * 8 + x]); };
        EXPECT_EQ(at(0, 0), in(0, 0));
        EXPECT_EQ(at(15, 0), in(7, 0));
        EXPECT_EQ(at(0, 15), in(0, 7));
        EXPECT_EQ(at(15, 15), in(7, 7));
        // Top edge between inputs 2 and 3: output 5 is nearer to 2, output 6 nearer to 3.
        EXPECT_EQ(at(5, 0), (3 * in(2, 0) + in(3, 0) + 2) >> 2);
        EXPECT_EQ(at(6, 0), (3 * in(3, 0) + in(2, 0) + 2) >> 2);
        EXPECT_EQ(at(15, 9), (3 * in(7, 4) + in(7, 5) + 2) >> 2);
        // Interior: output (5, 6) is nearest input (2, 3), with neighbours (3, 3), (2, 2) and (3, 2).
        EXPECT_EQ(at(5, 6), (9 * in(2, 3) + 3 * in(3, 3) + 3 * in(2, 2) + in(3, 2) + 8) >> 4);
        EXPECT_EQ(at(14, 1), (9 * in(7, 0) + 3 * in(6, 0) + 3 * in(7, 1) + in(6, 1) + 8) >> 4);
        expectGuardIntact(dst, 16);
    }
}

TEST(Upsample, AddClampsDamagedResidualsInsteadOfTrustingThem) {
    std::mt19937 rng(12);
    const auto res = randomBlock(rng, -2048, 2047);
    std::vector<uint8_t> base(kStride * kRows);
    for (auto& v : base) v = static_cast<uint8_t>(rng());
    auto dst = base;
    Kvr_Upsample_Add_C(dst.data() + kOrigin, res.data(), kStride);
    std::vector<uint8_t> up(kStride * kRows, 0);
    // Recover the up-sampled residual through the put variant on a block shifted into range.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int nx = x >> 1, ny = y >> 1;
            const int fx = (x == 0 || x == 15) ? -1 : ((x & 1) ? nx + 1 : nx - 1);
            const int fy = (y == 0 || y == 15) ? -1 : ((y & 1) ? ny + 1 : ny - 1);
            int v;
            if (fx < 0 && fy < 0) v = res[ny * 8 + nx];
            else if (fy < 0) v = (3 * res[ny * 8 + nx] + res[ny * 8 + fx] + 2) >> 2;
            else if (fx < 0) v = (3 * res[ny * 8 + nx] + res[fy * 8 + nx] + 2) >> 2;
            else
                v = (9 * res[ny * 8 + nx] + 3 * res[ny * 8 + fx] + 3 * res[fy * 8 + nx] + res[fy * 8 + fx] + 8) >>
                    4;
            const int at = kOrigin + y * kStride + x;
            ASSERT_EQ(dst[at], clip8(base[at] + v)) << x << "," << y;
        }
}

}  // namespace
