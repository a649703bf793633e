// Every colour-conversion variant the processor can run, checked byte for byte against the plain C
// routine on random pictures, over row lengths that leave every kind of tail, with guard bytes
// around each destination row.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "video/picture/ColourKernels.h"
#include "video/picture/ColourTables.h"

using namespace vistrel;

namespace {

constexpr int kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

// Row lengths in chroma samples: below, at and around the 8- and 16-sample steps, and a real width.
const int kChromaWidths[] = {2, 4, 6, 8, 10, 14, 16, 18, 22, 24, 30, 32, 34, 46, 88, 160, 360};

std::vector<CpuLevel> levelsToCheck() {
    std::vector<CpuLevel> levels;
    for (int i = 1; i <= static_cast<int>(DetectedCpuLevel()); ++i) levels.push_back(static_cast<CpuLevel>(i));
    return levels;
}

// Random samples with the extremes well represented, where clamping happens.
std::vector<std::uint8_t> randomSamples(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> pick(0, 7);
    for (auto& s : v) {
        const int p = pick(rng);
        s = static_cast<std::uint8_t>(p == 0 ? 0 : p == 1 ? 255 : any(rng));
    }
    return v;
}

// A destination row inside guard bytes.
struct GuardedRow {
    std::vector<std::uint8_t> bytes;
    explicit GuardedRow(std::size_t n) : bytes(n + 2 * kGuard, kGuardByte) {}
    std::uint8_t* row() { return bytes.data() + kGuard; }
};

void checkRowPair(RowPairFn reference, RowPairFn variant, int bytesPerPixel, const char* what, const char* level) {
    std::mt19937 rng(11);
    for (int chromaWidth : kChromaWidths) {
        for (int trial = 0; trial < 8; ++trial) {
            const auto y0 = randomSamples(rng, std::size_t(2 * chromaWidth));
            const auto y1 = randomSamples(rng, std::size_t(2 * chromaWidth));
            const auto cb = randomSamples(rng, std::size_t(chromaWidth));
            const auto cr = randomSamples(rng, std::size_t(chromaWidth));
            const std::size_t n = std::size_t(2 * chromaWidth * bytesPerPixel);
            GuardedRow expected0(n), expected1(n), actual0(n), actual1(n);
            reference(y0.data(), y1.data(), cb.data(), cr.data(), expected0.row(), expected1.row(), chromaWidth);
            variant(y0.data(), y1.data(), cb.data(), cr.data(), actual0.row(), actual1.row(), chromaWidth);
            ASSERT_EQ(actual0.bytes, expected0.bytes) << what << " " << level << " chroma width " << chromaWidth;
            ASSERT_EQ(actual1.bytes, expected1.bytes) << what << " " << level << " chroma width " << chromaWidth;
        }
    }
}

}  // namespace

TEST(ColourKernels, EveryDirectVariantMatchesTheTableArithmetic) {
    InitColourTables();
    const ColourKernels& c = ColourKernelsFor(CpuLevel::C);
    for (CpuLevel level : levelsToCheck()) {
        const ColourKernels& k = ColourKernelsFor(level);
        checkRowPair(c.to24, k.to24, 3, "24-bit", k.name);
        checkRowPair(c.to32, k.to32, 4, "32-bit", k.name);
        checkRowPair(c.to565, k.to565, 2, "5-6-5", k.name);
        checkRowPair(c.to555, k.to555, 2, "5-5-5", k.name);
    }
}

// Every chroma pair and every luma value meets every other once, in both rows, at the widest step.
TEST(ColourKernels, EveryColourOfTheModelMatches) {
    InitColourTables();
    const ColourKernels& c = ColourKernelsFor(CpuLevel::C);
    constexpr int kChromaWidth = 256;
    std::vector<std::uint8_t> y(2 * kChromaWidth), cb(kChromaWidth), cr(kChromaWidth);
    for (CpuLevel level : levelsToCheck()) {
        const ColourKernels& k = ColourKernelsFor(level);
        for (int crValue = 0; crValue < 256; ++crValue) {
            for (int j = 0; j < kChromaWidth; ++j) {
                cb[j] = static_cast<std::uint8_t>(j);
                cr[j] = static_cast<std::uint8_t>(crValue);
                y[2 * j] = static_cast<std::uint8_t>((j + crValue) & 0xFF);
                y[2 * j + 1] = static_cast<std::uint8_t>((j * 7 + crValue * 3) & 0xFF);
            }
            std::vector<std::uint8_t> expected0(2 * kChromaWidth * 4), expected1(expected0.size());
            std::vector<std::uint8_t> actual0(expected0.size()), actual1(expected0.size());
            for (const auto& [ref, var, bytes] :
                 {std::tuple{c.to32, k.to32, 4}, std::tuple{c.to24, k.to24, 3}, std::tuple{c.to565, k.to565, 2},
                  std::tuple{c.to555, k.to555, 2}}) {
                ref(y.data(), y.data(), cb.data(), cr.data(), expected0.data(), expected1.data(), kChromaWidth);
                var(y.data(), y.data(), cb.data(), cr.data(), actual0.data(), actual1.data(), kChromaWidth);
                ASSERT_EQ(actual0, expected0) << k.name << " " << bytes << " bytes, Cr " << crValue;
                ASSERT_EQ(actual1, expected1) << k.name << " " << bytes << " bytes, Cr " << crValue;
            }
        }
    }
}

TEST(ColourKernels, EveryDitherVariantMatchesTheQuantiserTables) {
    InitColourTables();
    const ColourKernels& c = ColourKernelsFor(CpuLevel::C);
    std::mt19937 rng(5);
    for (CpuLevel level : levelsToCheck()) {
        const ColourKernels& k = ColourKernelsFor(level);
        for (int chromaWidth : kChromaWidths) {
            const int width = 2 * chromaWidth;
            if (width % 4 != 0) continue;
            for (const auto* matrix : {kDitherA, kDitherB}) {
                for (int line = 0; line < 4; ++line) {
                    const auto y = randomSamples(rng, std::size_t(width));
                    const auto cb = randomSamples(rng, std::size_t(chromaWidth));
                    const auto cr = randomSamples(rng, std::size_t(chromaWidth));
                    GuardedRow expected{std::size_t(width)};
                    GuardedRow actual{std::size_t(width)};
                    c.to8(y.data(), cb.data(), cr.data(), expected.row(), width, matrix[line]);
                    k.to8(y.data(), cb.data(), cr.data(), actual.row(), width, matrix[line]);
                    ASSERT_EQ(actual.bytes, expected.bytes) << k.name << " width " << width << " line " << line;
                }
            }
        }
    }
}

TEST(CpuLevelChoice, NamesAndCap) {
    for (int i = 0; i < kCpuLevelCount; ++i) {
        CpuLevel parsed = CpuLevel::Avx2;
        const auto level = static_cast<CpuLevel>(i);
        ASSERT_TRUE(ParseCpuLevel(CpuLevelName(level), &parsed));
        EXPECT_EQ(parsed, level);
    }
    CpuLevel untouched = CpuLevel::Sse2;
    EXPECT_FALSE(ParseCpuLevel("AVX2", &untouched));
    EXPECT_FALSE(ParseCpuLevel("", &untouched));
    EXPECT_FALSE(ParseCpuLevel(nullptr, &untouched));
    EXPECT_EQ(untouched, CpuLevel::Sse2);
    EXPECT_LE(ActiveCpuLevel(), DetectedCpuLevel());
    // A table asked for above the processor's level is the processor's own.
    EXPECT_EQ(&ColourKernelsFor(CpuLevel::Avx2), &ColourKernelsFor(DetectedCpuLevel()));
    CpuLevel cap = CpuLevel::C;
    if (ParseCpuLevel(std::getenv("VISTREL_CPU"), &cap) && cap <= DetectedCpuLevel()) {
        EXPECT_EQ(ActiveCpuLevel(), cap);
    }
}
