// SSE2 variants of the H.263 transform kernels: eight lanes as two halves, the 32-bit products
// formed from the unsigned 32 x 32 -> 64 multiply (its low half is the signed product's).

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

#include <cstdint>

#include "video/h263/H263Kernels.h"
#include "video/h263/IdctPass.h"

namespace vistrel::h263 {

namespace {

struct Lanes8 {
    __m128i lo;  // columns (or rows) 0..3
    __m128i hi;  // 4..7
};

inline __m128i mullo32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

struct Sse2Ops {
    using V = Lanes8;
    static V add(V a, V b) { return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)}; }
    static V sub(V a, V b) { return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)}; }
    static V mul(V a, int c) {
        const __m128i k = _mm_set1_epi32(c);
        return {mullo32(a.lo, k), mullo32(a.hi, k)};
    }
    static V shl13(V a) { return {_mm_slli_epi32(a.lo, 13), _mm_slli_epi32(a.hi, 13)}; }
    template <int Shift>
    static V sar(V a) { return {_mm_srai_epi32(a.lo, Shift), _mm_srai_epi32(a.hi, Shift)}; }
    static V splat(int c) { return {_mm_set1_epi32(c), _mm_set1_epi32(c)}; }
};

inline void transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
    const __m128i t0 = _mm_unpacklo_epi32(a, b);
    const __m128i t1 = _mm_unpacklo_epi32(c, d);
    const __m128i t2 = _mm_unpackhi_epi32(a, b);
    const __m128i t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
}

void transpose8(Lanes8* v) {
    transpose4(v[0].lo, v[1].lo, v[2].lo, v[3].lo);
    transpose4(v[0].hi, v[1].hi, v[2].hi, v[3].hi);
    transpose4(v[4].lo, v[5].lo, v[6].lo, v[7].lo);
    transpose4(v[4].hi, v[5].hi, v[6].hi, v[7].hi);
    for (int i = 0; i < 4; ++i) {
        const __m128i t = v[i].hi;
        v[i].hi = v[4 + i].lo;
        v[4 + i].lo = t;
    }
}

bool outsideLimit(const Lanes8* v) {
    const __m128i high = _mm_set1_epi32(kFastTransformLimit);
    const __m128i low = _mm_set1_epi32(-kFastTransformLimit);
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < 8; ++i) {
        any = _mm_or_si128(any, _mm_or_si128(_mm_cmpgt_epi32(v[i].lo, high), _mm_cmplt_epi32(v[i].lo, low)));
        any = _mm_or_si128(any, _mm_or_si128(_mm_cmpgt_epi32(v[i].hi, high), _mm_cmplt_epi32(v[i].hi, low)));
    }
    return _mm_movemask_epi8(any) != 0;
}

// Rows of the transformed block as eight 16-bit samples each (saturated, which changes no clamped
// result); false when the reference must be used.
template <bool Sparse>
bool transform16(const std::int32_t* in, __m128i* rows) {
    Lanes8 v[8];
    for (int r = 0; r < 8; ++r) {
        v[r].lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
        v[r].hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r + 4));
    }
    if (outsideLimit(v)) return false;
    Lanes8 columns[8];
    IdctPass<Sse2Ops, kIdctColumnShift, Sparse>(v, columns);
    if (outsideLimit(columns)) return false;
    transpose8(columns);
    Lanes8 out[8];
    IdctPass<Sse2Ops, kIdctRowShift, Sparse>(columns, out);
    transpose8(out);
    for (int r = 0; r < 8; ++r) rows[r] = _mm_packs_epi32(out[r].lo, out[r].hi);
    return true;
}

void referenceRows(const std::int32_t* in, __m128i* rows) {
    alignas(16) std::int32_t s[64];
    InverseTransformRaster(in, s);
    for (int r = 0; r < 8; ++r) {
        rows[r] = _mm_packs_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(s + 8 * r)),
                                  _mm_load_si128(reinterpret_cast<const __m128i*>(s + 8 * r + 4)));
    }
}

template <bool Sparse>
void idctPutSse2(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    __m128i rows[8];
    if (!transform16<Sparse>(coefficients, rows)) referenceRows(coefficients, rows);
    for (int r = 0; r < 8; ++r, dst += stride)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(rows[r], rows[r]));
}

inline void addRow(std::uint8_t* dst, __m128i residual) {
    const __m128i prediction =
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), _mm_setzero_si128());
    const __m128i sum = _mm_adds_epi16(prediction, residual);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(sum, sum));
}

template <bool Sparse>
void idctAddSse2(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    __m128i rows[8];
    if (!transform16<Sparse>(coefficients, rows)) referenceRows(coefficients, rows);
    for (int r = 0; r < 8; ++r, dst += stride) addRow(dst, rows[r]);
}

void dcAddSse2(std::int32_t dc, std::uint8_t* dst, int stride) {
    const std::int32_t v = DcOnlyValue(dc);
    // Saturating to 16 bits changes no clamped sample.
    const __m128i value = _mm_set1_epi16(std::int16_t(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)));
    for (int r = 0; r < 8; ++r, dst += stride) addRow(dst, value);
}

}  // namespace

void FillH263KernelsSse2(H263Kernels* k) {
    k->name = "sse2";
    k->idctPut = idctPutSse2<false>;
    k->idctAdd = idctAddSse2<false>;
    k->idctPutSparse = idctPutSse2<true>;
    k->idctAddSparse = idctAddSse2<true>;
    k->dcAdd = dcAddSse2;
}

}  // namespace vistrel::h263

#endif
