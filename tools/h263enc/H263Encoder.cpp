// Baseline H.263 encoding: forward DCT, dead-zone quantiser, small diamond search with half-sample
// refinement, and a reconstruction through the decoder's own block arithmetic so that both agree.

#include "tools/h263enc/H263Encoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "video/h263/BlockReconstruction.h"
#include "video/h263/H263Tables.h"
#include "video/h263/PictureLayer.h"

namespace vistrel::h263enc {

using namespace vistrel::h263;

namespace {

constexpr int kMaxVector = 31;  // half samples; baseline vectors lie in -32..31
constexpr int kMinVector = -32;
constexpr int kSearchSteps = 16;     // diamond iterations per macroblock
constexpr int kZeroVectorBias = 64;  // SAD a non-zero vector must win by
constexpr int kIntraBias = 512;      // SAD beyond the macroblock's own deviation that makes it intra
constexpr int kMaxLevel = 127;
constexpr int kEscapeRunBits = 6;
constexpr int kEscapeLevelBits = 8;

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>* out) : out_(out) { out_->clear(); }
    void put(int bits, std::uint32_t value) {
        acc_ = (acc_ << bits) | (value & ((std::uint64_t(1) << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            out_->push_back(std::uint8_t(acc_ >> count_));
        }
    }
    void put(const VlcCode& c) { put(c.length, c.code); }
    void alignWithZeros() {
        if (count_ > 0) put(8 - count_, 0);
    }

private:
    std::vector<std::uint8_t>* out_;
    std::uint64_t acc_ = 0;
    int count_ = 0;
};

struct DctMatrix {
    float c[8][8];
    DctMatrix() {
        const double pi = 3.14159265358979323846;
        for (int k = 0; k < 8; ++k) {
            const double scale = k == 0 ? std::sqrt(0.125) : 0.5;
            for (int n = 0; n < 8; ++n) c[k][n] = float(scale * std::cos((2 * n + 1) * k * pi / 16.0));
        }
    }
};
const DctMatrix kDct;

// Orthonormal 8x8 DCT of `in` (stride in int16 samples) into raster coefficients.
void forwardDct(const std::int16_t* in, float* out) {
    float tmp[64];
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 8; ++k) {
            float s = 0;
            for (int n = 0; n < 8; ++n) s += kDct.c[k][n] * float(in[r * 8 + n]);
            tmp[r * 8 + k] = s;
        }
    }
    for (int c = 0; c < 8; ++c) {
        for (int k = 0; k < 8; ++k) {
            float s = 0;
            for (int n = 0; n < 8; ++n) s += kDct.c[k][n] * tmp[n * 8 + c];
            out[k * 8 + c] = s;
        }
    }
}

int sad16(const std::uint8_t* a, int as, const std::uint8_t* b, int bs) {
    int sum = 0;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) sum += std::abs(int(a[c]) - int(b[c]));
        a += as;
        b += bs;
    }
    return sum;
}

int median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// (last, run, level) -> index into the TCOEF code list, or -1 when it needs ESCAPE.
struct TcoefIndex {
    std::int16_t index[2][64][13];
    TcoefIndex() {
        std::memset(index, -1, sizeof(index));
        for (int i = 0; i < kTcoefCount; ++i) {
            index[i >= kTcoefFirstLast ? 1 : 0][kTcoefRun[i]][kTcoefLevel[i]] = std::int16_t(i);
        }
    }
};
const TcoefIndex kTcoefIndex;

}  // namespace

struct H263Encoder::Work {
    std::vector<std::uint8_t> reference;  // previous reconstruction
    std::vector<std::uint8_t> output;     // reconstruction being built
    std::vector<std::uint8_t> halfH, halfV, halfD;
    std::vector<std::int32_t> vectors;  // two per macroblock, current picture
    std::int32_t blocks[kBlocksPerMacroblock * kBlockSize];
    int levels[kBlocksPerMacroblock][64];  // quantised levels by scan position
};

H263Encoder::H263Encoder(int width, int height, int quantiser, int gopLength)
    : width_(width), height_(height), gopLength_(gopLength) {
    setQuantiser(quantiser);
    const int code = SizeCodeFor(width, height);
    if (code < 0) return;
    sizeCode_ = code;
    frameBytes_ = std::size_t(width) * std::size_t(height) * 3 / 2;
    work_ = std::make_unique<Work>();
    work_->reference.assign(frameBytes_, 0);
    work_->output.assign(frameBytes_, 0);
    work_->halfH.assign(frameBytes_, 0);
    work_->halfV.assign(frameBytes_, 0);
    work_->halfD.assign(frameBytes_, 0);
    work_->vectors.assign(std::size_t(width / 16) * std::size_t(height / 16) * 2, 0);
}

H263Encoder::~H263Encoder() = default;

void H263Encoder::setQuantiser(int quantiser) { quantiser_ = std::clamp(quantiser, kMinQuantiser, kMaxQuantiser); }

const std::uint8_t* H263Encoder::reconstruction() const { return work_ ? work_->reference.data() : nullptr; }

std::vector<std::uint8_t> H263Encoder::encode(const I420View& frame) {
    std::vector<std::uint8_t> out;
    encode(frame, &out);
    return out;
}

namespace {

// Writes the picture header up to the first macroblock.
void writePictureHeader(BitWriter& w, int temporalReference, int sizeCode, bool predicted, int quantiser) {
    w.put(22, 0x20);  // picture start code
    w.put(8, std::uint32_t(temporalReference) & 0xFF);
    const std::uint32_t ptype = (1u << 12) | (std::uint32_t(sizeCode) << 5) | (predicted ? 1u << 4 : 0u);
    w.put(13, ptype);
    w.put(5, std::uint32_t(quantiser));
    w.put(1, 0);  // CPM
    w.put(1, 0);  // PEI
}

// Quantises one 8x8 block of coefficients into levels by scan position; returns whether any
// level from `first` on is non-zero.
bool quantise(const float* coefficients, int quantiser, bool intra, int* levels) {
    bool coded = false;
    const float step = float(2 * quantiser);
    const float deadZone = intra ? 0.0f : float(quantiser) * 0.5f;
    for (int k = intra ? 1 : 0; k < 64; ++k) {
        const float c = coefficients[kZigzag[k]];
        const float magnitude = std::fabs(c) - deadZone;
        int level = magnitude > 0 ? int(magnitude / step) : 0;
        level = std::min(level, kMaxLevel);
        levels[k] = c < 0 ? -level : level;
        coded |= level != 0;
    }
    return coded;
}

int intraDcLevel(float dc) {
    int level = std::clamp(int(std::lround(dc / 8.0f)), 1, 254);
    return level;
}

void writeCoefficients(BitWriter& w, const int* levels, int first) {
    int lastIndex = -1;
    for (int k = 63; k >= first; --k) {
        if (levels[k] != 0) {
            lastIndex = k;
            break;
        }
    }
    int run = 0;
    for (int k = first; k <= lastIndex; ++k) {
        const int level = levels[k];
        if (level == 0) {
            ++run;
            continue;
        }
        const int last = k == lastIndex ? 1 : 0;
        const int magnitude = std::abs(level);
        const int index = magnitude <= 12 ? kTcoefIndex.index[last][run][magnitude] : -1;
        if (index >= 0) {
            w.put(kTcoefCodes[index]);
            w.put(1, level < 0 ? 1 : 0);
        } else {
            w.put(kTcoefCodes[kTcoefCount]);
            w.put(1, std::uint32_t(last));
            w.put(kEscapeRunBits, std::uint32_t(run));
            w.put(kEscapeLevelBits, std::uint32_t(level) & 0xFF);
        }
        run = 0;
    }
}

void dequantiseInto(const int* levels, int quantiser, int first, std::int32_t* block) {
    for (int k = first; k < 64; ++k) {
        const int level = levels[k];
        block[k] = level == 0 ? 0 : Dequantise(std::abs(level), level < 0, quantiser);
    }
}

void writeMvd(BitWriter& w, int difference) {
    if (difference >= 32) difference -= 64;
    if (difference < -32) difference += 64;
    const int magnitude = std::abs(difference);
    w.put(kMvdCodes[magnitude]);
    if (magnitude != 0) w.put(1, difference < 0 ? 1 : 0);
}

// Residual or samples of one block as int16 for the DCT.
void loadBlock(const std::uint8_t* src, int stride, const std::uint8_t* pred, int predStride, std::int16_t* out) {
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) out[r * 8 + c] = std::int16_t(src[c] - (pred ? pred[c] : 0));
        src += stride;
        if (pred) pred += predStride;
    }
}

}  // namespace

namespace {

struct MacroblockCoder {
    H263Encoder::Work* work;  // not owned
    BitWriter* writer;
    const I420View* frame;
    ReconstructionTarget target;
    int width;
    int height;
    int columns;
    int quantiser;

    const std::uint8_t* sourceBlock(int b, int row, int column, int* stride) const {
        if (b < 4) {
            *stride = frame->yStride;
            return frame->y + std::size_t(16 * row + 8 * (b / 2)) * std::size_t(frame->yStride) +
                   std::size_t(16 * column + 8 * (b % 2));
        }
        *stride = frame->cStride;
        const std::uint8_t* plane = b == 4 ? frame->cb : frame->cr;
        return plane + std::size_t(8 * row) * std::size_t(frame->cStride) + std::size_t(8 * column);
    }

    void setVector(int row, int column, int vx, int vy) {
        const std::size_t index = std::size_t(row * columns + column);
        work->vectors[2 * index] = vx;
        work->vectors[2 * index + 1] = vy;
    }

    int predictComponent(int row, int column, int component) const {
        const int index = row * columns + column;
        const std::int32_t* v = work->vectors.data();
        const int left = column > 0 ? v[2 * (index - 1) + component] : 0;
        if (row == 0) return left;
        const int above = v[2 * (index - columns) + component];
        const int aboveRight = column + 1 < columns ? v[2 * (index - columns + 1) + component] : 0;
        return median3(left, above, aboveRight);
    }

    void intraMacroblock(int row, int column, bool inPredictedPicture) {
        std::int16_t samples[64];
        float coefficients[64];
        int pattern = 0;
        int dc[kBlocksPerMacroblock];
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            int stride = 0;
            const std::uint8_t* src = sourceBlock(b, row, column, &stride);
            loadBlock(src, stride, nullptr, 0, samples);
            forwardDct(samples, coefficients);
            dc[b] = intraDcLevel(coefficients[0]);
            if (quantise(coefficients, quantiser, true, work->levels[b])) pattern |= 0x20 >> b;
        }
        if (inPredictedPicture) {
            writer->put(1, 0);  // COD: coded
            writer->put(kInterMcbpcCodes[4 * kTypeIntra + (pattern & 3)]);
        } else {
            writer->put(kIntraMcbpcCodes[pattern & 3]);
        }
        writer->put(kCbpyCodes[pattern >> 2]);
        std::memset(work->blocks, 0, sizeof(work->blocks));
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            writer->put(8, dc[b] == 128 ? 255u : std::uint32_t(dc[b]));
            std::int32_t* block = work->blocks + b * kBlockSize;
            block[0] = dc[b] * 8;
            if (pattern & (0x20 >> b)) {
                writeCoefficients(*writer, work->levels[b], 1);
                dequantiseInto(work->levels[b], quantiser, 1, block);
            }
        }
        InverseTransform(work->blocks);
        StoreIntra(target, row, column, work->blocks);
        setVector(row, column, 0, 0);
    }

    const std::uint8_t* lumaPrediction(int row, int column, int vx, int vy) const {
        const std::uint8_t* plane = (vx & 1) ? ((vy & 1) ? target.half.diagonal : target.half.horizontal)
                                             : ((vy & 1) ? target.half.vertical : target.reference);
        return plane + std::size_t(16 * row + (vy >> 1)) * std::size_t(width) +
               std::size_t(16 * column + (vx >> 1));
    }

    bool vectorInside(int row, int column, int vx, int vy) const {
        if (vx < kMinVector || vx > kMaxVector || vy < kMinVector || vy > kMaxVector) return false;
        const int x = 16 * column + (vx >> 1);
        const int y = 16 * row + (vy >> 1);
        return x >= 0 && y >= 0 && x + 16 + (vx & 1) <= width && y + 16 + (vy & 1) <= height;
    }

    int cost(int row, int column, int vx, int vy, const std::uint8_t* src) const {
        if (!vectorInside(row, column, vx, vy)) return INT32_MAX;
        return sad16(src, frame->yStride, lumaPrediction(row, column, vx, vy), width);
    }

    void search(int row, int column, int* bestX, int* bestY, int* bestSad) const {
        int stride = 0;
        const std::uint8_t* src = sourceBlock(0, row, column, &stride);
        int bx = 0;
        int by = 0;
        const int zeroSad = cost(row, column, 0, 0, src);
        int best = zeroSad;
        const int px = predictComponent(row, column, 0) & ~1;
        const int py = predictComponent(row, column, 1) & ~1;
        const int candidates[2][2] = {
            {px, py},
            {column > 0 ? work->vectors[2 * std::size_t(row * columns + column - 1)] & ~1 : 0,
             column > 0 ? work->vectors[2 * std::size_t(row * columns + column - 1) + 1] & ~1 : 0}};
        for (const auto& c : candidates) {
            const int s = cost(row, column, c[0], c[1], src);
            if (s < best) {
                best = s;
                bx = c[0];
                by = c[1];
            }
        }
        static constexpr int kDiamond[4][2] = {{2, 0}, {-2, 0}, {0, 2}, {0, -2}};
        for (int step = 0; step < kSearchSteps; ++step) {
            bool moved = false;
            const int cx = bx;
            const int cy = by;
            for (const auto& d : kDiamond) {
                const int s = cost(row, column, cx + d[0], cy + d[1], src);
                if (s < best) {
                    best = s;
                    bx = cx + d[0];
                    by = cy + d[1];
                    moved = true;
                }
            }
            if (!moved) break;
        }
        const int cx = bx;
        const int cy = by;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (dx == 0 && dy == 0) continue;
                const int s = cost(row, column, cx + dx, cy + dy, src);
                if (s < best) {
                    best = s;
                    bx = cx + dx;
                    by = cy + dy;
                }
            }
        }
        if (zeroSad <= best + kZeroVectorBias) {
            bx = 0;
            by = 0;
            best = zeroSad;
        }
        *bestX = bx;
        *bestY = by;
        *bestSad = best;
    }

    int lumaDeviation(int row, int column) const {
        int stride = 0;
        const std::uint8_t* src = sourceBlock(0, row, column, &stride);
        int sum = 0;
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) sum += src[r * stride + c];
        const int mean = (sum + 128) / 256;
        int deviation = 0;
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) deviation += std::abs(src[r * stride + c] - mean);
        return deviation;
    }

    void predictedMacroblock(int row, int column) {
        int vx = 0;
        int vy = 0;
        int sad = 0;
        search(row, column, &vx, &vy, &sad);
        if (sad > lumaDeviation(row, column) + kIntraBias) {
            intraMacroblock(row, column, true);
            return;
        }
        const int cw = width / 2;
        const std::size_t lumaSize = std::size_t(width) * std::size_t(height);
        const std::uint8_t* luma = lumaPrediction(row, column, vx, vy);
        const bool chromaHalfX = (vx & 3) != 0;
        const bool chromaHalfY = (vy & 3) != 0;
        const std::uint8_t* chromaPlane = chromaHalfX
                                              ? (chromaHalfY ? target.half.diagonal : target.half.horizontal)
                                              : (chromaHalfY ? target.half.vertical : target.reference);
        const std::size_t chromaOffset =
            std::size_t(8 * row + (vy >> 2)) * std::size_t(cw) + std::size_t(8 * column + (vx >> 2));

        std::int16_t residual[64];
        float coefficients[64];
        int pattern = 0;
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            int stride = 0;
            const std::uint8_t* src = sourceBlock(b, row, column, &stride);
            const std::uint8_t* pred;
            int predStride;
            if (b < 4) {
                pred = luma + std::size_t(8 * (b / 2)) * std::size_t(width) + std::size_t(8 * (b % 2));
                predStride = width;
            } else {
                pred = chromaPlane + lumaSize + std::size_t(b - 4) * (lumaSize / 4) + chromaOffset;
                predStride = cw;
            }
            loadBlock(src, stride, pred, predStride, residual);
            forwardDct(residual, coefficients);
            if (quantise(coefficients, quantiser, false, work->levels[b])) pattern |= 0x20 >> b;
        }
        if (vx == 0 && vy == 0 && pattern == 0) {
            writer->put(1, 1);  // COD: not coded
            CopyNotCoded(target, row, column);
            setVector(row, column, 0, 0);
            return;
        }
        const int px = predictComponent(row, column, 0);
        const int py = predictComponent(row, column, 1);
        writer->put(1, 0);
        writer->put(kInterMcbpcCodes[4 * kTypeInter + (pattern & 3)]);
        writer->put(kCbpyCodes[(pattern >> 2) ^ 15]);
        writeMvd(*writer, vx - px);
        writeMvd(*writer, vy - py);
        std::memset(work->blocks, 0, sizeof(work->blocks));
        for (int b = 0; b < kBlocksPerMacroblock; ++b) {
            if (!(pattern & (0x20 >> b))) continue;
            writeCoefficients(*writer, work->levels[b], 0);
            dequantiseInto(work->levels[b], quantiser, 0, work->blocks + b * kBlockSize);
        }
        InverseTransform(work->blocks, pattern);
        PredictAndAdd(target, row, column, vx, vy, work->blocks, pattern);
        setVector(row, column, vx, vy);
    }
};

}  // namespace

bool H263Encoder::encode(const I420View& frame, std::vector<std::uint8_t>* picture) {
    if (!valid() || picture == nullptr || frame.y == nullptr || frame.cb == nullptr || frame.cr == nullptr ||
        frame.yStride < width_ || frame.cStride < width_ / 2) {
        return false;
    }
    const bool intra = forceIntra_ || gopLength_ <= 1 || sinceIntra_ + 1 >= gopLength_;
    BitWriter writer(picture);
    writePictureHeader(writer, int(picturesEncoded_ & 0xFF), sizeCode_, !intra, quantiser_);

    Work& w = *work_;
    MacroblockCoder coder{&w, &writer, &frame, {}, width_, height_, width_ / 16, quantiser_};
    coder.target.output = w.output.data();
    coder.target.reference = w.reference.data();
    coder.target.half = HalfSamplePlanes{w.halfH.data(), w.halfV.data(), w.halfD.data()};
    coder.target.width = width_;
    coder.target.height = height_;
    if (!intra) BuildHalfSamplePlanes(w.reference.data(), coder.target.half, width_, height_);
    const int rows = height_ / 16;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < coder.columns; ++column) {
            if (intra) {
                coder.intraMacroblock(row, column, false);
            } else {
                coder.predictedMacroblock(row, column);
            }
        }
    }
    writer.alignWithZeros();
    sinceIntra_ = intra ? 0 : sinceIntra_ + 1;
    forceIntra_ = false;
    lastWasIntra_ = intra;
    ++picturesEncoded_;
    std::swap(w.reference, w.output);
    return true;
}

}  // namespace vistrel::h263enc
