// Finding group-of-blocks headers after damage: at any bit position, only with a group number in the
// range asked for and a real quantiser, and never behind the data.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "video/h263/GobResync.h"

using namespace vistrel::h263;

namespace {

struct Bits {
    std::vector<std::uint8_t> bytes;
    std::size_t count = 0;
    void put(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if (count % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= std::uint8_t(0x80 >> (count % 8));
            ++count;
        }
    }
    // GBSC, GN, GFID, GQUANT.
    void header(int group, int quantiser) {
        put(1, 17);
        put(std::uint32_t(group), 5);
        put(0, 2);
        put(std::uint32_t(quantiser), 5);
    }
};

}  // namespace

TEST(H263GobResync, FindsTheFirstFittingHeaderAtAnyBitPosition) {
    Bits b;
    b.put(0x5A5, 11);  // not byte-aligned from here on
    b.header(2, 0);    // quantiser 0: not a header
    b.put(0x3, 3);
    b.header(9, 7);  // beyond the groups asked for
    b.put(0x1, 1);
    b.header(4, 12);
    const std::size_t behind = b.count;
    b.put(0xFF, 8);
    BitReader reader(b.bytes.data(), b.bytes.size());
    GroupHeader h;
    ASSERT_TRUE(FindGroupHeader(reader, 0, 1, 8, false, &h));
    EXPECT_EQ(h.group, 4);
    EXPECT_EQ(h.quantiser, 12);
    EXPECT_EQ(reader.bitPosition(), behind);
    // From behind it nothing fits; the reader ends at the data's end without overrunning.
    EXPECT_FALSE(FindGroupHeader(reader, behind, 1, 8, false, &h));
    EXPECT_FALSE(reader.overrun());
    // A header cut off by the end of the data is not one.
    BitReader cut(b.bytes.data(), (behind - 3) / 8);
    EXPECT_FALSE(FindGroupHeader(cut, 0, 3, 8, false, &h));
}

TEST(H263GobResync, ReadsAHeaderRightThereOrAfterStuffingOnly) {
    Bits b;
    b.put(0x5, 3);
    b.put(0, 5);  // zero stuffing to the byte boundary
    b.header(3, 9);
    BitReader reader(b.bytes.data(), b.bytes.size());
    reader.skip(3);
    GroupHeader h;
    ASSERT_TRUE(ReadGroupHeader(reader, false, &h));
    EXPECT_EQ(h.group, 3);
    EXPECT_EQ(h.quantiser, 9);
    // Macroblock data where a row begins is left alone.
    BitReader data(b.bytes.data(), b.bytes.size());
    EXPECT_FALSE(ReadGroupHeader(data, false, &h));
    EXPECT_EQ(data.bitPosition(), 0u);
}
