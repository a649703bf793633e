// Kernel checker: every kernel-table variant, at every CPU level this machine has, against the plain C
// kernel it must equal bit for bit, on seeded random but realistic input in buffers with guard borders
// (whole buffers compared, so a write outside the block fails as surely as a wrong value); and the C
// kernels against straightforward reference forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp_src/Kvr_Dsp.h"
#include "dsp_src/Kvr_Gmc.h"
#include "dsp_src/Kvr_Idct14.h"
#include "dsp_src/Kvr_Qpel.h"
#include "kvr_syst/Kvr_Cpu.h"

namespace {

const int kCpuLevels[] = {0, 2, 3, 4, 5};
const int kSimdLevel = 4;
const std::uint8_t kGuard = 0xA5;

// Every cap whose extensions this processor has, lowest first ("c" always). Each is checked in turn
// within this one process.
std::vector<std::string> machineCaps() {
    std::vector<std::string> caps;
    Kvr_CPU_Set_Cap(nullptr);
    const int all = Kvr_CPU_Query().Mask;
    Kvr_CPU_Set_Cap(std::getenv("VISTREL_CPU"));
    for (const char* name : {"c", "sse2", "ssse3", "sse41", "avx2"}) {
        const int want = Kvr_CPU_Cap_Mask(name);
        if ((all & want) == want) caps.push_back(name);
    }
    return caps;
}

// Installs under a cap for the life of a scope, then goes back to the cap of the environment.
struct CapScope {
    explicit CapScope(const std::string& name) { EXPECT_TRUE(Kvr_CPU_Set_Cap(name.c_str())); }
    ~CapScope() { Kvr_CPU_Set_Cap(std::getenv("VISTREL_CPU")); }
};

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

// Reference content: noise, a flat run, or full-range stripes, so that rounding, clamping and the
// all-equal cases all occur.
void pictureLike(std::vector<std::uint8_t>& v, std::mt19937& rng) {
    randomize(v, rng);
    const int kind = int(rng() % 3);
    if (kind == 1) std::fill(v.begin() + std::ptrdiff_t(v.size() / 3), v.end(), std::uint8_t(rng()));
    if (kind == 2)
        for (std::size_t i = 0; i < v.size(); ++i) v[i] = (i & 4) ? 255 : 0;
}

// ---- Motion compensation ----

int refSample(const std::uint8_t* s, int bps, int x, int y, int pos, int rnd) {
    const int a = s[y * bps + x], b = s[y * bps + x + 1], c = s[(y + 1) * bps + x], d = s[(y + 1) * bps + x + 1];
    switch (pos) {
        case 0: return a;
        case 1: return (a + b + 1 - rnd) >> 1;
        case 2: return (a + c + 1 - rnd) >> 1;
        default: return (a + b + c + d + 2 - rnd) >> 2;
    }
}

// One prediction kernel (Dst and Src share the stride) of a Size x Rows block reading Size + 1
// columns and Rows + 1 lines: the C kernel and the variant on the same guarded destination, the
// source ending right after the last sample either may read (an over-read is caught by ASan).
void checkPrediction(KVR_MC_FN want, KVR_MC_FN got, int size, int rows, std::mt19937& rng,
                     const std::string& what) {
    const int bps = size + 1 + 16 * int(rng() % 3);
    std::vector<std::uint8_t> src(std::size_t(bps) * rows + size + 1);
    pictureLike(src, rng);
    Guarded a(bps, rows), b(bps, rows);
    randomize(a.buf, rng);
    b.buf = a.buf;
    want(a.at(0, 0), src.data(), bps);
    got(b.at(0, 0), src.data(), bps);
    ASSERT_EQ(a.buf, b.buf) << what;
}

TEST(CheckAsm, HalfSampleCKernelsFollowTheDefinition) {
    std::mt19937 rng(2023);
    KVR_MB_DSP c{};
    Kvr_Install_MB_DSP(&c, 0);
    const int sizes[3][2] = {{16, 8}, {8, 8}, {8, 4}};
    for (int table = 0; table < 3; ++table)
        for (int e = 0; e < 12; ++e)
            for (int iter = 0; iter < 10; ++iter) {
                const int w = sizes[e / 4][0], h = sizes[e / 4][1], pos = e % 4;
                const int bps = 48;
                std::vector<std::uint8_t> src(std::size_t(bps) * 40);
                pictureLike(src, rng);
                Guarded got(bps, 20), ref(bps, 20);
                randomize(got.buf, rng);
                ref.buf = got.buf;
                const std::uint8_t* s = src.data() + 4 * bps + 4;
                c.MC[table][e](got.at(8, 2), s, bps);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        std::uint8_t* r = ref.at(8 + x, 2 + y);
                        const int p = refSample(s, bps, x, y, pos, table == KVR_MC_RND1);
                        *r = std::uint8_t(table == KVR_MC_AVG ? (p + *r + 1) >> 1 : p);
                    }
                ASSERT_EQ(got.buf, ref.buf) << "table " << table << " entry " << e;
            }
}

TEST(CheckAsm, PredictionKernelsEveryEntryEveryLevel) {
    std::mt19937 rng(2024);
    KVR_MB_DSP c{};
    Kvr_Install_MB_DSP(&c, 0);
    const int sizes[3][2] = {{16, 8}, {8, 8}, {8, 4}};
    for (const std::string& cap : machineCaps()) {
        CapScope scope(cap);
        KVR_MB_DSP t{};
        Kvr_Install_MB_DSP(&t, kSimdLevel);
        for (int iter = 0; iter < 20; ++iter) {
            checkPrediction(c.Copy_16x16, t.Copy_16x16, 16, 16, rng, cap + " copy 16x16");
            checkPrediction(c.Copy_8x8, t.Copy_8x8, 8, 8, rng, cap + " copy 8x8");
        }
        for (int table = 0; table < 3; ++table) {
            const std::string tab = cap + " table " + std::to_string(table);
            for (int e = 0; e < 12; ++e)
                for (int iter = 0; iter < 20; ++iter)
                    checkPrediction(c.MC[table][e], t.MC[table][e], sizes[e / 4][0], sizes[e / 4][1], rng,
                                    tab + " half-sample entry " + std::to_string(e));
            // Quarter-sample 8x8 entries and the 16x16 kernels of the routine list, every position.
            for (int pos = 0; pos < 16; ++pos)
                for (int iter = 0; iter < 10; ++iter) {
                    const std::string at = tab + " quarter-sample position " + std::to_string(pos);
                    checkPrediction(c.MC[table][KVR_MC_QPEL + pos], t.MC[table][KVR_MC_QPEL + pos], 8, 8, rng,
                                    at + " 8x8");
                    const KVR_MC_FN want16 = table == KVR_MC_AVG ? c.Routines->Qpel16_Avg[pos]
                                                                 : c.Routines->Qpel16_Put[table][pos];
                    const KVR_MC_FN got16 = table == KVR_MC_AVG ? t.Routines->Qpel16_Avg[pos]
                                                                : t.Routines->Qpel16_Put[table][pos];
                    checkPrediction(want16, got16, 16, 16, rng, at + " 16x16");
                }
        }
    }
}

TEST(CheckAsm, GmcMacroblocksEveryLevel) {
    std::mt19937 rng(77);
    const int w = 64, h = 48, bps = 96;
    std::vector<std::uint8_t> ry(std::size_t(bps) * (h + 32)), ru(std::size_t(bps) * (h / 2 + 32)), rv = ru;
    for (const std::string& cap : machineCaps()) {
        CapScope scope(cap);
        KVR_MB_DSP t{};
        Kvr_Install_MB_DSP(&t, kSimdLevel);
        for (int iter = 0; iter < 300; ++iter) {
            pictureLike(ry, rng);
            pictureLike(ru, rng);
            pictureLike(rv, rng);
            int du[4], dv[4];
            for (int i = 0; i < 4; ++i) {
                // Mostly small trajectories; sometimes large ones that reach far past the picture edges.
                const int span = rng() % 4 ? 61 : 2001;
                du[i] = int(rng() % span) - span / 2;
                dv[i] = int(rng() % span) - span / 2;
            }
            KVR_GMC_PARAMS g;
            if (!Kvr_Gmc_Setup(&g, du, dv, int(rng() % 4), int(rng() % 4), w, h)) continue;
            const int mbx = int(rng() % 4), mby = int(rng() % 3), rnd = int(rng() % 2);
            Guarded a(bps, 48), b(bps, 48);
            randomize(a.buf, rng);
            b.buf = a.buf;
            const std::uint8_t* y0 = ry.data() + 16 * bps + 16;
            const std::uint8_t* u0 = ru.data() + 16 * bps + 8;
            const std::uint8_t* v0 = rv.data() + 16 * bps + 8;
            Kvr_Gmc_Predict_MB(&g, a.at(0, 0), a.at(0, 16), a.at(0, 24), y0, u0, v0, bps, mbx, mby, w, h, rnd);
            t.Routines->Gmc_Predict(&g, b.at(0, 0), b.at(0, 16), b.at(0, 24), y0, u0, v0, bps, mbx, mby, w, h,
                                    rnd);
            ASSERT_EQ(a.buf, b.buf) << cap << " iteration " << iter;
        }
    }
}

TEST(CheckAsm, BorderExtensionFillsTheWholeBorderAtEveryLevel) {
    std::mt19937 rng(7);
    for (const std::string& cap : machineCaps()) {
        CapScope scope(cap);
        KVR_MB_DSP t{};
        Kvr_Install_MB_DSP(&t, kSimdLevel);
        for (const auto& size : {std::pair{16, 16}, std::pair{48, 32}, std::pair{210, 118}, std::pair{1280, 32}}) {
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
                    ASSERT_EQ(y[yy * bps + xx], y[cy * bps + cx])
                        << cap << " " << w << "x" << h << " at " << xx << "," << yy;
                }
            const int cw = (w + 1) / 2, ch = (h + 1) / 2;
            for (std::uint8_t* p : {u, v})
                for (int yy = -8; yy < mbh * 8 + 8; ++yy)
                    for (int xx = -8; xx < bps / 2 - 8; ++xx) {
                        const int cx = std::clamp(xx, 0, cw - 1), cy = std::clamp(yy, 0, ch - 1);
                        ASSERT_EQ(p[yy * bps + xx], p[cy * bps + cx]) << cap << " chroma " << xx << "," << yy;
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
                    ASSERT_EQ(0, std::memcmp(want, ref, sizeof ref))
                        << "type " << type << " intra " << intra << " q " << q;
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
            for (int u = 0; u < 8; ++u)
                c[x][u] = (u ? 1.0 : std::sqrt(0.5)) * std::cos((2 * x + 1) * u * M_PI / 16) / 2;
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

// The IEEE 1180 accuracy test: random pixel blocks through a double forward DCT, then the integer
// inverse against the double inverse. Every IDCT variant is held to the accuracy bounds rather than
// to bit equality with another transform, since two conforming transforms may differ by one.
struct IdctVariant {
    const char* name;
    KVR_BLOCK_FN (*get)();
};
KVR_BLOCK_FN levelIdct(int level, const char* cap) {
    CapScope scope(cap);
    KVR_QUANT_DSP t{};
    Kvr_Install_Quant_DSP(&t, 0, level);
    return t.IDCT;
}
const IdctVariant kIdcts[] = {
    {"integer_C", [] { return levelIdct(0, "c"); }},
    {"float_reference", [] { return levelIdct(5, "c"); }},
    {"simd_model_C", [] { return KVR_BLOCK_FN(Kvr_IDCT14_C); }},
    {"simd_highest_level", [] { return levelIdct(kSimdLevel, ""); }},
};

class IdctAccuracy : public ::testing::TestWithParam<IdctVariant> {};

TEST_P(IdctAccuracy, MeetsIeee1180Bounds) {
    struct Range {
        int lo, hi;
    };
    const Range ranges[] = {{-256, 255}, {-5, 5}, {-300, 300}};
    const int kBlocks = 10000;
    const KVR_BLOCK_FN idct = GetParam().get();
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
                idct(work);
                for (int i = 0; i < 64; ++i) {
                    const int w = std::clamp(int(std::lround(want[i])), -256, 255);
                    const int g = std::clamp(int(work[i]), -256, 255);
                    const int e = g - w;
                    peak = std::max(peak, std::abs(e));
                    err[i] += e;
                    sq[i] += e * e;
                }
            }
            double totalErr = 0, totalSq = 0, worstErr = 0, worstSq = 0;
            for (int i = 0; i < 64; ++i) {
                EXPECT_LE(std::fabs(err[i]) / kBlocks, 0.015) << "mean error at " << i;
                EXPECT_LE(sq[i] / kBlocks, 0.06) << "mean square error at " << i;
                worstErr = std::max(worstErr, std::fabs(err[i]) / kBlocks);
                worstSq = std::max(worstSq, sq[i] / kBlocks);
                totalErr += err[i];
                totalSq += sq[i];
            }
            EXPECT_LE(peak, 1);
            EXPECT_LE(std::fabs(totalErr) / (64.0 * kBlocks), 0.0015);
            EXPECT_LE(totalSq / (64.0 * kBlocks), 0.02);
            std::printf("%s [%d,%d]x%d: peak %d, worst mean %.4f, worst mse %.4f, overall mean %.5f, mse %.4f\n",
                        GetParam().name, r.lo, r.hi, sign, peak, worstErr, worstSq,
                        std::fabs(totalErr) / (64.0 * kBlocks), totalSq / (64.0 * kBlocks));
        }
    std::int16_t zero[64] = {};
    idct(zero);
    for (std::int16_t v : zero) EXPECT_EQ(v, 0);
}
INSTANTIATE_TEST_SUITE_P(Variants, IdctAccuracy, ::testing::ValuesIn(kIdcts),
                         [](const auto& param) { return std::string(param.param.name); });

// Coefficient blocks of the kinds a decoder meets: DC only, a few low frequencies, left or top half
// only, dequantised residuals of real pixel blocks, and (hostile streams) any 12-bit values at all.
void realisticBlock(std::int16_t* blk, std::mt19937& rng) {
    std::memset(blk, 0, 64 * sizeof(std::int16_t));
    auto level = [&rng] { return std::int16_t(int(rng() % 4096) - 2048); };
    switch (rng() % 6) {
        case 0: blk[0] = level(); break;
        case 1:
            for (int k = int(rng() % 6); k >= 0; --k)
                blk[(rng() % 3) * 8 + rng() % 3] = std::int16_t(int(rng() % 201) - 100);
            break;
        case 2:
            for (int k = 0; k < 64; ++k)
                if ((k & 7) < 4) blk[k] = std::int16_t(int(rng() % 601) - 300);
            break;
        case 3:
            for (int k = 0; k < 32; ++k) blk[k] = std::int16_t(int(rng() % 601) - 300);
            break;
        case 4: {
            int px[64];
            for (int& p : px) p = int(rng() % 512) - 256;
            refFdct(px, blk);
            const int q = 2 + int(rng() % 30);
            for (int k = 0; k < 64; ++k) blk[k] = std::int16_t(blk[k] / q * q);
            break;
        }
        default:
            for (int k = 0; k < 64; ++k) blk[k] = level();
    }
}

TEST(CheckAsm, IdctCorePutAndAddMatchTheirModelAtEveryLevel) {
    std::mt19937 rng(55);
    std::vector<std::pair<std::string, int>> variants = {{"c", 0}, {"c", 5}};
    for (const std::string& cap : machineCaps()) variants.push_back({cap, kSimdLevel});
    for (const auto& [cap, level] : variants) {
        CapScope scope(cap);
        KVR_QUANT_DSP t{}, c{};
        Kvr_Install_Quant_DSP(&t, 1, level);
        Kvr_Install_Quant_DSP(&c, 1, level == 5 ? 5 : 0);
        // The SIMD tables follow the C model of their own transform; the others the C tables.
        const bool simd = t.IDCT != c.IDCT;
        const KVR_BLOCK_FN model = simd ? KVR_BLOCK_FN(Kvr_IDCT14_C) : c.IDCT;
        const std::string what = cap + " level " + std::to_string(level);
        for (int iter = 0; iter < 2000; ++iter) {
            std::int16_t blk[64];
            realisticBlock(blk, rng);
            std::int16_t want[64], got[64];
            std::memcpy(want, blk, sizeof want);
            std::memcpy(got, blk, sizeof got);
            model(want);
            t.IDCT(got);
            ASSERT_EQ(0, std::memcmp(want, got, sizeof want)) << what << " core, iteration " << iter;
            Guarded base(24, 8);
            randomize(base.buf, rng);
            for (int add = 0; add < 2; ++add) {
                Guarded ref = base, out = base;
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const int v = (add ? *base.at(8 + x, y) : 0) + want[y * 8 + x];
                        *ref.at(8 + x, y) = std::uint8_t(std::clamp(v, 0, 255));
                    }
                std::memcpy(got, blk, sizeof got);
                (add ? t.IDCT_Add : t.IDCT_Put)(got, out.at(8, 0), 24);
                ASSERT_EQ(out.buf, ref.buf) << what << (add ? " add" : " put") << ", iteration " << iter;
            }
        }
    }
}

}  // namespace
