// H.263 picture header and macroblock layers. The DVRs send macroblocks back to back from the
// picture header to the end of the picture; group-of-blocks headers, which standard encoders may put
// in front of a macroblock row, are recognised and skipped (taking their quantiser).

#include "video/h263/PictureLayer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/h263/H263Tables.h"

namespace vistrel::h263 {

bool SizeCodeDimensions(int code, int* width, int* height) {
    switch (code) {
        case kSizeQcif: *width = 176; *height = 144; return true;
        case kSizeCif: *width = 352; *height = 288; return true;
        case kSize320x240: *width = 320; *height = 240; return true;
        case kSize640x480: *width = 640; *height = 480; return true;
        case kSize640x240: *width = 640; *height = 240; return true;
        default: return false;
    }
}

int SizeCodeFor(int width, int height) {
    for (int code : {kSizeQcif, kSizeCif, kSize320x240, kSize640x480, kSize640x240}) {
        int w = 0;
        int h = 0;
        SizeCodeDimensions(code, &w, &h);
        if (w == width && h == height) return code;
    }
    return -1;
}

bool ReadPictureHeader(BitReader& reader, PictureHeader* header) {
    if (reader.get(17) != 1 || reader.get(5) != 0) return false;
    header->temporalReference = int(reader.get(8));
    header->ptype = int(reader.get(13));
    header->sizeCode = (header->ptype >> 5) & 0xF;
    header->predicted = ((header->ptype >> 4) & 1) != 0;
    header->unrestrictedVectors = ((header->ptype >> 3) & 1) != 0;
    header->arithmeticCoding = ((header->ptype >> 2) & 1) != 0;
    header->advancedPrediction = ((header->ptype >> 1) & 1) != 0;
    header->pbFrames = (header->ptype & 1) != 0;
    header->quantiser = int(reader.get(5));
    header->continuousPresence = reader.getBit() != 0;
    if (header->continuousPresence) reader.skip(2);  // PSBI
    if (header->pbFrames) reader.skip(3 + 2);        // TRB, DBQUANT
    while (reader.getBit() == 1) reader.skip(8);     // PEI / PSPARE
    return !reader.overrun();
}

namespace {

constexpr int kDquant[4] = {-1, -2, 1, 2};
constexpr int kMaxQuantiser = 31;
constexpr std::uint32_t kStuffing = 1;  // the 9-bit MCBPC stuffing code

struct Mcbpc {
    int type;
    int cbpc;
};

// Reads the coefficients of one block from scan position `position` on, storing them in raster
// order. A coefficient position of 64 or more, or a code that does not exist, ends the block.
// Returns the highest scan position written, or `lastScan` unchanged when none was.
int readCoefficients(BitReader& reader, const TcoefEntry* table, std::int16_t* block, int position, int quantiser,
                     int lastScan) {
    // Escape code 7 + LAST 1 + RUN 6 + LEVEL 8, and every other code with its sign bit, fit in one
    // 32-bit window, so each coefficient takes one look at the stream.
    constexpr int kWindow = 32;
    while (position < 64) {
        const std::uint32_t bits = reader.show(kWindow);
        const TcoefEntry& e = table[bits >> (kWindow - kTcoefLookahead)];
        if (e.length == 0) return lastScan;
        const std::uint32_t rest = bits << e.length;
        int last;
        int run;
        int level;
        bool negative;
        if (e.level == 0) {
            last = int(rest >> 31);
            run = int((rest >> 25) & 0x3F);
            int value = int((rest >> 17) & 0xFF);
            if (value > 127) value -= 256;
            negative = value < 0;
            level = negative ? -value : value;
            reader.skip(e.length + 1 + 6 + 8);
        } else {
            last = e.last;
            run = e.run;
            level = e.level;
            negative = (rest >> 31) != 0;
            reader.skip(e.length + 1);
        }
        position += run;
        if (position >= 64) return lastScan;
        // At most 31 * 257: always within 16 bits.
        block[kZigzag[position]] = std::int16_t(Dequantise(level, negative, quantiser));
        lastScan = position;
        ++position;
        if (last) return lastScan;
    }
    return lastScan;
}

int readCbpy(BitReader& reader, const VlcTables& tables, int type) {
    const std::uint32_t look = reader.show(kCbpyLookahead);
    int value = -1;
    if (look >= 2) {
        const CbpyEntry& e = tables.cbpy[look];
        value = e.value;
        reader.skip(e.length);
    }
    if (type == kTypeIntra || type == kTypeIntraQ) value ^= 15;
    return value;
}

void applyDquant(BitReader& reader, int& quantiser) {
    quantiser = std::clamp(quantiser + kDquant[reader.get(2)], 1, kMaxQuantiser);
}

int readMvd(BitReader& reader, const VlcTables& tables) {
    const MvdEntry& e = tables.mvd[reader.show(kMvdLookahead)];
    if (e.length == 0) {
        reader.skip(1);
        return 0;
    }
    reader.skip(e.length);
    if (e.magnitude == 0) return 0;
    return reader.getBit() ? -int(e.magnitude) : int(e.magnitude);
}

int median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

int wrapVector(int v) {
    if (v >= 32) return v - 64;
    if (v < -32) return v + 64;
    return v;
}

// `firstRow`: the picture's first row, or the first row after a group-of-blocks header (the rows
// above belong to another group and give no candidates).
void predictVector(const MacroblockContext& c, int row, int column, int component, bool firstRow, int* out) {
    const int index = row * c.columns + column;
    const int left = column > 0 ? c.vectors[2 * (index - 1) + component] : 0;
    int above = left;
    int aboveRight = left;
    if (!firstRow) {
        above = c.vectors[2 * (index - c.columns) + component];
        aboveRight = column + 1 < c.columns ? c.vectors[2 * (index - c.columns + 1) + component] : 0;
    }
    *out = median3(left, above, aboveRight);
}

constexpr int kGobStartCodeBits = 17;  // 0000 0000 0000 0000 1
constexpr int kGroupNumberBits = 5;
constexpr int kGsbiBits = 2;
constexpr int kGfidBits = 2;
constexpr int kGquantBits = 5;

// At the start of a macroblock row: skips a group-of-blocks header if one stands there (byte-aligned
// after zero stuffing, or right away) and takes its quantiser. Valid macroblock data never starts
// with sixteen zero bits, so a stream without such headers is never misread.
bool skipGobHeader(BitReader& reader, MacroblockContext& c) {
    const int stuffing = int((8 - reader.bitPosition() % 8) % 8);
    int skip = -1;
    if (reader.show(kGobStartCodeBits) == 1) {
        skip = 0;
    } else if (stuffing > 0 && reader.show(stuffing + kGobStartCodeBits) == 1) {
        skip = stuffing;
    }
    if (skip < 0) return false;
    reader.skip(skip + kGobStartCodeBits + kGroupNumberBits);
    if (c.continuousPresence) reader.skip(kGsbiBits);
    reader.skip(kGfidBits);
    const int quantiser = int(reader.get(kGquantBits));
    if (quantiser > 0) c.quantiser = quantiser;
    return true;
}

void concealFrom(MacroblockContext& c, int index) {
    for (int i = index; i < c.rows * c.columns; ++i) {
        CopyNotCoded(c.target, i / c.columns, i % c.columns);
        c.modes[i] = kTypeInter;
        c.vectors[2 * i] = 0;
        c.vectors[2 * i + 1] = 0;
    }
}

// Eight plain vector stores: a memset here otherwise becomes a slow string instruction.
inline void clearBlock(std::int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < kBlockSize; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), zero);
#else
    std::memset(block, 0, sizeof(std::int16_t) * kBlockSize);
#endif
}

// Fills the coefficient buffer (raster order) and the last scan position of every block.
void readBlocks(BitReader& reader, const VlcTables& tables, MacroblockContext& c, int pattern, bool intraDc,
                int* lastScan) {
    for (int b = 0; b < kBlocksPerMacroblock; ++b) {
        std::int16_t* block = c.blocks + b * kBlockSize;
        lastScan[b] = -1;
        const bool coded = (pattern & (0x20 >> b)) != 0;
        if (!coded && !intraDc) continue;
        clearBlock(block);
        int start = 0;
        if (intraDc) {
            int dc = int(reader.get(8));
            if (dc == 255) dc = 128;
            block[0] = std::int16_t(dc * 8);
            lastScan[b] = 0;
            start = 1;
        }
        if (coded) lastScan[b] = readCoefficients(reader, tables.tcoef.data(), block, start, c.quantiser, lastScan[b]);
    }
}

}  // namespace

bool DecodeIntraMacroblocks(BitReader& reader, MacroblockContext& c) {
    const VlcTables& tables = GetVlcTables();
    for (int row = 0; row < c.rows; ++row) {
        if (row > 0) skipGobHeader(reader, c);
        for (int column = 0; column < c.columns; ++column) {
            Mcbpc m{kTypeInter, 0};
            for (;;) {
                const std::uint32_t look = reader.show(kMcbpcLookahead);
                if (look == kStuffing) {
                    reader.skip(kMcbpcLookahead);
                    continue;
                }
                const McbpcEntry& e = tables.intraMcbpc[look];
                if (look >= 8 && e.length != 0) {
                    m = Mcbpc{e.type, e.cbpc};
                    reader.skip(e.length);
                }
                break;
            }
            const int cbpy = readCbpy(reader, tables, m.type);
            if (m.type == kTypeIntraQ) applyDquant(reader, c.quantiser);
            const int index = row * c.columns + column;
            c.modes[index] = m.type;
            c.vectors[2 * index] = 0;
            c.vectors[2 * index + 1] = 0;
            int lastScan[kBlocksPerMacroblock];
            readBlocks(reader, tables, c, (cbpy << 2) | m.cbpc, true, lastScan);
            if (reader.overrun()) {
                concealFrom(c, index);
                return false;
            }
            ReconstructIntra(c.target, row, column, c.blocks, lastScan);
        }
    }
    return true;
}

bool DecodePredictedMacroblocks(BitReader& reader, MacroblockContext& c) {
    const VlcTables& tables = GetVlcTables();
    for (int row = 0; row < c.rows; ++row) {
        const bool firstRow = row == 0 || skipGobHeader(reader, c);
        for (int column = 0; column < c.columns; ++column) {
            const int index = row * c.columns + column;
            bool notCoded = false;
            Mcbpc m{kTypeInter, 0};
            for (;;) {
                if (reader.getBit() == 1) {
                    notCoded = true;
                    break;
                }
                const std::uint32_t look = reader.show(kMcbpcLookahead);
                if (look == kStuffing) {
                    reader.skip(kMcbpcLookahead);
                    continue;
                }
                const McbpcEntry& e = tables.interMcbpc[look];
                if (look != 0 && e.length != 0) {
                    m = Mcbpc{e.type, e.cbpc};
                    reader.skip(e.length);
                }
                break;
            }
            if (notCoded) {
                c.modes[index] = kTypeInter;
                c.vectors[2 * index] = 0;
                c.vectors[2 * index + 1] = 0;
                if (reader.overrun()) {
                    concealFrom(c, index);
                    return false;
                }
                CopyNotCoded(c.target, row, column);
                continue;
            }
            const int cbpy = readCbpy(reader, tables, m.type);
            if (m.type == kTypeInterQ || m.type == kTypeIntraQ) applyDquant(reader, c.quantiser);
            int vx = 0;
            int vy = 0;
            const bool predicted = m.type == kTypeInter || m.type == kTypeInterQ;
            if (predicted) {
                int dx = readMvd(reader, tables);
                int dy = readMvd(reader, tables);
                if (dx >= 32) dx -= 64;
                if (dy >= 32) dy -= 64;
                int px = 0;
                int py = 0;
                predictVector(c, row, column, 0, firstRow, &px);
                predictVector(c, row, column, 1, firstRow, &py);
                vx = wrapVector(px + dx);
                vy = wrapVector(py + dy);
            }
            c.modes[index] = m.type;
            c.vectors[2 * index] = vx;
            c.vectors[2 * index + 1] = vy;
            const int pattern = (cbpy << 2) | m.cbpc;
            int lastScan[kBlocksPerMacroblock];
            readBlocks(reader, tables, c, pattern, m.type == kTypeIntra || m.type == kTypeIntraQ, lastScan);
            if (reader.overrun()) {
                concealFrom(c, index);
                return false;
            }
            if (predicted) {
                ReconstructPredicted(c.target, row, column, vx, vy, c.blocks, lastScan);
            } else {
                ReconstructIntra(c.target, row, column, c.blocks, lastScan);
            }
        }
    }
    return true;
}

}  // namespace vistrel::h263
