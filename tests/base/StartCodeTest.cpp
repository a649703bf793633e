#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/StartCode.h"

using namespace vistrel::base;

namespace {

// The plain search the helper must agree with.
std::size_t slowFind(const std::vector<std::uint8_t>& d, std::size_t from) {
    for (std::size_t i = from; i + 3 <= d.size(); ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) return i;
    return d.size();
}

// A copy in a heap block of exactly its size, so that AddressSanitizer sees any read past the end.
std::unique_ptr<std::uint8_t[]> exactCopy(const std::vector<std::uint8_t>& d) {
    auto copy = std::make_unique<std::uint8_t[]>(d.size());
    std::copy(d.begin(), d.end(), copy.get());
    return copy;
}

}  // namespace

TEST(StartCode, FindsEachPrefixInTurnAndNothingInsideLongerZeroRuns) {
    const std::vector<std::uint8_t> d = {0x00, 0x00, 0x01, 0xB6, 0x00, 0x00, 0x00, 0x01, 0x20, 0x01, 0x00, 0x01};
    auto data = exactCopy(d);
    EXPECT_EQ(FindStartCode(data.get(), d.size()), 0u);
    EXPECT_EQ(FindStartCode(data.get(), d.size(), 1), 5u);        // 00 00 00 01: the prefix is its last three
    EXPECT_EQ(FindStartCode(data.get(), d.size(), 6), d.size());  // 00 01 and 01 00 01 are no prefix
    EXPECT_TRUE(IsStartCodeAt(data.get(), d.size(), 0));
    EXPECT_FALSE(IsStartCodeAt(data.get(), d.size(), 4));
    EXPECT_TRUE(IsStartCodeAt(data.get(), d.size(), 5));
}

// A stream cut anywhere: a prefix whose bytes are not all there is not found, nor read past the end;
// starting points at or beyond the end find nothing.
TEST(StartCode, APrefixCutAtEveryPositionIsNeverReadPastTheEnd) {
    const std::vector<std::uint8_t> whole = {0x12, 0x00, 0x00, 0x01, 0xB6, 0x00, 0x00, 0x01};
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(size));
        auto data = exactCopy(cut);
        for (std::size_t from = 0; from <= size + 3; ++from) {
            EXPECT_EQ(FindStartCode(data.get(), size, from), from <= size ? slowFind(cut, from) : size)
                << "size " << size << " from " << from;
            EXPECT_EQ(IsStartCodeAt(data.get(), size, from), from + 3 <= size && slowFind(cut, from) == from)
                << "size " << size << " at " << from;
        }
    }
    EXPECT_EQ(FindStartCode(nullptr, 0), 0u);
    EXPECT_FALSE(IsStartCodeAt(nullptr, 0, 0));
}

// The search skips ahead over bytes that cannot end a prefix; every arrangement of the three byte
// values that matter, in buffers of every length up to 7, must still give the plain search's answer.
TEST(StartCode, SkippingAheadMissesNoPrefix) {
    const std::uint8_t values[3] = {0x00, 0x01, 0x02};
    for (std::size_t size = 0; size <= 7; ++size) {
        std::size_t combinations = 1;
        for (std::size_t i = 0; i < size; ++i) combinations *= 3;
        for (std::size_t n = 0; n < combinations; ++n) {
            std::vector<std::uint8_t> d(size);
            for (std::size_t i = 0, k = n; i < size; ++i, k /= 3) d[i] = values[k % 3];
            auto data = exactCopy(d);
            for (std::size_t from = 0; from <= size; ++from)
                ASSERT_EQ(FindStartCode(data.get(), size, from), slowFind(d, from))
                    << "case " << n << " from " << from;
        }
    }
}
