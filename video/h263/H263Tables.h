#pragma once
// H.263 variable-length code tables: the code lists (shared with the test-stream encoder) and the
// look-up tables the macroblock layer decodes with.

#include <array>
#include <cstdint>

namespace vistrel::h263 {

struct VlcCode {
    std::uint16_t code;
    std::uint8_t length;
};

// Scan position -> raster position of the classic 8x8 zig-zag order.
extern const std::array<std::uint8_t, 64> kZigzag;

// Macroblock types as the macroblock layer numbers them.
enum MacroblockType : int {
    kTypeInter = 0,
    kTypeInterQ = 1,
    kTypeInter4V = 2,
    kTypeIntra = 3,
    kTypeIntraQ = 4,
};

// MCBPC of intra pictures, index = (type - kTypeIntra) * 4 + CBPC; index 8 is stuffing.
extern const std::array<VlcCode, 9> kIntraMcbpcCodes;
// MCBPC of predicted pictures, index = type * 4 + CBPC; index 20 is stuffing.
extern const std::array<VlcCode, 21> kInterMcbpcCodes;
// CBPY indexed by the intra meaning of the pattern (bit set = block coded).
extern const std::array<VlcCode, 16> kCbpyCodes;
// MVD indexed by the magnitude of the difference in half samples (0..32); a sign bit follows
// every code but the one of 0 (1 = negative).
extern const std::array<VlcCode, 33> kMvdCodes;

// Transform coefficients: 102 (last, run, level) codes, each followed by a sign bit, then ESCAPE.
constexpr int kTcoefCount = 102;
extern const std::array<VlcCode, kTcoefCount + 1> kTcoefCodes;  // [kTcoefCount] = ESCAPE
extern const std::array<std::uint8_t, kTcoefCount> kTcoefRun;
extern const std::array<std::uint8_t, kTcoefCount> kTcoefLevel;
constexpr int kTcoefFirstLast = 58;  // entries from here on have last = 1

// Decoding look-up tables, indexed by a fixed number of look-ahead bits. An entry with length 0
// marks a code that does not exist.
struct McbpcEntry {
    std::int8_t type;  // -1 = stuffing
    std::int8_t cbpc;
    std::uint8_t length;
};
struct CbpyEntry {
    std::int8_t value;  // predicted-macroblock meaning (15 minus the intra meaning)
    std::uint8_t length;
};
struct TcoefEntry {
    std::uint8_t length;  // 0 = invalid code
    std::uint8_t last;
    std::uint8_t run;
    std::uint8_t level;  // 0 = ESCAPE
};
struct MvdEntry {
    std::uint8_t length;  // code length without the sign bit; 0 = invalid code
    std::uint8_t magnitude;
};

constexpr int kMcbpcLookahead = 9;
constexpr int kCbpyLookahead = 6;
constexpr int kTcoefLookahead = 12;
constexpr int kMvdLookahead = 12;

struct VlcTables {
    std::array<McbpcEntry, 1 << kMcbpcLookahead> intraMcbpc;
    std::array<McbpcEntry, 1 << kMcbpcLookahead> interMcbpc;
    std::array<CbpyEntry, 1 << kCbpyLookahead> cbpy;
    std::array<TcoefEntry, 1 << kTcoefLookahead> tcoef;
    std::array<MvdEntry, 1 << kMvdLookahead> mvd;
};

// Built on first use (thread-safe), never freed.
const VlcTables& GetVlcTables();

}  // namespace vistrel::h263
