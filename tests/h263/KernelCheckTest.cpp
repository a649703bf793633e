// The H.263 kernel tables of every CPU level the machine has: the library's put and add against
// its own transform, our flat short cut against the library's transform of a lone DC, prediction per
// block against whole half-sample planes, and the decoder's fused paths against transform-then-store
// (the test-stream encoder's road), with guard bytes around blocks and exact-size pictures (so
// AddressSanitizer sees any stray read).

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
template <typename T>
void realisticBlock(std::mt19937& rng, int lastScan, T* raster) {
    std::fill(raster, raster + 64, T(0));
    std::uniform_int_distribution<int> quantiser(1, 31);
    std::uniform_int_distribution<int> level(1, 127);
    std::uniform_int_distribution<int> smallLevel(1, 4);
    std::uniform_int_distribution<int> coin(0, 3);
    const int q = quantiser(rng);
    for (int k = 0; k <= lastScan; ++k) {
        if (k != lastScan && coin(rng) != 0) continue;
        // Mostly small levels, as real residuals are; now and then the largest ones.
        const int l = coin(rng) == 0 ? level(rng) : smallLevel(rng);
        raster[kZigzag[k]] = T(Dequantise(l, coin(rng) < 2, q));
    }
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

}  // namespace

// Put and add are the transform followed by a clamp, at every level, on blocks from DC-only to full.
TEST(H263Kernels, PutAndAddAreTheTransformClamped) {
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        std::mt19937 rng(17);
        std::uniform_int_distribution<int> last(0, 63);
        for (int trial = 0; trial < 3000; ++trial) {
            alignas(16) std::int16_t coefficients[64];
            realisticBlock(rng, trial % 3 == 0 ? last(rng) % 10 : last(rng), coefficients);
            alignas(16) std::int16_t samples[64];
            std::copy(coefficients, coefficients + 64, samples);
            k.transform(samples);
            Guarded expected(rng);
            Guarded actual = expected;
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) expected.block()[r * kStride + c] = clampWide(samples[8 * r + c]);
            alignas(16) std::int16_t scratch[64];
            std::copy(coefficients, coefficients + 64, scratch);
            k.put(scratch, actual.block(), kStride);
            ASSERT_EQ(actual.bytes, expected.bytes) << k.name << " put, trial " << trial;

            Guarded expectedAdd(rng);
            Guarded actualAdd = expectedAdd;
            for (int r = 0; r < 8; ++r)
                for (int c = 0; c < 8; ++c) {
                    std::uint8_t& d = expectedAdd.block()[r * kStride + c];
                    d = clampWide(std::int64_t(d) + samples[8 * r + c]);
                }
            std::copy(coefficients, coefficients + 64, scratch);
            k.add(scratch, actualAdd.block(), kStride);
            ASSERT_EQ(actualAdd.bytes, expectedAdd.bytes) << k.name << " add, trial " << trial;
        }
    }
}

// Our flat short cut for a lone DC against the library's transform of it, over every DC the
// decoder can produce (intra DC 8..2040, residual DC up to 31 * 257) and beyond.
TEST(H263Kernels, FlatShortCutIsTheLibraryTransformOfALoneDc) {
    for (CpuLevel level : allLevels()) {
        const H263Kernels& k = H263KernelsFor(level);
        std::mt19937 rng(23);
        for (int dc = -8200; dc <= 8200; dc += (dc > -300 && dc < 300) ? 1 : 37) {
            alignas(16) std::int16_t block[64] = {};
            block[0] = std::int16_t(dc);
            Guarded expected(rng);
            Guarded actual = expected;
            k.add(block, expected.block(), kStride);
            k.flatAdd(FlatValue(dc), actual.block(), kStride);
            ASSERT_EQ(actual.bytes, expected.bytes) << k.name << " DC " << dc;
            std::fill(block, block + 64, std::int16_t(0));
            block[0] = std::int16_t(dc);
            k.transform(block);
            if (dc >= 0 && dc <= 2040) ASSERT_EQ(block[63], FlatValue(dc)) << k.name << " DC " << dc;
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
                out[base + std::size_t((8 * row + r) * cw + 8 * column + c)] =
                    cp[base + std::size_t((cy + r) * cw + cx + c)];
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
    alignas(16) std::int16_t zero[kBlocksPerMacroblock * kBlockSize] = {};
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
                        ASSERT_EQ(actual, expected)
                            << k.name << " macroblock " << row << "," << column << " vector " << vx << "," << vy;
                    }
                }
            }
        }
    }
}

// The decoder's fused paths (short cuts chosen by the last scan position) against transforming every
// block and then storing or adding, the road of the test-stream encoder; both use the active table.
TEST(H263Kernels, FusedReconstructionEqualsTransformThenStore) {
    const int w = 32, h = 32;
    std::mt19937 rng(31);
    std::vector<std::uint8_t> ref(std::size_t(w * h * 3 / 2));
    for (auto& v : ref) v = std::uint8_t(rng());
    std::uniform_int_distribution<int> lastPick(-1, 63);
    std::uniform_int_distribution<int> vector(-20, 20);
    {
        const H263Kernels& k = ActiveH263Kernels();
        for (int trial = 0; trial < 300; ++trial) {
            const bool intra = trial % 3 == 0;
            alignas(16) std::int16_t raster[kBlocksPerMacroblock * kBlockSize];
            std::int32_t scan[kBlocksPerMacroblock * kBlockSize];
            int lastScan[kBlocksPerMacroblock];
            int mask = 0;
            for (int b = 0; b < kBlocksPerMacroblock; ++b) {
                // DC-only, sparse and dense blocks all turn up; intra blocks always have their DC.
                lastScan[b] =
                    std::max(intra ? 0 : -1, lastPick(rng) % 12 == 0 ? lastPick(rng) : lastPick(rng) / 6);
                std::int16_t* r = raster + b * kBlockSize;
                if (lastScan[b] >= 0) {
                    realisticBlock(rng, lastScan[b], r);
                    mask |= 0x20 >> b;
                } else {
                    std::fill(r, r + kBlockSize, std::int16_t(0));
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
            te.kernels = &k;
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
