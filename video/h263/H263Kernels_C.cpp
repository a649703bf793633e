// The plain C variants of the H.263 transform kernels: 32-bit arithmetic with the all-zero column
// and row short cuts, falling back to the 64-bit reference for values beyond its range.

#include <cstdint>
#include <cstring>

#include "video/h263/BlockReconstruction.h"
#include "video/h263/H263Kernels.h"
#include "video/h263/IdctPass.h"

namespace vistrel::h263 {

namespace {

struct ScalarOps {
    using V = std::int32_t;
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mul(V a, int c) { return a * c; }
    static V shl13(V a) { return a * 8192; }
    template <int Shift>
    static V sar(V a) { return a >> Shift; }
    static V splat(int c) { return c; }
};

std::uint8_t clamp64(std::int64_t v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

bool withinLimit(const std::int32_t* v) {
    for (int i = 0; i < 64; ++i) {
        if (v[i] > kFastTransformLimit || v[i] < -kFastTransformLimit) return false;
    }
    return true;
}

// False when the values leave the range the 32-bit passes are exact for.
bool transform32(const std::int32_t* in, std::int32_t* out) {
    if (!withinLimit(in)) return false;
    std::int32_t columns[64];
    for (int c = 0; c < 8; ++c) {
        std::int32_t v[8];
        for (int r = 0; r < 8; ++r) v[r] = in[8 * r + c];
        std::int32_t o[8];
        if ((v[1] | v[2] | v[3] | v[4] | v[5] | v[6] | v[7]) == 0) {
            for (int r = 0; r < 8; ++r) o[r] = v[0] * 4;
        } else {
            IdctPass<ScalarOps, kIdctColumnShift>(v, o);
        }
        for (int r = 0; r < 8; ++r) columns[8 * r + c] = o[r];
    }
    if (!withinLimit(columns)) return false;
    for (int r = 0; r < 8; ++r) {
        const std::int32_t* v = columns + 8 * r;
        std::int32_t* o = out + 8 * r;
        if ((v[1] | v[2] | v[3] | v[4] | v[5] | v[6] | v[7]) == 0) {
            const std::int32_t dc = (v[0] + 16) >> 5;
            for (int c = 0; c < 8; ++c) o[c] = dc;
        } else {
            IdctPass<ScalarOps, kIdctRowShift>(v, o);
        }
    }
    return true;
}

void transform(const std::int32_t* in, std::int32_t* out) {
    if (!transform32(in, out)) InverseTransformRaster(in, out);
}

void idctPutC(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    std::int32_t s[64];
    transform(coefficients, s);
    for (int r = 0; r < 8; ++r, dst += stride) {
        for (int c = 0; c < 8; ++c) dst[c] = ClampSample(s[8 * r + c]);
    }
}

void idctAddC(const std::int32_t* coefficients, std::uint8_t* dst, int stride) {
    std::int32_t s[64];
    transform(coefficients, s);
    for (int r = 0; r < 8; ++r, dst += stride) {
        for (int c = 0; c < 8; ++c) dst[c] = clamp64(std::int64_t(dst[c]) + s[8 * r + c]);
    }
}

void dcAddC(std::int32_t dc, std::uint8_t* dst, int stride) {
    const std::int64_t v = DcOnlyValue(dc);
    for (int r = 0; r < 8; ++r, dst += stride) {
        for (int c = 0; c < 8; ++c) dst[c] = clamp64(dst[c] + v);
    }
}

}  // namespace

void FillH263KernelsC(H263Kernels* k) {
    k->name = "c";
    k->idctPut = idctPutC;
    k->idctAdd = idctAddC;
    // The all-zero column and row short cuts already make sparse blocks cheap here.
    k->idctPutSparse = idctPutC;
    k->idctAddSparse = idctAddC;
    k->dcAdd = dcAddC;
}

}  // namespace vistrel::h263
