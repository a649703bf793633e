// Kernel checker: every kernel-table variant against the plain C kernels, and the C kernels against
// straightforward reference forms, on seeded random but realistic input with guarded buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dsp_src/Kvr_Dsp.h"

namespace {

const int kCpuLevels[] = {0, 2, 3, 4, 5};
const std::uint8_t kGuard = 0xA5;

// A picture-like buffer with a guard area around the part a kernel may touch.
struct Guarded {
    static const int kPad = 64;
    int stride, rows;
    std::vector<std::uint8_t> buf;
    Guarded(int s, int r) : stride(s), rows(r), buf(std::size_t(s) * (r + 2 * kPad), kGuard) {}
    std::uint8_t* at(int x, int y) { return buf.data() + std::size_t(y + kPad) * stride + x; }
};

void randomize(std::vector<std::uint8_t>& v, std::mt19937& rng) {
    for (auto& b : v) b = std::uint8_t(rng());
}

// ---- Half-sample motion compensation ----

int refSample(const std::uint8_t* s, int bps, int x, int y, int pos, int rnd) {
    const int a = s[y * bps + x], b = s[y * bps + x + 1], c = s[(y + 1) * bps + x], d = s[(y + 1) * bps + x + 1];
    switch (pos) {
        case 0: return a;
        case 1: return (a + b + 1 - rnd) >> 1;
        case 2: return (a + c + 1 - rnd) >> 1;
        default: return (a + b + c + d + 2 - rnd) >> 2;
    }
}

TEST(CheckAsm, HalfSampleMotionCompensationAllPositionsBothRoundings) {
    std::mt19937 rng(2024);
    KVR_MB_DSP c{};
    Kvr_Install_MB_DSP(&c, 0);
    const int sizes[3][2] = {{16, 8}, {8, 8}, {8, 4}};
    for (int level : kCpuLevels) {
        KVR_MB_DSP t{};
        Kvr_Install_MB_DSP(&t, level);
        for (int rnd = 0; rnd < 2; ++rnd)
            for (int e = 0; e < 12; ++e)
                for (int iter = 0; iter < 20; ++iter) {
                    const int w = sizes[e / 4][0], h = sizes[e / 4][1], pos = e % 4;
                    const int bps = 48 + 16 * int(rng() % 3);
                    std::vector<std::uint8_t> src(std::size_t(bps) * 40);
                    randomize(src, rng);
                    Guarded want(bps, 20), got(bps, 20), ref(bps, 20);
                    randomize(want.buf, rng);
                    got.buf = want.buf;
                    ref.buf = want.buf;
                    const std::uint8_t* s = src.data() + 4 * bps + 4;
                    c.MC[rnd][e](want.at(8, 2), s, bps);
                    t.MC[rnd][e](got.at(8, 2), s, bps);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) *ref.at(8 + x, 2 + y) = std::uint8_t(refSample(s, bps, x, y, pos, rnd));
                    ASSERT_EQ(want.buf, ref.buf) << "C kernel, rounding " << rnd << " entry " << e;
                    ASSERT_EQ(got.buf, want.buf) << "level " << level << " rounding " << rnd << " entry " << e;
                }
    }
}

TEST(CheckAsm, BorderExtensionFillsTheWholeBorder) {
    std::mt19937 rng(7);
    for (int level : kCpuLevels) {
        KVR_MB_DSP t{};
        Kvr_Install_MB_DSP(&t, level);
        for (const auto& size : {std::pair{16, 16}, std::pair{48, 32}, std::pair{210, 118}}) {
            const int w = size.first, h = size.second;
            const int mbw = (w + 15) / 16, mbh = (h + 15) / 16, bps = (mbw + 2) * 16;
            std::vector<std::uint8_t> store(std::size_t(24) * (mbh + 2) * bps + 2 * 64, kGuard);
            std::uint8_t* base = store.data() + 64;
            randomize(store, rng);
            std::vector<std::uint8_t> guardHead(store.begin(), store.begin() + 64);
            std::vector<std::uint8_t> guardTail(store.end() - 64, store.end());
            std::uint8_t* y = base + 16 * bps + 16;
            std::uint8_t* u = base + std::size_t(mbw + 2) * (mbh + 2) * 256 + 8 * bps + 8;
            std::uint8_t* v = u + bps / 2;
            t.Extend(y, u, v, w, h, bps);
            EXPECT_TRUE(std::equal(guardHead.begin(), guardHead.end(), store.begin()));
            EXPECT_TRUE(std::equal(guardTail.begin(), guardTail.end(), store.end() - 64));
            for (int yy = -16; yy < mbh * 16 + 16; ++yy)
                for (int xx = -16; xx < bps - 16; ++xx) {
                    const int cx = std::clamp(xx, 0, w - 1), cy = std::clamp(yy, 0, h - 1);
                    ASSERT_EQ(y[yy * bps + xx], y[cy * bps + cx]) << w << "x" << h << " at " << xx << "," << yy;
                }
            const int cw = (w + 1) / 2, ch = (h + 1) / 2;
            for (std::uint8_t* p : {u, v})
                for (int yy = -8; yy < mbh * 8 + 8; ++yy)
                    for (int xx = -8; xx < bps / 2 - 8; ++xx) {
                        const int cx = std::clamp(xx, 0, cw - 1), cy = std::clamp(yy, 0, ch - 1);
                        ASSERT_EQ(p[yy * bps + xx], p[cy * bps + cx]) << "chroma " << xx << "," << yy;
                    }
        }
    }
}

// ---- Dequantisation ----

int sat(int v) { return std::clamp(v, -2048, 2047); }

void refDequant(int type, bool intra, const std::int16_t* in, std::int16_t* out, const std::uint8_t* m, int q,
                int dcScaler) {
    int sum = 0;
    for (int j = 0; j < 64; ++j) {
        const int l = in[j], a = std::abs(l);
        int v;
        if (intra && j == 0) v = sat(l * dcScaler);
        else if (l == 0) v = 0;
        else if (type == 0) v = sat((l < 0 ? -1 : 1) * (2 * q * a + ((q & 1) ? q : q - 1)));
        else if (intra) v = sat((l < 0 ? -1 : 1) * ((2 * a * q * m[j]) / 16));
        else v = sat((l < 0 ? -1 : 1) * (((2 * a + 1) * q * m[j]) / 16));
        out[j] = std::int16_t(v);
        sum += v;
    }
    if (type == 1 && !intra && (sum & 1) == 0) out[63] = std::int16_t(out[63] ^ 1);
}

TEST(CheckAsm, DequantisationBothMethodsAllQuantisers) {
    std::mt19937 rng(31);
    std::vector<std::int16_t> tabC(KVR_Q_TABLE_BYTES / 2), tabT(KVR_Q_TABLE_BYTES / 2);
    std::uint8_t matrix[64];
    for (int type = 0; type < 2; ++type)
        for (int intra = 0; intra < 2; ++intra)
            for (int level : kCpuLevels) {
                KVR_QUANT_DSP c{}, t{};
                Kvr_Install_Quant_DSP(&c, type, 0);
                Kvr_Install_Quant_DSP(&t, type, level);
                for (int iter = 0; iter < 200; ++iter) {
                    for (auto& e : matrix) e = std::uint8_t(1 + rng() % 255);
                    c.Setup_Matrix(tabC.data(), matrix, intra);
                    t.Setup_Matrix(tabT.data(), matrix, intra);
                    ASSERT_EQ(tabC, tabT);
                    const int q = 1 + int(rng() % 31);
                    std::int16_t in[64] = {}, want[64 + 8], got[64 + 8], ref[64];
                    std::memset(want, 0x5A, sizeof want);
                    std::memset(got, 0x5A, sizeof got);
                    int mask = 0;
                    const int n = 1 + int(rng() % 12);
                    for (int k = 0; k < n; ++k) {
                        const int pos = int(rng() % 64);
                        // Mostly small levels, sometimes the escape range.
                        int l = (rng() % 8) ? int(rng() % 16) - 8 : int(rng() % 4095) - 2047;
                        in[pos] = std::int16_t(l);
                        mask |= 1 << (pos >> 3);
                    }
                    const int extra = intra ? 8 + int(rng() % 40) : mask;
                    (intra ? c.Dequant_Intra : c.Dequant_Inter)(want, in, tabC.data(), q, extra);
                    (intra ? t.Dequant_Intra : t.Dequant_Inter)(got, in, tabT.data(), q, extra);
                    refDequant(type, intra, in, ref, matrix, q, extra);
                    ASSERT_EQ(0, std::memcmp(want, ref, sizeof ref)) << "type " << type << " intra " << intra << " q " << q;
                    ASSERT_EQ(0, std::memcmp(want, got, sizeof want)) << "level " << level;
                }
            }
}

// ---- Inverse DCT ----

// Cos[x][u] = C(u) cos((2x + 1) u pi / 16) / 2, the orthonormal 8-point basis.
struct Basis {
    double c[8][8];
    Basis() {
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u) c[x][u] = (u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * M_PI / 16) / 2;
    }
};
const Basis kBasis;

void refIdct(const std::int16_t* in, double* out) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) s += in[v * 8 + u] * kBasis.c[x][u] * kBasis.c[y][v];
            out[y * 8 + x] = s;
        }
}

void refFdct(const int* in, std::int16_t* out) {
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) s += in[y * 8 + x] * kBasis.c[x][u] * kBasis.c[y][v];
            out[v * 8 + u] = std::int16_t(std::clamp(std::lround(s), -2048L, 2047L));
        }
}

// The IEEE 1180 accuracy test: random pixel blocks through a double forward DCT, then the
// integer inverse against the double inverse.
// Every IDCT variant (the integer one and the floating-point reference of level 5) is held to the
// accuracy bounds rather than to bit equality, since two conforming transforms may differ by one.
class IdctAccuracy : public ::testing::TestWithParam<int> {};

TEST_P(IdctAccuracy, MeetsIeee1180Bounds) {
    struct Range { int lo, hi; };
    const Range ranges[] = {{-256, 255}, {-5, 5}, {-300, 300}};
    const int kBlocks = 10000;
    KVR_QUANT_DSP t{};
    Kvr_Install_Quant_DSP(&t, 0, GetParam());
    for (const Range& r : ranges)
        for (int sign = 1; sign >= -1; sign -= 2) {
            std::mt19937 rng(1180 + r.hi * sign);
            double err[64] = {}, sq[64] = {};
            int peak = 0;
            for (int b = 0; b < kBlocks; ++b) {
                int px[64];
                for (int& p : px) p = sign * (r.lo + int(rng() % unsigned(r.hi - r.lo + 1)));
                std::int16_t coef[64], work[64];
                refFdct(px, coef);
                double want[64];
                refIdct(coef, want);
                std::memcpy(work, coef, sizeof work);
                t.IDCT(work);
                for (int i = 0; i < 64; ++i) {
                    const int w = std::clamp(int(std::lround(want[i])), -256, 255);
                    const int g = std::clamp(int(work[i]), -256, 255);
                    const int e = g - w;
                    peak = std::max(peak, std::abs(e));
                    err[i] += e;
                    sq[i] += e * e;
                }
            }
            double totalErr = 0, totalSq = 0;
            for (int i = 0; i < 64; ++i) {
                EXPECT_LE(std::fabs(err[i]) / kBlocks, 0.015) << "mean error at " << i;
                EXPECT_LE(sq[i] / kBlocks, 0.06) << "mean square error at " << i;
                totalErr += err[i];
                totalSq += sq[i];
            }
            EXPECT_LE(peak, 1);
            EXPECT_LE(std::fabs(totalErr) / (64.0 * kBlocks), 0.0015);
            EXPECT_LE(totalSq / (64.0 * kBlocks), 0.02);
        }
    std::int16_t zero[64] = {};
    t.IDCT(zero);
    for (std::int16_t v : zero) EXPECT_EQ(v, 0);
}
INSTANTIATE_TEST_SUITE_P(Levels, IdctAccuracy, ::testing::Values(0, 5));

TEST(CheckAsm, IdctPutAndAddMatchTheirCoreAtEveryLevel) {
    std::mt19937 rng(55);
    for (int level : kCpuLevels) {
        KVR_QUANT_DSP t{}, c{};
        Kvr_Install_Quant_DSP(&t, 1, level);
        // The integer levels share one transform; the reference level is checked against its own core.
        Kvr_Install_Quant_DSP(&c, 1, level == 5 ? 5 : 0);
        for (int iter = 0; iter < 300; ++iter) {
            std::int16_t blk[64] = {};
            const int n = int(rng() % 20);
            for (int k = 0; k < n; ++k) blk[rng() % 64] = std::int16_t(int(rng() % 4096) - 2048);
            std::int16_t core[64];
            std::memcpy(core, blk, sizeof core);
            c.IDCT(core);
            Guarded base(24, 8);
            randomize(base.buf, rng);
            for (int add = 0; add < 2; ++add) {
                Guarded want = base, got = base;
                std::int16_t b1[64], b2[64];
                std::memcpy(b1, blk, sizeof b1);
                std::memcpy(b2, blk, sizeof b2);
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const int v = (add ? *base.at(8 + x, y) : 0) + core[y * 8 + x];
                        *want.at(8 + x, y) = std::uint8_t(std::clamp(v, 0, 255));
                    }
                (add ? t.IDCT_Add : t.IDCT_Put)(b2, got.at(8, 0), 24);
                ASSERT_EQ(got.buf, want.buf) << "level " << level << (add ? " add" : " put");
            }
        }
    }
}

TEST(CheckAsm, TablesNameTheirVariant) {
    KVR_QUANT_DSP q{};
    Kvr_Install_Quant_DSP(&q, 0, 0);
    EXPECT_STREQ(q.Name, "H263-C");
    Kvr_Install_Quant_DSP(&q, 1, 0);
    EXPECT_STREQ(q.Name, "MPEG4-C");
    Kvr_Install_Quant_DSP(&q, 1, 5);
    EXPECT_STREQ(q.Name, "MPEG4-Ref");
    KVR_MB_DSP m{};
    Kvr_Install_MB_DSP(&m, 5);
    EXPECT_STREQ(m.Name, "MB-Ref");
    EXPECT_EQ(m.Init, nullptr);
    Kvr_Install_MB_DSP(&m, 0);
    EXPECT_STREQ(m.Name, "MB--C-");
    KVR_IMG_DSP i{};
    Kvr_Install_IMG_DSP(&i, 0);
    EXPECT_STREQ(i.Name, "IMG--C-");
    KVR_GMC_DSP g{};
    Kvr_Install_GMC_DSP(&g, 0);
    EXPECT_STREQ(g.Name, "GMC--C-");
    int x = 0;
    EXPECT_EQ(m.Finish(&x), &x);
}

}  // namespace
