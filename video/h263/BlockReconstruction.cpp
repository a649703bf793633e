// H.263 block arithmetic. The transform is the integer Loeffler-Ligtenberg-Moschytz arrangement
// with 13-bit constants; the decoder and the test-stream encoder share it so that their
// reconstructions agree bit for bit. This file holds the 64-bit reference of it and the
// macroblock-level paths over the kernel table.

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

// One 8-point pass in 64 bits: values from a hostile stream are not clipped and would overflow
// 32 bits; valid streams give the same result either way (the fast kernels rely on that).
// Each pass adds half of its divisor before the shift. Plain truncation biases every coded block
// by about half a sample downwards; predicted pictures pile that up, and a 10-picture group ends
// some 13 dB below a standard decoder's picture of the same stream.
template <int Shift>
inline void idct8(std::int64_t in0, std::int64_t in1, std::int64_t in2, std::int64_t in3, std::int64_t in4,
                  std::int64_t in5, std::int64_t in6, std::int64_t in7, std::int64_t* out) {
    using T = std::int64_t;
    const T z1 = (in2 + in6) * 4433;
    const T t2 = z1 - in6 * 15137;
    const T t3 = z1 + in2 * 6270;
    const T t0 = (in0 + in4) * (T(1) << kConstBits) + (T(1) << (Shift - 1));
    const T t1 = (in0 - in4) * (T(1) << kConstBits) + (T(1) << (Shift - 1));
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

std::int32_t saturate32(std::int64_t v) { return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); }

std::uint8_t clamp64(std::int64_t v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

const H263Kernels& kernelsOf(const ReconstructionTarget& t) {
    return t.kernels != nullptr ? *t.kernels : ActiveH263Kernels();
}

}  // namespace

void InverseTransformRaster(const std::int32_t* in, std::int32_t* samples) {
    // Columns: values stay within 32 bits' worth of 64 for any 32-bit coefficient.
    std::int64_t columns[kBlockSize];
    for (int c = 0; c < 8; ++c) {
        const std::int32_t* v = in + c;
        if ((v[8] | v[16] | v[24] | v[32] | v[40] | v[48] | v[56]) == 0) {
            const std::int64_t dc = std::int64_t(v[0]) * 4;
            for (int r = 0; r < 8; ++r) columns[r * 8 + c] = dc;
            continue;
        }
        std::int64_t out[8];
        idct8<kColumnShift>(v[0], v[8], v[16], v[24], v[32], v[40], v[48], v[56], out);
        for (int r = 0; r < 8; ++r) columns[r * 8 + c] = out[r];
    }
    for (int r = 0; r < 8; ++r) {
        const std::int64_t* v = columns + r * 8;
        std::int32_t* dst = samples + r * 8;
        if ((v[1] | v[2] | v[3] | v[4] | v[5] | v[6] | v[7]) == 0) {
            const std::int32_t dc = saturate32((v[0] + 16) >> kRowDcShift);
            for (int c = 0; c < 8; ++c) dst[c] = dc;
            continue;
        }
        std::int64_t out[8];
        idct8<kRowShift>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], out);
        for (int c = 0; c < 8; ++c) dst[c] = saturate32(out[c]);
    }
}

void InverseTransformBlock(std::int32_t* block) {
    std::int32_t raster[kBlockSize];
    for (int k = 0; k < kBlockSize; ++k) raster[kZigzag[k]] = block[k];
    InverseTransformRaster(raster, block);
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

// One square of `size` predicted samples at (x, y) of a plane, with the edge rule of the whole
// half-sample planes: a missing right or lower neighbour is the sample itself. Only used where a
// half position reaches the last column or row; elsewhere the kernels read the real neighbour.
void predictAtEdge(std::uint8_t* dst, const std::uint8_t* plane, int planeWidth, int planeHeight, int x, int y,
                   int size, bool halfX, bool halfY) {
    for (int i = 0; i < size; ++i) {
        const int r0 = y + i;
        const int r1 = halfY ? std::min(r0 + 1, planeHeight - 1) : r0;
        const std::uint8_t* s0 = plane + std::size_t(r0) * std::size_t(planeWidth);
        const std::uint8_t* s1 = plane + std::size_t(r1) * std::size_t(planeWidth);
        std::uint8_t* d = dst + std::size_t(i) * std::size_t(planeWidth);
        for (int j = 0; j < size; ++j) {
            const int c0 = x + j;
            const int c1 = halfX ? std::min(c0 + 1, planeWidth - 1) : c0;
            d[j] = std::uint8_t((s0[c0] + s0[c1] + s1[c0] + s1[c1] + 2) >> 2);
        }
    }
}

// Forms the prediction of one macroblock straight in the output picture.
void predictMacroblock(const ReconstructionTarget& t, const H263Kernels& k, int row, int column, int vx, int vy) {
    const int w = t.width;
    const int h = t.height;
    const int cw = w / 2;
    const int ch = h / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(h);

    const bool lumaHalfX = (vx & 1) != 0;
    const bool lumaHalfY = (vy & 1) != 0;
    const int lx = std::clamp(16 * column + (vx >> 1), 0, w - 16);
    const int ly = std::clamp(16 * row + (vy >> 1), 0, h - 16);
    const std::uint8_t* src = t.reference + std::size_t(ly) * std::size_t(w) + std::size_t(lx);
    std::uint8_t* dst = t.output + std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    if ((lumaHalfX && lx + 16 >= w) || (lumaHalfY && ly + 16 >= h)) {
        predictAtEdge(dst, t.reference, w, h, lx, ly, 16, lumaHalfX, lumaHalfY);
    } else {
        const PredictFn predict = k.predict16x8[(lumaHalfX ? kHalfHorizontal : 0) | (lumaHalfY ? kHalfVertical : 0)];
        predict(dst, src, w);
        predict(dst + std::size_t(8) * std::size_t(w), src + std::size_t(8) * std::size_t(w), w);
    }

    // H.263's chroma vector: half the luma vector, quarter positions taken as half positions.
    const bool chromaHalfX = (vx & 3) != 0;
    const bool chromaHalfY = (vy & 3) != 0;
    const int cx = std::clamp(8 * column + (vx >> 2), 0, cw - 8);
    const int cy = std::clamp(8 * row + (vy >> 2), 0, ch - 8);
    const bool edge = (chromaHalfX && cx + 8 >= cw) || (chromaHalfY && cy + 8 >= ch);
    const PredictFn predict = k.predict8x8[(chromaHalfX ? kHalfHorizontal : 0) | (chromaHalfY ? kHalfVertical : 0)];
    const std::size_t srcOffset = std::size_t(cy) * std::size_t(cw) + std::size_t(cx);
    const std::size_t dstOffset = std::size_t(8 * row) * std::size_t(cw) + std::size_t(8 * column);
    for (int c = 0; c < 2; ++c) {
        const std::size_t base = lumaSize + std::size_t(c) * (lumaSize / 4);
        if (edge) {
            predictAtEdge(t.output + base + dstOffset, t.reference + base, cw, ch, cx, cy, 8, chromaHalfX, chromaHalfY);
        } else {
            predict(t.output + base + dstOffset, t.reference + base + srcOffset, cw);
        }
    }
}

// Where block b of a macroblock lies in the output picture, and its row stride.
struct BlockPlace {
    std::uint8_t* dst;
    int stride;
};

BlockPlace placeOf(const ReconstructionTarget& t, int row, int column, int b) {
    const int w = t.width;
    if (b < 4) {
        return {t.output + std::size_t(16 * row + 8 * (b / 2)) * std::size_t(w) + std::size_t(16 * column + 8 * (b % 2)),
                w};
    }
    const int cw = w / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);
    return {t.output + lumaSize + std::size_t(b - 4) * (lumaSize / 4) + std::size_t(8 * row) * std::size_t(cw) +
                std::size_t(8 * column),
            cw};
}

}  // namespace

void StoreIntra(const ReconstructionTarget& t, int row, int column, const std::int32_t* blocks) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const BlockPlace p = placeOf(t, row, column, b);
        const std::int32_t* values = blocks + b * kBlockSize;
        std::uint8_t* dst = p.dst;
        for (int r = 0; r < 8; ++r, dst += p.stride) {
            for (int c = 0; c < 8; ++c) dst[c] = ClampSample(values[r * 8 + c]);
        }
    }
}

void PredictAndAdd(const ReconstructionTarget& t, int row, int column, int vx, int vy,
                   const std::int32_t* blocks, int codedMask) {
    predictMacroblock(t, kernelsOf(t), row, column, vx, vy);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        if ((codedMask & (0x20 >> b)) == 0) continue;
        const BlockPlace p = placeOf(t, row, column, b);
        const std::int32_t* residual = blocks + b * kBlockSize;
        std::uint8_t* dst = p.dst;
        for (int r = 0; r < 8; ++r, dst += p.stride) {
            for (int c = 0; c < 8; ++c) dst[c] = clamp64(std::int64_t(dst[c]) + residual[r * 8 + c]);
        }
    }
}

void CopyNotCoded(const ReconstructionTarget& t, int row, int column) {
    const H263Kernels& k = kernelsOf(t);
    const int w = t.width;
    const int cw = w / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);
    const std::size_t offset = std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    k.copy16x16(t.output + offset, t.reference + offset, w);
    for (int c = 0; c < 2; ++c) {
        const std::size_t o = lumaSize + std::size_t(c) * (lumaSize / 4) + std::size_t(8 * row) * std::size_t(cw) +
                              std::size_t(8 * column);
        k.copy8x8(t.output + o, t.reference + o, cw);
    }
}

void ReconstructIntra(const ReconstructionTarget& t, int row, int column, const std::int32_t* coefficients,
                      const int* lastScan) {
    const H263Kernels& k = kernelsOf(t);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const BlockPlace p = placeOf(t, row, column, b);
        const std::int32_t* block = coefficients + b * kBlockSize;
        if (lastScan[b] > 0) {
            (lastScan[b] <= kSparseLastScan ? k.idctPutSparse : k.idctPut)(block, p.dst, p.stride);
            continue;
        }
        // A block without coefficients (the intra-coded four-vector type has no DC) is zero.
        const std::uint8_t flat = lastScan[b] < 0 ? 0 : ClampSample(DcOnlyValue(block[0]));
        std::uint8_t* dst = p.dst;
        for (int r = 0; r < 8; ++r, dst += p.stride) std::memset(dst, flat, 8);
    }
}

void ReconstructPredicted(const ReconstructionTarget& t, int row, int column, int vx, int vy,
                          const std::int32_t* coefficients, const int* lastScan) {
    const H263Kernels& k = kernelsOf(t);
    predictMacroblock(t, k, row, column, vx, vy);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        if (lastScan[b] < 0) continue;
        const BlockPlace p = placeOf(t, row, column, b);
        const std::int32_t* block = coefficients + b * kBlockSize;
        if (lastScan[b] == 0) {
            k.dcAdd(block[0], p.dst, p.stride);
        } else {
            (lastScan[b] <= kSparseLastScan ? k.idctAddSparse : k.idctAdd)(block, p.dst, p.stride);
        }
    }
}

}  // namespace vistrel::h263
