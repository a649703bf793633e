// The H.263 kernels of every CPU level the machine has, held bit for bit to the 64-bit reference
// transform and to prediction from whole half-sample planes, with guard bytes around every block
// and exact-size pictures (so AddressSanitizer sees any stray read).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "video/h263/BlockReconstruction.h"
#include "video/h263/H263Kernels.h"
#include "video/h263/H263Tables.h"

using namespace vistrel;
using namespace vistrel::h263;

namespace {

std::vector<CpuLevel> allLevels() {
    std::vector<CpuLevel> levels;
    for (int i = 0; i <= static_cast<int>(DetectedCpuLevel()); ++i) levels.push_back(static_cast<CpuLevel>(i));
    return levels;
}

std::uint8_t clampWide(std::int64_t v) { return std::uint8_t(std::clamp<std::int64_t>(v, 0, 255)); }

// A block as the coefficient reader leaves it: dequantised levels at scan positions up to `lastScan`,
// stored in raster order.
void realisticBlock(std::mt19937& rng, int lastScan, std::int32_t* raster) {
    std::fill(raster, raster + 64, 0);
    std::uniform_int_distribution<int> quantiser(1, 31);
    std::uniform_int_distribution<int> level(1, 127);
    std::uniform_int_distribution<int> smallLevel(1, 4);
    std::uniform_int_distribution<int> coin(0, 3);
    const int q = quantiser(rng);
    for (int k = 0; k <= lastScan; ++k) {
        if (k != lastScan && coin(rng) != 0) continue;
        // Mostly small levels, as real residuals are; now and then the largest ones.
        const int l = coin(rng) == 0 ? level(rng) : smallLevel(rng);
        raster[kZigzag[k]] = Dequantise(l, coin(rng) < 2, q);
    }
}

// Values around the bound of the 32-bit paths and far beyond it (a hostile caller's), which must
// end in the reference.
void extremeBlock(std::mt19937& rng, int lastScan, std::int32_t* raster) {
    static const std::int32_t values[] = {kFastTransformLimit - 1, kFastTransformLimit, kFastTransformLimit + 1,
                                          -kFastTransformLimit,    -kFastTransformLimit - 1, 3000,
                                          7967,                    -7967,                 1 << 20,
                                          INT32_MAX,               INT32_MIN,             -1};
    std::uniform_int_distribution<int> pick(0, int(std::size(values)) - 1);
    std::uniform_int_distribution<int> coin(0, 2);
    std::fill(raster, raster + 64, 0);
    for (int k = 0; k <= lastScan; ++k)
        if (k == lastScan || coin(rng) == 0) raster[kZigzag[k]] = values[pick(rng)];
}

constexpr int kStride = 24;
constexpr int kRows = 12;
constexpr int kBlockOffset = 2 * kStride + 8;  // the 8 x 8 block sits inside guard samples

struct Guarded {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kStride * kRows);
    explicit Guarded(std::mt19937& rng) {
        for (auto& b : bytes) b = std::uint8_t(rng());
    }
    std::uint8_t* block() { return bytes.data() + kBlockOffset; }
};

void referencePut(const std::int32_t* raster, std::uint8_t* dst) {
    std::int32_t s[64];
    InverseTransformRaster(raster, s);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) dst[r * kStride + c] = clampWide(s[8 * r + c]);
}

void referenceAdd(const std::int32_t* raster, std::uint8_t* dst) {
    std::int32_t s[64];
    InverseTransformRaster(raster, s);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) dst[r * kStride + c] = clampWide(std::int64_t(dst[r * kStride + c]) + s[8 * r + c]);
}

void checkTransforms(void (*fill)(std::mt19937&, int, std::int32_t*), int trials) {
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        std::mt19937 rng(17);
        std::uniform_int_distribution<int> lastDense(0, 63);
        std::uniform_int_distribution<int> lastSparse(1, kSparseLastScan);
        for (int trial = 0; trial < trials; ++trial) {
            const bool sparse = trial % 2 == 0;
            std::int32_t raster[64];
            fill(rng, sparse ? lastSparse(rng) : lastDense(rng), raster);
            std::int32_t copy[64];
            std::copy(raster, raster + 64, copy);
            Guarded expected(rng);
            Guarded actual = expected;
            referencePut(raster, expected.block());
            (sparse ? k.idctPutSparse : k.idctPut)(raster, actual.block(), kStride);
            ASSERT_EQ(actual.bytes, expected.bytes) << k.name << " put, trial " << trial;
            Guarded expectedAdd(rng);
            Guarded actualAdd = expectedAdd;
            referenceAdd(raster, expectedAdd.block());
            (sparse ? k.idctAddSparse : k.idctAdd)(raster, actualAdd.block(), kStride);
            ASSERT_EQ(actualAdd.bytes, expectedAdd.bytes) << k.name << " add, trial " << trial;
            ASSERT_TRUE(std::equal(raster, raster + 64, copy)) << "the coefficients were changed";
        }
    }
}

}  // namespace

TEST(H263Kernels, TransformVariantsMatchTheReferenceOnRealisticBlocks) {
    checkTransforms(realisticBlock, 3000);
}

TEST(H263Kernels, TransformVariantsMatchTheReferenceAtAndBeyondTheirRange) {
    checkTransforms(extremeBlock, 1500);
}

TEST(H263Kernels, DcOnlyBlocksAddTheirFlatValue) {
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        std::mt19937 rng(23);
        for (std::int32_t dc : {0, 1, -1, 15, 16, -16, -17, 1024, -2040, 7967, -7967, 1 << 24, INT32_MAX, INT32_MIN}) {
            std::int32_t raster[64] = {};
            raster[0] = dc;
            Guarded expected(rng);
            Guarded actual = expected;
            referenceAdd(raster, expected.block());
            k.dcAdd(dc, actual.block(), kStride);
            ASSERT_EQ(actual.bytes, expected.bytes) << k.name << " DC " << dc;
        }
    }
}

namespace {

// The prediction as the whole half-sample planes give it (the arrangement the kernels replace).
void predictFromPlanes(const std::vector<std::uint8_t>& ref, int w, int h, int row, int column, int vx, int vy,
                       std::vector<std::uint8_t>& out) {
    const std::size_t n = ref.size();
    std::vector<std::uint8_t> hh(n), vv(n), dd(n);
    BuildHalfSamplePlanes(ref.data(), HalfSamplePlanes{hh.data(), vv.data(), dd.data()}, w, h);
    const auto plane = [&](bool x, bool y) -> const std::vector<std::uint8_t>& {
        return x && y ? dd : x ? hh : y ? vv : ref;
    };
    const int lx = std::clamp(16 * column + (vx >> 1), 0, w - 16);
    const int ly = std::clamp(16 * row + (vy >> 1), 0, h - 16);
    const auto& lp = plane(vx & 1, vy & 1);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            out[std::size_t((16 * row + r) * w + 16 * column + c)] = lp[std::size_t((ly + r) * w + lx + c)];
    const int cw = w / 2, ch = h / 2;
    const int cx = std::clamp(8 * column + (vx >> 2), 0, cw - 8);
    const int cy = std::clamp(8 * row + (vy >> 2), 0, ch - 8);
    const auto& cp = plane((vx & 3) != 0, (vy & 3) != 0);
    for (int p = 0; p < 2; ++p) {
        const std::size_t base = std::size_t(w * h) + std::size_t(p) * std::size_t(cw * ch);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                out[base + std::size_t((8 * row + r) * cw + 8 * column + c)] = cp[base + std::size_t((cy + r) * cw + cx + c)];
    }
}

}  // namespace

// Every vector parity at every macroblock, the edges included (where a half position has no right
// or lower neighbour), against the planes; exact-size pictures catch any read beyond them.
TEST(H263Kernels, PredictionPerBlockEqualsTheWholeHalfSamplePlanes) {
    const int w = 48, h = 32;
    std::mt19937 rng(29);
    std::vector<std::uint8_t> ref(std::size_t(w * h * 3 / 2));
    for (auto& v : ref) v = std::uint8_t(rng());
    const int noCoefficients[kBlocksPerMacroblock] = {-1, -1, -1, -1, -1, -1};
    const std::int32_t zero[kBlocksPerMacroblock * kBlockSize] = {};
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        for (int row = 0; row < h / 16; ++row) {
            for (int column = 0; column < w / 16; ++column) {
                for (int vx = -35; vx <= 35; vx += (vx > -6 && vx < 6) ? 1 : 7) {
                    for (int vy = -35; vy <= 35; vy += (vy > -6 && vy < 6) ? 1 : 7) {
                        std::vector<std::uint8_t> expected(ref.size(), 0), actual(ref.size(), 0);
                        predictFromPlanes(ref, w, h, row, column, vx, vy, expected);
                        ReconstructionTarget t;
                        t.output = actual.data();
                        t.reference = ref.data();
                        t.width = w;
                        t.height = h;
                        t.kernels = &k;
                        ReconstructPredicted(t, row, column, vx, vy, zero, noCoefficients);
                        ASSERT_EQ(actual, expected) << k.name << " macroblock " << row << "," << column << " vector "
                                                    << vx << "," << vy;
                    }
                }
            }
        }
    }
}

// The decoder's fused paths (short cuts chosen by the last scan position) against transforming
// every block with the reference and then storing or adding.
TEST(H263Kernels, FusedReconstructionEqualsTransformThenStore) {
    const int w = 32, h = 32;
    std::mt19937 rng(31);
    std::vector<std::uint8_t> ref(std::size_t(w * h * 3 / 2));
    for (auto& v : ref) v = std::uint8_t(rng());
    std::uniform_int_distribution<int> lastPick(-1, 63);
    std::uniform_int_distribution<int> vector(-20, 20);
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        for (int trial = 0; trial < 200; ++trial) {
            const bool intra = trial % 3 == 0;
            std::int32_t raster[kBlocksPerMacroblock * kBlockSize];
            std::int32_t scan[kBlocksPerMacroblock * kBlockSize];
            int lastScan[kBlocksPerMacroblock];
            int mask = 0;
            for (int b = 0; b < kBlocksPerMacroblock; ++b) {
                // DC-only, sparse and dense blocks all turn up; intra blocks always have their DC.
                lastScan[b] = std::max(intra ? 0 : -1, lastPick(rng) % 12 == 0 ? lastPick(rng) : lastPick(rng) / 6);
                std::int32_t* r = raster + b * kBlockSize;
                if (lastScan[b] >= 0) {
                    realisticBlock(rng, lastScan[b], r);
                    mask |= 0x20 >> b;
                } else {
                    std::fill(r, r + kBlockSize, 0);
                }
                for (int i = 0; i < kBlockSize; ++i) scan[b * kBlockSize + i] = r[kZigzag[i]];
            }
            const int row = trial % 2, column = (trial / 2) % 2;
            const int vx = vector(rng), vy = vector(rng);
            std::vector<std::uint8_t> expected(ref.size(), 0), actual(ref.size(), 0);
            ReconstructionTarget te;
            te.output = expected.data();
            te.reference = ref.data();
            te.width = w;
            te.height = h;
            te.kernels = &H263KernelsFor(CpuLevel::C);
            ReconstructionTarget ta = te;
            ta.output = actual.data();
            ta.kernels = &k;
            InverseTransform(scan, mask);
            if (intra) {
                StoreIntra(te, row, column, scan);
                ReconstructIntra(ta, row, column, raster, lastScan);
            } else {
                PredictAndAdd(te, row, column, vx, vy, scan, mask);
                ReconstructPredicted(ta, row, column, vx, vy, raster, lastScan);
            }
            ASSERT_EQ(actual, expected) << k.name << (intra ? " intra" : " predicted") << " trial " << trial;
        }
    }
}
