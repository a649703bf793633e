// Variable-length code tables of the MPEG-4 visual syntax and their look-up readers.
#include <cstring>

#include "kvr_syst/Kvr_Except.h"
#include "mpg_src/Kvr_MP4_MB.h"

namespace {

struct CODE {
    const char* Bits;
    int Last, Run, Level;
};

// Coefficient codes of inter blocks (sign bit follows each code).
// The code tables keep their hand-laid rows.
// clang-format off
const CODE Inter_Codes[] = {
    {"10", 0, 0, 1}, {"1111", 0, 0, 2}, {"010101", 0, 0, 3}, {"0010111", 0, 0, 4},
    {"00011111", 0, 0, 5}, {"000100101", 0, 0, 6}, {"000100100", 0, 0, 7}, {"0000100001", 0, 0, 8},
    {"0000100000", 0, 0, 9}, {"00000000111", 0, 0, 10}, {"00000000110", 0, 0, 11}, {"00000100000", 0, 0, 12},
    {"110", 0, 1, 1}, {"010100", 0, 1, 2}, {"00011110", 0, 1, 3}, {"0000001111", 0, 1, 4},
    {"00000100001", 0, 1, 5}, {"000001010000", 0, 1, 6},
    {"1110", 0, 2, 1}, {"00011101", 0, 2, 2}, {"0000001110", 0, 2, 3}, {"000001010001", 0, 2, 4},
    {"01101", 0, 3, 1}, {"000100011", 0, 3, 2}, {"0000001101", 0, 3, 3},
    {"01100", 0, 4, 1}, {"000100010", 0, 4, 2}, {"000001010010", 0, 4, 3},
    {"01011", 0, 5, 1}, {"0000001100", 0, 5, 2}, {"000001010011", 0, 5, 3},
    {"010011", 0, 6, 1}, {"0000001011", 0, 6, 2}, {"000001010100", 0, 6, 3},
    {"010010", 0, 7, 1}, {"0000001010", 0, 7, 2}, {"010001", 0, 8, 1}, {"0000001001", 0, 8, 2},
    {"010000", 0, 9, 1}, {"0000001000", 0, 9, 2}, {"0010110", 0, 10, 1}, {"000001010101", 0, 10, 2},
    {"0010101", 0, 11, 1}, {"0010100", 0, 12, 1}, {"00011100", 0, 13, 1}, {"00011011", 0, 14, 1},
    {"000100001", 0, 15, 1}, {"000100000", 0, 16, 1}, {"000011111", 0, 17, 1}, {"000011110", 0, 18, 1},
    {"000011101", 0, 19, 1}, {"000011100", 0, 20, 1}, {"000011011", 0, 21, 1}, {"000011010", 0, 22, 1},
    {"00000100010", 0, 23, 1}, {"00000100011", 0, 24, 1}, {"000001010110", 0, 25, 1}, {"000001010111", 0, 26, 1},
    {"0111", 1, 0, 1}, {"000011001", 1, 0, 2}, {"00000000101", 1, 0, 3},
    {"001111", 1, 1, 1}, {"00000000100", 1, 1, 2}, {"001110", 1, 2, 1}, {"001101", 1, 3, 1},
    {"001100", 1, 4, 1}, {"0010011", 1, 5, 1}, {"0010010", 1, 6, 1}, {"0010001", 1, 7, 1},
    {"0010000", 1, 8, 1}, {"00011010", 1, 9, 1}, {"00011001", 1, 10, 1}, {"00011000", 1, 11, 1},
    {"00010111", 1, 12, 1}, {"00010110", 1, 13, 1}, {"00010101", 1, 14, 1}, {"00010100", 1, 15, 1},
    {"00010011", 1, 16, 1}, {"000011000", 1, 17, 1}, {"000010111", 1, 18, 1}, {"000010110", 1, 19, 1},
    {"000010101", 1, 20, 1}, {"000010100", 1, 21, 1}, {"000010011", 1, 22, 1}, {"000010010", 1, 23, 1},
    {"000010001", 1, 24, 1}, {"0000000111", 1, 25, 1}, {"0000000110", 1, 26, 1}, {"0000000101", 1, 27, 1},
    {"0000000100", 1, 28, 1}, {"00000100100", 1, 29, 1}, {"00000100101", 1, 30, 1}, {"00000100110", 1, 31, 1},
    {"00000100111", 1, 32, 1}, {"000001011000", 1, 33, 1}, {"000001011001", 1, 34, 1}, {"000001011010", 1, 35, 1},
    {"000001011011", 1, 36, 1}, {"000001011100", 1, 37, 1}, {"000001011101", 1, 38, 1}, {"000001011110", 1, 39, 1},
    {"000001011111", 1, 40, 1},
};

// Coefficient codes of intra blocks: the same code words with other meanings.
const CODE Intra_Codes[] = {
    {"10", 0, 0, 1},
    {"110", 0, 0, 2},
    {"1111", 0, 0, 3},
    {"01101", 0, 0, 4},
    {"01100", 0, 0, 5},
    {"010101", 0, 0, 6},
    {"010011", 0, 0, 7},
    {"010010", 0, 0, 8},
    {"0010111", 0, 0, 9},
    {"00011111", 0, 0, 10},
    {"00011110", 0, 0, 11},
    {"00011101", 0, 0, 12},
    {"000100101", 0, 0, 13},
    {"000100100", 0, 0, 14},
    {"000100011", 0, 0, 15},
    {"000100001", 0, 0, 16},
    {"0000100001", 0, 0, 17},
    {"0000100000", 0, 0, 18},
    {"0000001111", 0, 0, 19},
    {"0000001110", 0, 0, 20},
    {"00000000111", 0, 0, 21},
    {"00000000110", 0, 0, 22},
    {"00000100000", 0, 0, 23},
    {"00000100001", 0, 0, 24},
    {"000001010000", 0, 0, 25},
    {"000001010001", 0, 0, 26},
    {"000001010010", 0, 0, 27},
    {"1110", 0, 1, 1},
    {"010100", 0, 1, 2},
    {"0010110", 0, 1, 3},
    {"00011100", 0, 1, 4},
    {"000100000", 0, 1, 5},
    {"000011111", 0, 1, 6},
    {"0000001101", 0, 1, 7},
    {"00000100010", 0, 1, 8},
    {"000001010011", 0, 1, 9},
    {"000001010101", 0, 1, 10},
    {"01011", 0, 2, 1},
    {"0010101", 0, 2, 2},
    {"000011110", 0, 2, 3},
    {"0000001100", 0, 2, 4},
    {"000001010110", 0, 2, 5},
    {"010001", 0, 3, 1},
    {"00011011", 0, 3, 2},
    {"000011101", 0, 3, 3},
    {"0000001011", 0, 3, 4},
    {"010000", 0, 4, 1},
    {"000100010", 0, 4, 2},
    {"0000001010", 0, 4, 3},
    {"001101", 0, 5, 1},
    {"000011100", 0, 5, 2},
    {"0000001000", 0, 5, 3},
    {"0010010", 0, 6, 1},
    {"000011011", 0, 6, 2},
    {"000001010100", 0, 6, 3},
    {"0010100", 0, 7, 1},
    {"000011010", 0, 7, 2},
    {"000001010111", 0, 7, 3},
    {"00011001", 0, 8, 1},
    {"0000001001", 0, 8, 2},
    {"00011000", 0, 9, 1},
    {"00000100011", 0, 9, 2},
    {"00010111", 0, 10, 1},
    {"000011001", 0, 11, 1},
    {"000011000", 0, 12, 1},
    {"0000000111", 0, 13, 1},
    {"000001011000", 0, 14, 1},
    {"0111", 1, 0, 1},
    {"001100", 1, 0, 2},
    {"00010110", 1, 0, 3},
    {"000010111", 1, 0, 4},
    {"0000000110", 1, 0, 5},
    {"00000000101", 1, 0, 6},
    {"00000000100", 1, 0, 7},
    {"000001011001", 1, 0, 8},
    {"001111", 1, 1, 1},
    {"000010110", 1, 1, 2},
    {"0000000101", 1, 1, 3},
    {"001110", 1, 2, 1},
    {"0000000100", 1, 2, 2},
    {"0010001", 1, 3, 1},
    {"00000100100", 1, 3, 2},
    {"0010000", 1, 4, 1},
    {"00000100101", 1, 4, 2},
    {"0010011", 1, 5, 1},
    {"000001011010", 1, 5, 2},
    {"00010101", 1, 6, 1},
    {"000001011011", 1, 6, 2},
    {"00010100", 1, 7, 1},
    {"00010011", 1, 8, 1},
    {"00011010", 1, 9, 1},
    {"000010101", 1, 10, 1},
    {"000010100", 1, 11, 1},
    {"000010011", 1, 12, 1},
    {"000010010", 1, 13, 1},
    {"000010001", 1, 14, 1},
    {"00000100110", 1, 15, 1},
    {"00000100111", 1, 16, 1},
    {"000001011100", 1, 17, 1},
    {"000001011101", 1, 18, 1},
    {"000001011110", 1, 19, 1},
    {"000001011111", 1, 20, 1},
};

const char* const Escape_Bits = "0000011";

// MCBPC of I-VOPs: index = (MB type - 3) * 4 + CBPC.
const char* const MCBPC_Intra[8] = {"1", "001", "010", "011", "0001", "000001", "000010", "000011"};
// MCBPC of P-VOPs: index = MB type * 4 + CBPC.
const char* const MCBPC_Inter[20] = {
    "1", "0011", "0010", "000101", "011", "0000111", "0000110", "000000101",
    "010", "0000101", "0000100", "00000101", "00011", "00000100", "00000011", "0000011",
    "000100", "000000100", "000000011", "000000010"};
// CBPY for intra macroblocks (inter ones invert the pattern).
const char* const CBPY_Codes[16] = {"0011", "00101", "00100", "1001", "00011", "0111", "000010", "1011",
                                    "00010", "000011", "0101", "1010", "0100", "1000", "0110", "11"};
// Motion vector differences 0..32 (sign bit follows every non-zero one).
const char* const MVD_Codes[33] = {
    "1", "01", "001", "0001", "000011", "0000101", "0000100", "0000011", "000001011", "000001010",
    "000001001", "0000010001", "0000010000", "0000001111", "0000001110", "0000001101", "0000001100",
    "0000001011", "0000001010", "0000001001", "0000001000", "0000000111", "0000000110", "0000000101",
    "0000000100", "00000000111", "00000000110", "00000000101", "00000000100", "00000000011",
    "00000000010", "000000000011", "000000000010"};
// Intra DC sizes 0..12.
const char* const DC_Luma_Codes[13] = {"011", "11", "10", "010", "001", "0001", "00001", "000001",
                                       "0000001", "00000001", "000000001", "0000000001", "00000000001"};
const char* const DC_Chroma_Codes[13] = {"11", "10", "01", "001", "0001", "00001", "000001", "0000001",
                                         "00000001", "000000001", "0000000001", "00000000001",
                                         "000000000001"};

// A look-up entry: Len 0 = no such code.
struct ENTRY { int16_t Val; uint8_t Len; };

template <int BITS>
struct LUT {
    ENTRY E[1 << BITS];
    void Add(const char* Code, int Val) {
        const int L = int(std::strlen(Code));
        uint32_t V = 0;
        for (int i = 0; i < L; ++i) V = (V << 1) | uint32_t(Code[i] - '0');
        const int Free = BITS - L;
        for (uint32_t k = 0; k < (1u << Free); ++k) E[(V << Free) | k] = ENTRY{int16_t(Val), uint8_t(L)};
    }
};
// clang-format on

// Coefficient entry: Last, Run, Level, Len; Escape set for the escape code.
struct TCOEF {
    uint8_t Last, Run, Level, Len, Escape;
};
const int TCOEF_BITS = 12;

struct TABLES {
    LUT<9> Mcbpc_I;
    LUT<9> Mcbpc_P;
    LUT<6> Cbpy;
    LUT<12> Mvd;
    LUT<11> Dc_Luma;
    LUT<12> Dc_Chroma;
    TCOEF Coef[2][1 << TCOEF_BITS];  // [intra]
    uint8_t Lmax[2][2][64];          // [intra][last][run]
    uint8_t Rmax[2][2][64];          // [intra][last][level]

    TABLES() {
        std::memset(this, 0, sizeof(*this));
        for (int i = 0; i < 8; ++i) Mcbpc_I.Add(MCBPC_Intra[i], 12 + i);
        Mcbpc_I.Add("000000001", -2);
        for (int i = 0; i < 20; ++i) Mcbpc_P.Add(MCBPC_Inter[i], i);
        Mcbpc_P.Add("000000001", -2);
        for (int i = 0; i < 16; ++i) Cbpy.Add(CBPY_Codes[i], i);
        for (int i = 0; i < 33; ++i) Mvd.Add(MVD_Codes[i], i);
        for (int i = 0; i < 13; ++i) Dc_Luma.Add(DC_Luma_Codes[i], i);
        for (int i = 0; i < 13; ++i) Dc_Chroma.Add(DC_Chroma_Codes[i], i);
        Fill(0, Inter_Codes, sizeof(Inter_Codes) / sizeof(CODE));
        Fill(1, Intra_Codes, sizeof(Intra_Codes) / sizeof(CODE));
    }
    void Fill(int Intra, const CODE* C, size_t N) {
        for (size_t i = 0; i < N; ++i) {
            Put(Intra, C[i].Bits, TCOEF{uint8_t(C[i].Last), uint8_t(C[i].Run), uint8_t(C[i].Level), 0, 0});
            uint8_t& Lm = Lmax[Intra][C[i].Last][C[i].Run];
            if (C[i].Level > Lm) Lm = uint8_t(C[i].Level);
            uint8_t& Rm = Rmax[Intra][C[i].Last][C[i].Level];
            if (C[i].Run > Rm) Rm = uint8_t(C[i].Run);
        }
        Put(Intra, Escape_Bits, TCOEF{0, 0, 0, 0, 1});
    }
    void Put(int Intra, const char* Code, TCOEF T) {
        const int L = int(std::strlen(Code));
        uint32_t V = 0;
        for (int i = 0; i < L; ++i) V = (V << 1) | uint32_t(Code[i] - '0');
        T.Len = uint8_t(L);
        const int Free = TCOEF_BITS - L;
        for (uint32_t k = 0; k < (1u << Free); ++k) Coef[Intra][(V << Free) | k] = T;
    }
};

const TABLES& Tab() {
    static const TABLES* T = new TABLES();  // built once, kept for the life of the process
    return *T;
}
// Built before main so that no decoding thread races on the first use.
const TABLES& Tab_Init = Tab();

template <int BITS>
int Read_LUT(KVR_BITS* B, const LUT<BITS>& L) {
    const ENTRY& E = L.E[B->See(BITS)];
    if (E.Len == 0) return -1;
    B->Skip_Loaded(E.Len);
    return E.Val;
}

[[noreturn]] void Bad_Code(const char* What) { throw KVR_STREAM_EXCEPTION("Invalid %s code", What); }

}  // namespace

int Kvr_Read_MCBPC_Intra(KVR_BITS* B) {
    for (;;) {
        const int V = Read_LUT(B, Tab().Mcbpc_I);
        if (V != -2) return V;
        if (B->Overread()) return -1;
    }
}

int Kvr_Read_MCBPC_Inter(KVR_BITS* B) { return Read_LUT(B, Tab().Mcbpc_P); }

int Kvr_Read_CBPY(KVR_BITS* B, int Intra) {
    const int V = Read_LUT(B, Tab().Cbpy);
    if (V < 0) return V;
    return Intra ? V : V ^ 15;
}

int Kvr_Read_DQuant(KVR_BITS* B, int Quant) {
    static const int Delta[4] = {-1, -2, 1, 2};
    Quant += Delta[B->Get(2)];
    return Quant < 1 ? 1 : (Quant > 31 ? 31 : Quant);
}

int Kvr_Read_MV_Component(KVR_BITS* B, int F_Code) {
    const int V = Read_LUT(B, Tab().Mvd);
    if (V < 0) Bad_Code("motion vector");
    if (V == 0) return 0;
    const int Sign = int(B->Get1());
    const int Shift = F_Code - 1;
    int M = V;
    if (Shift > 0) M = ((V - 1) << Shift) + int(B->Get(Shift)) + 1;
    return Sign ? -M : M;
}

int Kvr_Wrap_MV(int V, int F_Code) {
    const int Range = 32 << F_Code;
    const int Low = -(16 << F_Code), High = (16 << F_Code) - 1;
    if (V < Low) V += Range;
    else if (V > High) V -= Range;
    return V;
}

int Kvr_Read_DC_Size(KVR_BITS* B, int Chroma) {
    return Chroma ? Read_LUT(B, Tab().Dc_Chroma) : Read_LUT(B, Tab().Dc_Luma);
}

namespace {
// The marker bits of the fixed-length escape: after the run and after the level.
const uint32_t KVR_ESC3_MARKERS = (1u << 13) | 1u;

// The three escape forms after the escape code: level offset, run offset, fixed length.
__attribute__((always_inline)) inline void Escaped(KVR_BITS* B, const TCOEF* T, const TABLES& Tb, int Intra,
                                                   int* Last, int* Run, int* Level) {
    if (B->Get1() == 0) {
        const TCOEF* E = &T[B->See(TCOEF_BITS)];
        if (E->Len == 0 || E->Escape) Bad_Code("escaped coefficient");
        B->Skip_Loaded(E->Len);
        *Last = E->Last;
        *Run = E->Run;
        *Level = E->Level + Tb.Lmax[Intra][E->Last][E->Run];
        if (B->Get1()) *Level = -*Level;
    } else if (B->Get1() == 0) {
        const TCOEF* E = &T[B->See(TCOEF_BITS)];
        if (E->Len == 0 || E->Escape) Bad_Code("escaped coefficient");
        B->Skip_Loaded(E->Len);
        *Last = E->Last;
        *Run = E->Run + Tb.Rmax[Intra][E->Last][E->Level] + 1;
        *Level = B->Get1() ? -E->Level : E->Level;
    } else {
        const uint32_t V = B->Get(21);
        // Both marker bits are always written; damaged data finds a zero there long before a code goes invalid.
        if ((V & KVR_ESC3_MARKERS) != KVR_ESC3_MARKERS) Bad_Code("fixed-length coefficient");
        *Last = int(V >> 20);
        *Run = int((V >> 14) & 63);
        *Level = int((V >> 1) & 0xFFF);
        if (*Level & 0x800) *Level -= 0x1000;
    }
}

// The coefficient loop shared by every block kind: Store(Idx, Level) receives each coded level at its
// raster position (levels of 0, which only the fixed-length escape can code, included).
template <typename STORE>
inline void Coef_Loop_Local(KVR_BITS* B, const uint8_t* Scan, int Pos, int Intra, STORE&& Store) {
    const TABLES& Tb = Tab();
    const TCOEF* T = Tb.Coef[Intra ? 1 : 0];
    for (;;) {
        // One refill check covers a table code (12 bits at most) and its sign bit.
        B->Need(32);
        const TCOEF* E = &T[B->See_Loaded(TCOEF_BITS)];
        int Last, Run, Level;
        if (E->Len != 0 && !E->Escape) {
            const int Len = E->Len + 1;
            const int Negative = int(B->See_Loaded(Len) & 1);
            B->Skip_Loaded(Len);
            Last = E->Last;
            Run = E->Run;
            Level = Negative ? -E->Level : E->Level;
        } else {
            if (E->Len == 0) Bad_Code("coefficient");
            B->Skip_Loaded(E->Len);
            Escaped(B, T, Tb, Intra ? 1 : 0, &Last, &Run, &Level);
        }
        Pos += Run;
        // A run past the block's end is never written: the data is damaged (often the first sign of it).
        if (Pos > 63) Bad_Code("coefficient run");
        Store(Scan[Pos++], Level);
        if (Last) break;
    }
}

// The loop runs on a local copy of the reader, which the compiler keeps in registers (through the
// caller's pointer every store to the block would have to be ordered with the reader's fields); the
// position is handed back on every way out, a thrown error included.
template <typename STORE>
inline void Coef_Loop(KVR_BITS* B, const uint8_t* Scan, int Pos, int Intra, STORE&& Store) {
    KVR_BITS R = *B;
    try {
        Coef_Loop_Local(&R, Scan, Pos, Intra, Store);
    } catch (...) {
        *B = R;
        throw;
    }
    *B = R;
}
}  // namespace

int Kvr_Decode_Coefs(KVR_BITS* B, int16_t* Blk, const uint8_t* Scan, int Pos, int Intra) {
    int Mask = 0;
    Coef_Loop(B, Scan, Pos, Intra, [&](int Idx, int Level) {
        Blk[Idx] = int16_t(Level);
        Mask |= 1 << (Idx >> 3);
    });
    return Mask;
}

uint64_t Kvr_Decode_Intra_Coefs(KVR_BITS* B, int16_t* Lev, const uint8_t* Scan, int Pos) {
    uint64_t Coded = 0;
    Coef_Loop(B, Scan, Pos, 1, [&](int Idx, int Level) {
        Lev[Idx] = int16_t(Level);
        Coded |= uint64_t(1) << Idx;
    });
    return Coded;
}

void Kvr_Decode_Inter_Coefs(KVR_BITS* B, int16_t* Blk, const uint8_t* Scan, int Mpeg, const int16_t* M) {
    if (!Mpeg) {
        Coef_Loop(B, Scan, 0, 0, [&](int Idx, int Level) {
            if (Level) Blk[Idx] = int16_t(Kvr_Dequant_H263(Level, M, Idx));
        });
        return;
    }
    int Sum = 0;
    Coef_Loop(B, Scan, 0, 0, [&](int Idx, int Level) {
        if (!Level) return;
        const int V = Kvr_Dequant_MPEG_Inter(Level, M, Idx);
        Blk[Idx] = int16_t(V);
        Sum ^= V;
    });
    // Mismatch control: an even sum of the coefficients flips the lowest bit of the last one.
    if ((Sum & 1) == 0) Blk[63] = int16_t(Blk[63] ^ 1);
}
