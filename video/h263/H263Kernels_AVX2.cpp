// AVX2 variants of the H.263 transform kernels: one 8-lane register per row, the column pass
// straight down the rows, the row pass between two transposes.

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

#include "video/h263/H263Kernels.h"

// Only the code below is built for AVX2; everything included above keeps the baseline target, so
// no shared inline function can end up with AVX2 instructions on a processor without them.
#pragma GCC push_options
#pragma GCC target("avx2")

#include "video/h263/IdctPass.h"

namespace vistrel::h263 {

namespace {

struct Avx2Ops {
    using V = __m256i;
    static V add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V sub(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V mul(V a, int c) { return _mm256_mullo_epi32(a, _mm256_set1_epi32(c)); }
    static V shl13(V a) { return _mm256_slli_epi32(a, 13); }
    template <int Shift>
    static V sar(V a) { return _mm256_srai_epi32(a, Shift); }
    static V splat(int c) { return _mm256_set1_epi32(c); }
};

inline __attribute__((always_inline)) void transpose8(__m256i* v) {
    __m256i t[8];
    for (int i = 0; i < 8; i += 4) {
        t[i + 0] = _mm256_unpacklo_epi32(v[i + 0], v[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(v[i + 0], v[i + 1]);
        t[i + 2] = _mm256_unpacklo_epi32(v[i + 2], v[i + 3]);
        t[i + 3] = _mm256_unpackhi_epi32(v[i + 2], v[i + 3]);
    }
    __m256i u[8];
    for (int i = 0; i < 8; i += 4) {
        u[i + 0] = _mm256_unpacklo_epi64(t[i + 0], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i + 0], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
        v[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        v[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

bool outsideLimit(const __m256i* v) {
    const __m256i high = _mm256_set1_epi32(kFastTransformLimit);
    const __m256i low = _mm256_set1_epi32(-kFastTransformLimit);
    __m256i any = _mm256_setzero_si256();
    for (int i = 0; i < 8; ++i)
        any = _mm256_or_si256(any, _mm256_or_si256(_mm256_cmpgt_epi32(v[i], high), _mm256_cmpgt_epi32(low, v[i])));
    return !_mm256_testz_si256(any, any);
}

// Pairs of rows (0-1, 2-3, ...) of the transformed block as 16-bit samples, saturated (which
// changes no clamped result).
void packPairs(const __m256i* rows, __m128i* pairs) {
    for (int i = 0; i < 4; ++i) {
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(rows[2 * i], rows[2 * i + 1]), 0xD8);
        pairs[2 * i] = _mm256_castsi256_si128(packed);
        pairs[2 * i + 1] = _mm256_extracti128_si256(packed, 1);
    }
}

// Sparse: only rows 0..3 (and in them columns 0..3) may be non-zero; rows 4..7 are not read.
template <bool Sparse>
void transform16(const std::int32_t* in, __m128i* rows16) {
    __m256i v[8];
    for (int r = 0; r < 8; ++r)
        v[r] = Sparse && r >= 4 ? _mm256_setzero_si256() : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 8 * r));
    __m256i columns[8];
    bool fast = !outsideLimit(v);
    if (fast) {
        IdctPass<Avx2Ops, kIdctColumnShift, Sparse>(v, columns);
        fast = !outsideLimit(columns);
    }
    if (fast) {
        transpose8(columns);
        IdctPass<Avx2Ops, kIdctRowShift, Sparse>(columns, v);
        transpose8(v);
    } else {
        alignas(32) std::int32_t s[64];
        InverseTransformRaster(in, s);
        for (int r = 0; r < 8; ++r) v[r] = _mm256_load_si256(reinterpret_cast<const __m256i*>(s + 8 * r));
    }
    packPairs(v, rows16);
}

template <bool Sparse>
void idctPutAvx2(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    __m128i rows[8];
    transform16<Sparse>(coefficients, rows);
    for (int r = 0; r < 8; r += 2, dst += 2 * stride) {
        const __m128i bytes = _mm_packus_epi16(rows[r], rows[r + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_unpackhi_epi64(bytes, bytes));
    }
}

inline void addTwoRows(std::uint8_t* dst, int stride, __m128i residual0, __m128i residual1) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i p0 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero);
    const __m128i p1 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst + stride)), zero);
    const __m128i bytes = _mm_packus_epi16(_mm_adds_epi16(p0, residual0), _mm_adds_epi16(p1, residual1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_unpackhi_epi64(bytes, bytes));
}

template <bool Sparse>
void idctAddAvx2(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    __m128i rows[8];
    transform16<Sparse>(coefficients, rows);
    for (int r = 0; r < 8; r += 2, dst += 2 * stride) addTwoRows(dst, stride, rows[r], rows[r + 1]);
}

}  // namespace

void FillH263KernelsAvx2(H263Kernels* k) {
    k->name = "avx2";
    k->idctPut = idctPutAvx2<false>;
    k->idctAdd = idctAddAvx2<false>;
    k->idctPutSparse = idctPutAvx2<true>;
    k->idctAddSparse = idctAddAvx2<true>;
}

}  // namespace vistrel::h263

#pragma GCC pop_options

#endif
