#include <gtest/gtest.h>

#include <array>

#include "video/frame/FrameHeader.h"

using namespace vistrel::frame;

TEST(FrameHeader, WrittenHeaderIsRecognisedAndCarriesLengthAndWord) {
    std::array<std::uint8_t, kFrameHeaderSize> h{};
    WriteFrameHeader(h.data(), 0x12345678u, 0xA1B2C3D4u);
    EXPECT_TRUE(HasFrameHeaderAt(h.data()));
    EXPECT_EQ(FrameHeaderLengthHigh(h.data()), 0x12340000u);
    EXPECT_EQ(FrameHeaderWord(h.data()), 0xA1B2C3D4u);
    EXPECT_EQ(h[8], kFill8);
    EXPECT_EQ(h[10], kFill10);
    EXPECT_EQ(h[13], kFill13);
    for (std::size_t marker : {0u, 2u, 4u, 6u, 12u}) {
        auto damaged = h;
        damaged[marker] ^= 1;
        EXPECT_FALSE(HasFrameHeaderAt(damaged.data())) << "marker byte " << marker;
    }
}
