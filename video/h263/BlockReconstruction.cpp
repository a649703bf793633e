// H.263 block arithmetic over the kernel table. The transform is the codec library's; the decoder
// and the test-stream encoder both reach it through here, so their reconstructions agree bit for bit.

#include "video/h263/BlockReconstruction.h"

#include <algorithm>
#include <cstring>

#include "video/h263/H263Tables.h"

namespace vistrel::h263 {

namespace {

std::uint8_t clamp64(std::int64_t v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

const H263Kernels& kernelsOf(const ReconstructionTarget& t) {
    return t.kernels != nullptr ? *t.kernels : ActiveH263Kernels();
}

}  // namespace

void InverseTransformBlock(std::int32_t* block) {
    // The library's kernels take 16-bit coefficients; dequantised H.263 levels always fit, and a
    // hostile caller's values are saturated first.
    alignas(16) std::int16_t raster[kBlockSize];
    for (int k = 0; k < kBlockSize; ++k) raster[kZigzag[k]] = std::int16_t(std::clamp(block[k], -32768, 32767));
    ActiveH263Kernels().transform(raster);
    for (int i = 0; i < kBlockSize; ++i) block[i] = raster[i];
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
    const Plane planes[3] = {
        {0, width, height}, {lumaSize, width / 2, height / 2}, {lumaSize + lumaSize / 4, width / 2, height / 2}};
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
        const PredictFn predict =
            k.predict16x8[(lumaHalfX ? kHalfHorizontal : 0) | (lumaHalfY ? kHalfVertical : 0)];
        predict(dst, src, w);
        predict(dst + std::size_t(8) * std::size_t(w), src + std::size_t(8) * std::size_t(w), w);
    }

    // H.263's chroma vector: half the luma vector, quarter positions taken as half positions.
    const bool chromaHalfX = (vx & 3) != 0;
    const bool chromaHalfY = (vy & 3) != 0;
    const int cx = std::clamp(8 * column + (vx >> 2), 0, cw - 8);
    const int cy = std::clamp(8 * row + (vy >> 2), 0, ch - 8);
    const bool edge = (chromaHalfX && cx + 8 >= cw) || (chromaHalfY && cy + 8 >= ch);
    const PredictFn predict =
        k.predict8x8[(chromaHalfX ? kHalfHorizontal : 0) | (chromaHalfY ? kHalfVertical : 0)];
    const std::size_t srcOffset = std::size_t(cy) * std::size_t(cw) + std::size_t(cx);
    const std::size_t dstOffset = std::size_t(8 * row) * std::size_t(cw) + std::size_t(8 * column);
    for (int c = 0; c < 2; ++c) {
        const std::size_t base = lumaSize + std::size_t(c) * (lumaSize / 4);
        if (edge) {
            predictAtEdge(t.output + base + dstOffset, t.reference + base, cw, ch, cx, cy, 8, chromaHalfX,
                          chromaHalfY);
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
        return {t.output + std::size_t(16 * row + 8 * (b / 2)) * std::size_t(w) +
                    std::size_t(16 * column + 8 * (b % 2)),
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

void PredictAndAdd(const ReconstructionTarget& t, int row, int column, int vx, int vy, const std::int32_t* blocks,
                   int codedMask) {
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

void ReconstructIntra(const ReconstructionTarget& t, int row, int column, std::int16_t* coefficients,
                      const int* lastScan) {
    const H263Kernels& k = kernelsOf(t);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        const BlockPlace p = placeOf(t, row, column, b);
        std::int16_t* block = coefficients + b * kBlockSize;
        if (lastScan[b] > 0) {
            k.put(block, p.dst, p.stride);
            continue;
        }
        // A block without coefficients (the intra-coded four-vector type has no DC) is zero.
        const std::uint8_t flat = lastScan[b] < 0 ? 0 : ClampSample(FlatValue(block[0]));
        std::uint8_t* dst = p.dst;
        for (int r = 0; r < 8; ++r, dst += p.stride) std::memset(dst, flat, 8);
    }
}

void ReconstructPredicted(const ReconstructionTarget& t, int row, int column, int vx, int vy,
                          std::int16_t* coefficients, const int* lastScan) {
    const H263Kernels& k = kernelsOf(t);
    predictMacroblock(t, k, row, column, vx, vy);
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        if (lastScan[b] < 0) continue;
        const BlockPlace p = placeOf(t, row, column, b);
        std::int16_t* block = coefficients + b * kBlockSize;
        if (lastScan[b] == 0) {
            k.flatAdd(FlatValue(block[0]), p.dst, p.stride);
        } else {
            k.add(block, p.dst, p.stride);
        }
    }
}

}  // namespace vistrel::h263
