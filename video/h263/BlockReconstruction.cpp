// H.263 block arithmetic. The transform is the integer Loeffler-Ligtenberg-Moschytz arrangement
// with 13-bit constants; the decoder and the test-stream encoder share it so that their
// reconstructions agree bit for bit.

#include "video/h263/BlockReconstruction.h"

#include <algorithm>
#include <cstring>

#include "video/h263/H263Tables.h"

namespace vistrel::h263 {

namespace {

constexpr int kConstBits = 13;
constexpr int kColumnShift = 11;  // keeps two fraction bits between the passes
constexpr int kRowShift = 18;
constexpr int kRowDcShift = 5;

// One 8-point pass. The row pass works in 64 bits: values from a hostile stream are not clipped
// and would overflow 32 bits there; valid streams give the same result either way.
// Each pass adds half of its divisor before the shift. Plain truncation biases every coded block
// by about half a sample downwards; predicted pictures pile that up, and a 10-picture group ends
// some 13 dB below a standard decoder's picture of the same stream.
#ifndef VISTREL_IDCT_TRUNCATE
constexpr bool kRound = true;
#else
constexpr bool kRound = false;  // for measuring the drift of the unrounded arrangement
#endif
template <typename T, int Shift>
inline void idct8(T in0, T in1, T in2, T in3, T in4, T in5, T in6, T in7, T* out) {
    const T z1 = (in2 + in6) * 4433;
    const T t2 = z1 - in6 * 15137;
    const T t3 = z1 + in2 * 6270;
    const T t0 = (in0 + in4) * (T(1) << kConstBits) + (kRound ? (T(1) << (Shift - 1)) : 0);
    const T t1 = (in0 - in4) * (T(1) << kConstBits) + (kRound ? (T(1) << (Shift - 1)) : 0);
    const T t10 = t0 + t3;
    const T t13 = t0 - t3;
    const T t11 = t1 + t2;
    const T t12 = t1 - t2;

    const T z5 = (in7 + in3 + in5 + in1) * 9633;
    const T za = z5 - (in1 + in5) * 3196;
    const T zb = z5 - (in3 + in7) * 16069;
    const T zc = -(in5 + in3) * 20995;
    const T o3 = in1 * 12299 - (in7 + in1) * 7373 + za;
    const T o0 = in7 * 2446 - (in7 + in1) * 7373 + zb;
    const T o1 = in5 * 16819 + zc + za;
    const T o2 = in3 * 25172 + zc + zb;

    out[0] = (t10 + o3) >> Shift;
    out[7] = (t10 - o3) >> Shift;
    out[1] = (t11 + o2) >> Shift;
    out[6] = (t11 - o2) >> Shift;
    out[2] = (t12 + o1) >> Shift;
    out[5] = (t12 - o1) >> Shift;
    out[3] = (t13 + o0) >> Shift;
    out[4] = (t13 - o0) >> Shift;
}

}  // namespace

void InverseTransformBlock(std::int32_t* block) {
    std::int32_t raster[kBlockSize];
    for (int k = 0; k < kBlockSize; ++k) raster[kZigzag[k]] = block[k];

    // Columns: values stay within 32 bits for any 16-bit coefficient.
    std::int64_t columns[kBlockSize];
    for (int c = 0; c < 8; ++c) {
        const std::int32_t* in = raster + c;
        if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
            const std::int64_t dc = std::int64_t(in[0]) * 4;
            for (int r = 0; r < 8; ++r) columns[r * 8 + c] = dc;
            continue;
        }
        std::int64_t out[8];
        idct8<std::int64_t, kColumnShift>(in[0], in[8], in[16], in[24], in[32], in[40], in[48], in[56], out);
        for (int r = 0; r < 8; ++r) columns[r * 8 + c] = out[r];
    }
    for (int r = 0; r < 8; ++r) {
        const std::int64_t* in = columns + r * 8;
        std::int32_t* dst = block + r * 8;
        if ((in[1] | in[2] | in[3] | in[4] | in[5] | in[6] | in[7]) == 0) {
            const std::int32_t dc = std::int32_t(std::clamp<std::int64_t>((in[0] + (kRound ? 16 : 0)) >> kRowDcShift, INT32_MIN, INT32_MAX));
            for (int c = 0; c < 8; ++c) dst[c] = dc;
            continue;
        }
        std::int64_t out[8];
        idct8<std::int64_t, kRowShift>(in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], out);
        for (int c = 0; c < 8; ++c) dst[c] = std::int32_t(std::clamp<std::int64_t>(out[c], INT32_MIN, INT32_MAX));
    }
}

void InverseTransform(std::int32_t* blocks, int codedMask) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        // An uncoded block is all zero and transforms to zero.
        if (codedMask & (0x20 >> b)) InverseTransformBlock(blocks + b * kBlockSize);
    }
}

void BuildHalfSamplePlanes(const std::uint8_t* reference, const HalfSamplePlanes& half, int width, int height) {
    struct Plane {
        std::size_t offset;
        int w;
        int h;
    };
    const std::size_t lumaSize = std::size_t(width) * std::size_t(height);
    const Plane planes[3] = {{0, width, height},
                             {lumaSize, width / 2, height / 2},
                             {lumaSize + lumaSize / 4, width / 2, height / 2}};
    for (const Plane& p : planes) {
        const std::uint8_t* src = reference + p.offset;
        std::uint8_t* hp = half.horizontal + p.offset;
        std::uint8_t* vp = half.vertical + p.offset;
        std::uint8_t* dp = half.diagonal + p.offset;
        for (int i = 0; i < p.h; ++i) {
            const std::uint8_t* s0 = src + std::size_t(i) * std::size_t(p.w);
            // The last row has no lower neighbour: it stands in for itself.
            const std::uint8_t* s1 = i + 1 < p.h ? s0 + p.w : s0;
            std::uint8_t* h = hp + std::size_t(i) * std::size_t(p.w);
            std::uint8_t* v = vp + std::size_t(i) * std::size_t(p.w);
            std::uint8_t* d = dp + std::size_t(i) * std::size_t(p.w);
            const int last = p.w - 1;
            for (int j = 0; j < last; ++j) {
                h[j] = std::uint8_t((s0[j] + s0[j + 1] + 1) >> 1);
                v[j] = std::uint8_t((s0[j] + s1[j] + 1) >> 1);
                d[j] = std::uint8_t((s0[j] + s0[j + 1] + s1[j] + s1[j + 1] + 2) >> 2);
            }
            h[last] = s0[last];
            v[last] = std::uint8_t((s0[last] + s1[last] + 1) >> 1);
            d[last] = v[last];
        }
    }
}

namespace {

inline void storeBlock(std::uint8_t* dst, int stride, const std::int32_t* values) {
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) dst[c] = ClampSample(values[r * 8 + c]);
        dst += stride;
    }
}

inline void addBlock(std::uint8_t* dst, int stride, const std::uint8_t* src, int srcStride,
                     const std::int32_t* residual, bool coded) {
    for (int r = 0; r < 8; ++r) {
        if (coded) {
            for (int c = 0; c < 8; ++c) dst[c] = ClampSample(src[c] + residual[r * 8 + c]);
        } else {
            std::memcpy(dst, src, 8);
        }
        dst += stride;
        src += srcStride;
    }
}

inline const std::uint8_t* selectPlane(const ReconstructionTarget& t, bool halfX, bool halfY) {
    if (halfX && halfY) return t.half.diagonal;
    if (halfX) return t.half.horizontal;
    if (halfY) return t.half.vertical;
    return t.reference;
}

}  // namespace

void StoreIntra(const ReconstructionTarget& t, int row, int column, const std::int32_t* blocks) {
    const int w = t.width;
    const int cw = w / 2;
    std::uint8_t* luma = t.output + std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    for (int b = 0; b < 4; ++b) {
        storeBlock(luma + std::size_t(8 * (b / 2)) * std::size_t(w) + std::size_t(8 * (b % 2)), w,
                   blocks + b * kBlockSize);
    }
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);
    const std::size_t chromaOffset = std::size_t(8 * row) * std::size_t(cw) + std::size_t(8 * column);
    storeBlock(t.output + lumaSize + chromaOffset, cw, blocks + 4 * kBlockSize);
    storeBlock(t.output + lumaSize + lumaSize / 4 + chromaOffset, cw, blocks + 5 * kBlockSize);
}

void PredictAndAdd(const ReconstructionTarget& t, int row, int column, int vx, int vy,
                   const std::int32_t* blocks, int codedMask) {
    const int w = t.width;
    const int cw = w / 2;
    const int ch = t.height / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);

    const int lx = std::clamp(16 * column + (vx >> 1), 0, w - 16);
    const int ly = std::clamp(16 * row + (vy >> 1), 0, t.height - 16);
    const std::uint8_t* src = selectPlane(t, (vx & 1) != 0, (vy & 1) != 0) + std::size_t(ly) * std::size_t(w) + std::size_t(lx);
    std::uint8_t* dst = t.output + std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    for (int b = 0; b < 4; ++b) {
        const std::size_t offset = std::size_t(8 * (b / 2)) * std::size_t(w) + std::size_t(8 * (b % 2));
        addBlock(dst + offset, w, src + offset, w, blocks + b * kBlockSize, (codedMask & (0x20 >> b)) != 0);
    }

    const int cx = std::clamp(8 * column + (vx >> 2), 0, cw - 8);
    const int cy = std::clamp(8 * row + (vy >> 2), 0, ch - 8);
    const std::uint8_t* plane = selectPlane(t, (vx & 3) != 0, (vy & 3) != 0);
    const std::size_t srcOffset = std::size_t(cy) * std::size_t(cw) + std::size_t(cx);
    const std::size_t dstOffset = std::size_t(8 * row) * std::size_t(cw) + std::size_t(8 * column);
    for (int c = 0; c < 2; ++c) {
        const std::size_t base = lumaSize + std::size_t(c) * (lumaSize / 4);
        addBlock(t.output + base + dstOffset, cw, plane + base + srcOffset, cw, blocks + (4 + c) * kBlockSize,
                 (codedMask & (0x20 >> (4 + c))) != 0);
    }
}

void CopyNotCoded(const ReconstructionTarget& t, int row, int column) {
    const int w = t.width;
    const int cw = w / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);
    std::size_t offset = std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    for (int r = 0; r < 16; ++r, offset += std::size_t(w)) std::memcpy(t.output + offset, t.reference + offset, 16);
    for (int c = 0; c < 2; ++c) {
        std::size_t o = lumaSize + std::size_t(c) * (lumaSize / 4) + std::size_t(8 * row) * std::size_t(cw) +
                        std::size_t(8 * column);
        for (int r = 0; r < 8; ++r, o += std::size_t(cw)) std::memcpy(t.output + o, t.reference + o, 8);
    }
}

}  // namespace vistrel::h263
