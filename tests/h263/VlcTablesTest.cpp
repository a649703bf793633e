#include <gtest/gtest.h>

#include "video/h263/H263Tables.h"

using namespace vistrel::h263;

namespace {

template <std::size_t N>
void expectPrefixFree(const std::array<VlcCode, N>& codes, const char* name) {
    double kraft = 0;
    for (std::size_t i = 0; i < N; ++i) {
        kraft += 1.0 / double(1u << codes[i].length);
        for (std::size_t j = 0; j < N; ++j) {
            if (i == j) continue;
            const VlcCode& a = codes[i];
            const VlcCode& b = codes[j];
            if (a.length > b.length) continue;
            EXPECT_NE(b.code >> (b.length - a.length), a.code)
                << name << ": code " << i << " is a prefix of " << j;
        }
    }
    EXPECT_LE(kraft, 1.0) << name;
}

}  // namespace

TEST(H263VlcTables, CodeListsArePrefixFree) {
    expectPrefixFree(kIntraMcbpcCodes, "intra MCBPC");
    expectPrefixFree(kInterMcbpcCodes, "inter MCBPC");
    expectPrefixFree(kCbpyCodes, "CBPY");
    expectPrefixFree(kMvdCodes, "MVD");
    expectPrefixFree(kTcoefCodes, "TCOEF");
}

TEST(H263VlcTables, LookupTablesDecodeEveryCodeToItsMeaning) {
    const VlcTables& t = GetVlcTables();
    for (int i = 0; i < 20; ++i) {
        const VlcCode c = kInterMcbpcCodes[i];
        const McbpcEntry& e = t.interMcbpc[std::size_t(c.code) << (kMcbpcLookahead - c.length)];
        EXPECT_EQ(e.type, i / 4);
        EXPECT_EQ(e.cbpc, i % 4);
        EXPECT_EQ(e.length, c.length);
    }
    for (int i = 0; i < 8; ++i) {
        const VlcCode c = kIntraMcbpcCodes[i];
        const McbpcEntry& e = t.intraMcbpc[std::size_t(c.code) << (kMcbpcLookahead - c.length)];
        EXPECT_EQ(e.type, kTypeIntra + i / 4);
        EXPECT_EQ(e.cbpc, i % 4);
    }
    for (int i = 0; i < 16; ++i) {
        const VlcCode c = kCbpyCodes[i];
        EXPECT_EQ(t.cbpy[std::size_t(c.code) << (kCbpyLookahead - c.length)].value, 15 - i);
    }
    for (int i = 0; i < 33; ++i) {
        const VlcCode c = kMvdCodes[i];
        const MvdEntry& e = t.mvd[std::size_t(c.code) << (kMvdLookahead - c.length)];
        EXPECT_EQ(e.magnitude, i);
        EXPECT_EQ(e.length, c.length);
    }
    for (int i = 0; i <= kTcoefCount; ++i) {
        const VlcCode c = kTcoefCodes[i];
        const TcoefEntry& e = t.tcoef[std::size_t(c.code) << (kTcoefLookahead - c.length)];
        EXPECT_EQ(e.length, c.length) << i;
        if (i == kTcoefCount) {
            EXPECT_EQ(e.level, 0);  // ESCAPE
        } else {
            EXPECT_EQ(e.run, kTcoefRun[i]);
            EXPECT_EQ(e.level, kTcoefLevel[i]);
            EXPECT_EQ(e.last, i >= kTcoefFirstLast ? 1 : 0);
        }
    }
}
