// Coefficients dequantised while they are parsed must equal parsing the levels and then running the
// block dequantisation kernels, for both methods, every quantiser and any bits at all (escapes,
// overlong runs, invalid codes), and must leave the reader at the same place.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "dsp_src/Kvr_Dsp.h"
#include "kvr_syst/Kvr_Bits.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {

struct Outcome {
    std::int16_t blk[64];
    std::int64_t bitPos = 0;
    bool threw = false;
};

TEST(FoldedDequant, MatchesLevelsThenTheBlockKernelsOnAnyBits) {
    std::mt19937 rng(4242);
    std::vector<std::int16_t> table(KVR_Q_TABLE_BYTES / 2);
    std::uint8_t matrix[64];
    int escapes = 0, thrown = 0;
    for (int iter = 0; iter < 20000; ++iter) {
        const int mpeg = iter & 1;
        if (mpeg) {
            for (auto& m : matrix) m = std::uint8_t(1 + rng() % 255);
            Kvr_Setup_Matrix_MPEG_C(table.data(), matrix, 0);
        } else {
            Kvr_Setup_Matrix_H263_C(table.data(), matrix, 0);
        }
        const int q = 1 + int(rng() % 31);
        // Random bits, sometimes led by escape codes so that every escape form occurs often.
        const std::size_t n = 1 + rng() % 24;
        std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[n]);  // exact size: over-reads are caught
        for (std::size_t i = 0; i < n; ++i) bytes[i] = std::uint8_t(rng());
        if (n > 3 && rng() % 3 == 0) {
            bytes[0] = 0x06;  // "0000011" escape code, then the form bits
            escapes++;
        }
        const uint8_t* scan = (rng() & 1) ? Kvr_Zigzag : Kvr_Alt_Vert;

        Outcome want, got;
        std::int16_t levels[64] = {};
        KVR_BITS a;
        a.Open(bytes.get(), n);
        int mask = 0;
        try {
            mask = Kvr_Decode_Coefs(&a, levels, scan, 0, 0);
            (mpeg ? Kvr_Dequant_Inter_MPEG_C : Kvr_Dequant_Inter_H263_C)(want.blk, levels, table.data(), q, mask);
        } catch (const KVR_STREAM_EXCEPTION&) {
            want.threw = true;
        }
        want.bitPos = a.Bit_Pos();

        std::memset(got.blk, 0, sizeof got.blk);
        KVR_BITS b;
        b.Open(bytes.get(), n);
        try {
            Kvr_Decode_Inter_Coefs(&b, got.blk, scan, mpeg, Kvr_Dequant_Mult(table.data(), q));
        } catch (const KVR_STREAM_EXCEPTION&) {
            got.threw = true;
        }
        got.bitPos = b.Bit_Pos();

        ASSERT_EQ(want.threw, got.threw) << "iteration " << iter;
        ASSERT_EQ(want.bitPos, got.bitPos) << "iteration " << iter;
        if (want.threw) {
            thrown++;
            continue;
        }
        ASSERT_EQ(0, std::memcmp(want.blk, got.blk, sizeof want.blk)) << "iteration " << iter << " q " << q;
    }
    EXPECT_GT(escapes, 1000);
    EXPECT_GT(thrown, 100) << "invalid codes were met";
    EXPECT_LT(thrown, 19000) << "most inputs decoded";
}

TEST(FoldedDequant, IntraParseReportsEveryCodedPosition) {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 5000; ++iter) {
        const std::size_t n = 1 + rng() % 24;
        std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[n]);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = std::uint8_t(rng());
        std::int16_t want[64] = {}, got[64] = {};
        KVR_BITS a, b;
        a.Open(bytes.get(), n);
        b.Open(bytes.get(), n);
        const int start = int(rng() % 2);
        bool threwA = false, threwB = false;
        std::uint64_t coded = 0;
        try {
            Kvr_Decode_Coefs(&a, want, Kvr_Zigzag, start, 1);
        } catch (const KVR_STREAM_EXCEPTION&) {
            threwA = true;
        }
        try {
            coded = Kvr_Decode_Intra_Coefs(&b, got, Kvr_Zigzag, start);
        } catch (const KVR_STREAM_EXCEPTION&) {
            threwB = true;
        }
        ASSERT_EQ(threwA, threwB);
        ASSERT_EQ(a.Bit_Pos(), b.Bit_Pos());
        if (threwA) continue;
        ASSERT_EQ(0, std::memcmp(want, got, sizeof want));
        for (int j = 0; j < 64; ++j) {
            if (got[j]) {
                ASSERT_TRUE(coded >> j & 1) << "position " << j << " has a level but is not reported";
            }
        }
    }
}

}  // namespace
