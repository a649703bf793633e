#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/ByteOrder.h"

using namespace vistrel::base;

// Fields sit at odd offsets in records and bitmaps: read and write them unaligned, beside
// neighbours that must stay untouched, with every byte value distinct so a swapped or shifted
// byte shows.
TEST(ByteOrder, ReadsAndWritesUnalignedFieldsLeastSignificantByteFirst) {
    std::vector<std::uint8_t> bytes = {0xAA, 0x01, 0x02, 0x03, 0x04, 0xBB};
    EXPECT_EQ(Le16(&bytes[1]), 0x0201);
    EXPECT_EQ(Le32(&bytes[1]), 0x04030201u);

    PutLe32(&bytes[1], 0xF4F3F2F1u);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xAA, 0xF1, 0xF2, 0xF3, 0xF4, 0xBB}));
    PutLe16(&bytes[1], 0xFFFFE5E6u);  // only the low half is a 16-bit field
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xAA, 0xE6, 0xE5, 0xF3, 0xF4, 0xBB}));
}

// High bytes at 0x80 and above must not sign-extend into the bits above them.
TEST(ByteOrder, HighBytesKeepTheirValueAndRoundTrip) {
    const std::uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Le16(ff), 0xFFFF);
    EXPECT_EQ(Le32(ff), 0xFFFFFFFFu);
    for (const std::uint32_t v : {0u, 1u, 0x80u, 0x8000u, 0x800000u, 0x80000000u, 0x7FFFFFFFu, 0xDEADBEEFu}) {
        std::uint8_t b[4];
        PutLe32(b, v);
        EXPECT_EQ(Le32(b), v);
        PutLe16(b, v);
        EXPECT_EQ(Le16(b), v & 0xFFFF);
    }
}
