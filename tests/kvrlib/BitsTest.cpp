// Bit reader bounds and the variable-length code readers.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "kvr_syst/Kvr_Bits.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {

// The data lives in a heap block of exactly its size so that ASan catches any read beyond it.
struct Data {
    std::unique_ptr<std::uint8_t[]> p;
    std::size_t n;
    explicit Data(std::vector<std::uint8_t> v) : p(new std::uint8_t[v.size()]), n(v.size()) {
        std::copy(v.begin(), v.end(), p.get());
    }
};

TEST(Bits, ReadsInOrderAndCountsConsumedBytes) {
    Data d({0xA5, 0x0F, 0xF0, 0x33});
    KVR_BITS b;
    b.Open(d.p.get(), d.n);
    EXPECT_EQ(b.Get(0), 0u);
    EXPECT_EQ(b.Byte_Offset(), 0u);
    EXPECT_EQ(b.Get(3), 0x5u);
    EXPECT_EQ(b.Byte_Offset(), 1u) << "a partly read byte counts as consumed";
    EXPECT_EQ(b.Get(5), 0x05u);
    EXPECT_EQ(b.Get(24), 0x0FF033u);
    EXPECT_EQ(b.Byte_Offset(), 4u);
    EXPECT_FALSE(b.Overread());
}

TEST(Bits, ReadsPastTheEndGiveZerosAndAStickyFlag) {
    for (std::size_t len = 0; len < 12; ++len) {
        std::vector<std::uint8_t> v(len, 0xFF);
        Data d(v);
        KVR_BITS b;
        b.Open(d.p.get(), d.n);
        for (std::size_t i = 0; i < len; ++i) EXPECT_EQ(b.Get(8), 0xFFu);
        EXPECT_FALSE(b.Overread());
        EXPECT_EQ(b.See(32), 0u);
        EXPECT_FALSE(b.Overread()) << "looking ahead is not reading";
        EXPECT_EQ(b.Get(1), 0u);
        EXPECT_TRUE(b.Overread());
        b.Get(32);
        EXPECT_TRUE(b.Overread());
        EXPECT_EQ(b.Byte_Offset(), len) << "never beyond the data";
    }
}

TEST(Bits, BitLength) {
    EXPECT_EQ(Kvr_Bit_Length(0), 0);
    EXPECT_EQ(Kvr_Bit_Length(1), 1);
    EXPECT_EQ(Kvr_Bit_Length(24), 5);
    EXPECT_EQ(Kvr_Bit_Length(256), 9);
    EXPECT_EQ(Kvr_Bit_Length(0xFFFFFFFFu), 32);
}

KVR_BITS reader(Data& d) {
    KVR_BITS b;
    b.Open(d.p.get(), d.n);
    return b;
}

TEST(Vlc, MotionVectorDifferencesAndWrap) {
    // "001" = 2, sign 1 -> -2; "1" = 0; "0001" = 3, sign 0, f-code 2 residual bit 1 -> (3-1)*2+1+1 = 6.
    Data d({0b00111000, 0b10100000});
    KVR_BITS b = reader(d);
    EXPECT_EQ(Kvr_Read_MV_Component(&b, 1), -2);
    EXPECT_EQ(Kvr_Read_MV_Component(&b, 1), 0);
    EXPECT_EQ(Kvr_Read_MV_Component(&b, 2), 6);
    EXPECT_EQ(Kvr_Wrap_MV(30 + 5, 1), -29);
    EXPECT_EQ(Kvr_Wrap_MV(-33, 1), 31);
    EXPECT_EQ(Kvr_Wrap_MV(31, 1), 31);
    EXPECT_EQ(Kvr_Wrap_MV(-32, 1), -32);
}

TEST(Vlc, EscapedCoefficientsAndBadCodes) {
    // Escape type 3: last 1, run 2, marker, level 0x801 (-2047), marker.
    Data d({0b00000111, 0b11000010, 0b11000000, 0b00001100});
    KVR_BITS b = reader(d);
    std::int16_t blk[64] = {};
    const int mask = Kvr_Decode_Coefs(&b, blk, Kvr_Zigzag, 0, 0);
    EXPECT_EQ(blk[Kvr_Zigzag[2]], -2047);
    EXPECT_EQ(mask, 1 << (Kvr_Zigzag[2] >> 3));
    Data z({0x00, 0x00, 0x00, 0x00});
    KVR_BITS bz = reader(z);
    EXPECT_THROW(Kvr_Decode_Coefs(&bz, blk, Kvr_Zigzag, 0, 1), KVR_STREAM_EXCEPTION);
    // Escape type 1 on inter: "0000011" "0" then "10"+s (run 0 level 1, last 0) -> level 1 + 12.
    Data e1({0b00000110, 0b10001110});  // then "0111" "0": last 1, run 0, level 1
    KVR_BITS b1 = reader(e1);
    std::int16_t blk1[64] = {};
    Kvr_Decode_Coefs(&b1, blk1, Kvr_Zigzag, 0, 0);
    EXPECT_EQ(blk1[0], 13);
    EXPECT_EQ(blk1[1], 1);
}

TEST(Vlc, DquantStaysInRange) {
    Data d({0b11000000});  // "11" = +2, then "00" = -1
    KVR_BITS b = reader(d);
    EXPECT_EQ(Kvr_Read_DQuant(&b, 31), 31);
    EXPECT_EQ(Kvr_Read_DQuant(&b, 1), 1);
}

TEST(Vlc, MacroblockHeaderCodes) {
    Data d({0b10011000, 0b00000100, 0b11000000});  // intra "1" (3,0), "0011" CBPY 0, "000000001" stuffing...
    KVR_BITS b = reader(d);
    EXPECT_EQ(Kvr_Read_MCBPC_Intra(&b), 12);
    EXPECT_EQ(Kvr_Read_CBPY(&b, 1), 0);
    EXPECT_EQ(Kvr_Read_CBPY(&b, 0), -1) << "00000 is no CBPY code";
}

}  // namespace
