// The H.263 code lists and the decoding tables derived from them.

#include "video/h263/H263Tables.h"

#include <mutex>

namespace vistrel::h263 {

// The code tables keep their hand-laid rows.
// clang-format off
const std::array<std::uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const std::array<VlcCode, 9> kIntraMcbpcCodes = {{
    {1, 1}, {1, 3}, {2, 3}, {3, 3},  // INTRA, CBPC 0..3
    {1, 4}, {1, 6}, {2, 6}, {3, 6},  // INTRA+Q
    {1, 9},                          // stuffing
}};

const std::array<VlcCode, 21> kInterMcbpcCodes = {{
    {1, 1}, {3, 4}, {2, 4}, {5, 6},  // INTER
    {3, 3}, {7, 7}, {6, 7}, {5, 9},  // INTER+Q
    {2, 3}, {5, 7}, {4, 7}, {5, 8},  // INTER4V
    {3, 5}, {4, 8}, {3, 8}, {3, 7},  // INTRA
    {4, 6}, {4, 9}, {3, 9}, {2, 9},  // INTRA+Q
    {1, 9},                          // stuffing
}};

const std::array<VlcCode, 16> kCbpyCodes = {{
    {3, 4}, {5, 5}, {4, 5}, {9, 4}, {3, 5}, {7, 4}, {2, 6}, {11, 4},
    {2, 5}, {3, 6}, {5, 4}, {10, 4}, {4, 4}, {8, 4}, {6, 4}, {3, 2},
}};

const std::array<VlcCode, 33> kMvdCodes = {{
    {1, 1},   {1, 2},   {1, 3},   {1, 4},   {3, 6},   {5, 7},   {4, 7},   {3, 7},   {11, 9},
    {10, 9},  {9, 9},   {17, 10}, {16, 10}, {15, 10}, {14, 10}, {13, 10}, {12, 10}, {11, 10},
    {10, 10}, {9, 10},  {8, 10},  {7, 10},  {6, 10},  {5, 10},  {4, 10},  {7, 11},  {6, 11},
    {5, 11},  {4, 11},  {3, 11},  {2, 11},  {3, 12},  {2, 12},
}};

const std::array<VlcCode, kTcoefCount + 1> kTcoefCodes = {{
    {0x2, 2},   {0xf, 4},   {0x15, 6},  {0x17, 7},  {0x1f, 8},  {0x25, 9},  {0x24, 9},
    {0x21, 10}, {0x20, 10}, {0x7, 11},  {0x6, 11},  {0x20, 11}, {0x6, 3},   {0x14, 6},
    {0x1e, 8},  {0xf, 10},  {0x21, 11}, {0x50, 12}, {0xe, 4},   {0x1d, 8},  {0xe, 10},
    {0x51, 12}, {0xd, 5},   {0x23, 9},  {0xd, 10},  {0xc, 5},   {0x22, 9},  {0x52, 12},
    {0xb, 5},   {0xc, 10},  {0x53, 12}, {0x13, 6},  {0xb, 10},  {0x54, 12}, {0x12, 6},
    {0xa, 10},  {0x11, 6},  {0x9, 10},  {0x10, 6},  {0x8, 10},  {0x16, 7},  {0x55, 12},
    {0x15, 7},  {0x14, 7},  {0x1c, 8},  {0x1b, 8},  {0x21, 9},  {0x20, 9},  {0x1f, 9},
    {0x1e, 9},  {0x1d, 9},  {0x1c, 9},  {0x1b, 9},  {0x1a, 9},  {0x22, 11}, {0x23, 11},
    {0x56, 12}, {0x57, 12}, {0x7, 4},   {0x19, 9},  {0x5, 11},  {0xf, 6},   {0x4, 11},
    {0xe, 6},   {0xd, 6},   {0xc, 6},   {0x13, 7},  {0x12, 7},  {0x11, 7},  {0x10, 7},
    {0x1a, 8},  {0x19, 8},  {0x18, 8},  {0x17, 8},  {0x16, 8},  {0x15, 8},  {0x14, 8},
    {0x13, 8},  {0x18, 9},  {0x17, 9},  {0x16, 9},  {0x15, 9},  {0x14, 9},  {0x13, 9},
    {0x12, 9},  {0x11, 9},  {0x7, 10},  {0x6, 10},  {0x5, 10},  {0x4, 10},  {0x24, 11},
    {0x25, 11}, {0x26, 11}, {0x27, 11}, {0x58, 12}, {0x59, 12}, {0x5a, 12}, {0x5b, 12},
    {0x5c, 12}, {0x5d, 12}, {0x5e, 12}, {0x5f, 12}, {0x3, 7},
}};

const std::array<std::uint8_t, kTcoefCount> kTcoefLevel = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 1, 2, 3, 1,
    2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 1, 2, 1, 2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 2, 3, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

const std::array<std::uint8_t, kTcoefCount> kTcoefRun = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  1,  1,  1,  1,  1,  1,  2,  2,  2,
    2,  3,  3,  3,  4,  4,  4,  5,  5,  5,  6,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
    11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 0,  0,  0,  1,  1,
    2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
    23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40};
// clang-format on

namespace {

// Fills every look-ahead value that begins with `code` (of `length` bits) in a table of 2^bits.
template <typename Entry, std::size_t N>
void fillCode(std::array<Entry, N>& table, int bits, VlcCode code, const Entry& entry) {
    const int spare = bits - code.length;
    const std::size_t first = std::size_t(code.code) << spare;
    for (std::size_t i = 0; i < (std::size_t(1) << spare); ++i) table[first + i] = entry;
}

void buildTables(VlcTables& t) {
    for (int i = 0; i < 9; ++i) {
        const McbpcEntry e{std::int8_t(i == 8 ? -1 : kTypeIntra + i / 4), std::int8_t(i % 4),
                           kIntraMcbpcCodes[i].length};
        fillCode(t.intraMcbpc, kMcbpcLookahead, kIntraMcbpcCodes[i], e);
    }
    for (int i = 0; i < 21; ++i) {
        const McbpcEntry e{std::int8_t(i == 20 ? -1 : i / 4), std::int8_t(i % 4), kInterMcbpcCodes[i].length};
        fillCode(t.interMcbpc, kMcbpcLookahead, kInterMcbpcCodes[i], e);
    }
    for (int i = 0; i < 16; ++i) {
        fillCode(t.cbpy, kCbpyLookahead, kCbpyCodes[i], CbpyEntry{std::int8_t(15 - i), kCbpyCodes[i].length});
    }
    for (int i = 0; i < kTcoefCount; ++i) {
        const TcoefEntry e{kTcoefCodes[i].length, std::uint8_t(i >= kTcoefFirstLast ? 1 : 0), kTcoefRun[i],
                           kTcoefLevel[i]};
        fillCode(t.tcoef, kTcoefLookahead, kTcoefCodes[i], e);
    }
    fillCode(t.tcoef, kTcoefLookahead, kTcoefCodes[kTcoefCount],
             TcoefEntry{kTcoefCodes[kTcoefCount].length, 0, 0, 0});
    for (int i = 0; i < 33; ++i) {
        fillCode(t.mvd, kMvdLookahead, kMvdCodes[i], MvdEntry{kMvdCodes[i].length, std::uint8_t(i)});
    }
}

}  // namespace

const VlcTables& GetVlcTables() {
    // Static storage rather than a returned value: the tables are large for a small thread stack.
    static VlcTables tables{};
    static std::once_flag built;
    std::call_once(built, [] { buildTables(tables); });
    return tables;
}

}  // namespace vistrel::h263
