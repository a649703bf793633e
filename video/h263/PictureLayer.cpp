// H.263 picture header and macroblock layers. The DVRs send macroblocks back to back from the
// picture header to the end of the picture; group-of-blocks headers, which standard encoders may put
// in front of a macroblock row, are recognised (taking their quantiser) and are where decoding
// resumes after damage.

#include "video/h263/PictureLayer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "video/h263/Conceal.h"
#include "video/h263/GobResync.h"
#include "video/h263/H263Tables.h"

namespace vistrel::h263 {

bool SizeCodeDimensions(int code, int* width, int* height) {
    switch (code) {
        case kSizeQcif:
            *width = 176;
            *height = 144;
            return true;
        case kSizeCif:
            *width = 352;
            *height = 288;
            return true;
        case kSize320x240:
            *width = 320;
            *height = 240;
            return true;
        case kSize640x480:
            *width = 640;
            *height = 480;
            return true;
        case kSize640x240:
            *width = 640;
            *height = 240;
            return true;
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
constexpr int kBadCode = -2;            // readCoefficients: a code that does not exist

// Damage is seen only some way behind where it struck: the macroblocks before the one that failed
// were likely read from the same wrong bits, and garbage kept in a picture lives on in every picture
// predicted from it. On ffmpeg streams with bit flips, 15 beat 5 (too much garbage kept) and 25 or
// the whole group (good macroblocks thrown away, which hurts most where the data was merely cut).
constexpr int kSuspectBeforeError = 15;

struct Mcbpc {
    int type;
    int cbpc;
};

// Reads the coefficients of one block from scan position `position` on, storing them in raster
// order. Returns the highest scan position written, `lastScan` unchanged when none was, or kBadCode
// for a code that does not exist or a run beyond the 64th coefficient.
int readCoefficients(BitReader& reader, const TcoefEntry* table, std::int16_t* block, int position, int quantiser,
                     int lastScan) {
    // Escape code 7 + LAST 1 + RUN 6 + LEVEL 8, and every other code with its sign bit, fit in one
    // 32-bit window, so each coefficient takes one look at the stream.
    constexpr int kWindow = 32;
    while (position < 64) {
        const std::uint32_t bits = reader.show(kWindow);
        const TcoefEntry& e = table[bits >> (kWindow - kTcoefLookahead)];
        if (e.length == 0) return kBadCode;
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
        if (position >= 64) return kBadCode;
        // At most 31 * 257: always within 16 bits.
        block[kZigzag[position]] = std::int16_t(Dequantise(level, negative, quantiser));
        lastScan = position;
        ++position;
        if (last) return lastScan;
    }
    // Sixty-four coefficients without one marked last.
    return kBadCode;
}

// -1 for a code that does not exist.
int readCbpy(BitReader& reader, const VlcTables& tables, int type) {
    const std::uint32_t look = reader.show(kCbpyLookahead);
    if (look < 2) return -1;
    const CbpyEntry& e = tables.cbpy[look];
    reader.skip(e.length);
    return type == kTypeIntra || type == kTypeIntraQ ? e.value ^ 15 : e.value;
}

void applyDquant(BitReader& reader, int& quantiser) {
    quantiser = std::clamp(quantiser + kDquant[reader.get(2)], 1, kMaxQuantiser);
}

// False for a code that does not exist.
bool readMvd(BitReader& reader, const VlcTables& tables, int* value) {
    const MvdEntry& e = tables.mvd[reader.show(kMvdLookahead)];
    if (e.length == 0) return false;
    reader.skip(e.length);
    if (e.magnitude == 0) {
        *value = 0;
    } else {
        *value = reader.getBit() ? -int(e.magnitude) : int(e.magnitude);
    }
    return true;
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

// Eight plain vector stores: a memset here otherwise becomes a slow string instruction.
inline void clearBlock(std::int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < kBlockSize; i += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + i), zero);
#else
    std::memset(block, 0, sizeof(std::int16_t) * kBlockSize);
#endif
}

// Fills the coefficient buffer (raster order) and the last scan position of every block. False on a
// code that does not exist.
bool readBlocks(BitReader& reader, const VlcTables& tables, MacroblockContext& c, int pattern, bool intraDc,
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
        if (coded) {
            lastScan[b] = readCoefficients(reader, tables.tcoef.data(), block, start, c.quantiser, lastScan[b]);
            if (lastScan[b] == kBadCode) return false;
        }
    }
    return true;
}

// One macroblock of an intra picture; false when its data is damaged (nothing is then written).
bool decodeIntraMacroblock(BitReader& reader, const VlcTables& tables, MacroblockContext& c, int row, int column) {
    Mcbpc m{kTypeIntra, 0};
    for (;;) {
        const std::uint32_t look = reader.show(kMcbpcLookahead);
        if (look == kStuffing) {
            reader.skip(kMcbpcLookahead);
            continue;
        }
        const McbpcEntry& e = tables.intraMcbpc[look];
        if (look < 8 || e.length == 0) return false;
        m = Mcbpc{e.type, e.cbpc};
        reader.skip(e.length);
        break;
    }
    const int cbpy = readCbpy(reader, tables, m.type);
    if (cbpy < 0) return false;
    if (m.type == kTypeIntraQ) applyDquant(reader, c.quantiser);
    const int index = row * c.columns + column;
    int lastScan[kBlocksPerMacroblock];
    if (!readBlocks(reader, tables, c, (cbpy << 2) | m.cbpc, true, lastScan) || reader.overrun()) return false;
    // The vector stays the previous picture's: concealment moves that picture on by it.
    c.modes[index] = m.type;
    ReconstructIntra(c.target, row, column, c.blocks, lastScan);
    return true;
}

// One macroblock of a predicted picture; false when its data is damaged (nothing is then written).
// Four-vector macroblocks belong to advanced prediction, which the decoder does not do: one in the
// stream is damage.
bool decodePredictedMacroblock(BitReader& reader, const VlcTables& tables, MacroblockContext& c, int row,
                               int column, bool firstRow) {
    const int index = row * c.columns + column;
    Mcbpc m{kTypeInter, 0};
    for (;;) {
        if (reader.getBit() == 1) {
            if (reader.overrun()) return false;
            c.modes[index] = kTypeInter;
            c.vectors[2 * index] = 0;
            c.vectors[2 * index + 1] = 0;
            CopyNotCoded(c.target, row, column);
            return true;
        }
        const std::uint32_t look = reader.show(kMcbpcLookahead);
        if (look == kStuffing) {
            reader.skip(kMcbpcLookahead);
            continue;
        }
        const McbpcEntry& e = tables.interMcbpc[look];
        if (look == 0 || e.length == 0 || e.type == kTypeInter4V) return false;
        m = Mcbpc{e.type, e.cbpc};
        reader.skip(e.length);
        break;
    }
    const int cbpy = readCbpy(reader, tables, m.type);
    if (cbpy < 0) return false;
    if (m.type == kTypeInterQ || m.type == kTypeIntraQ) applyDquant(reader, c.quantiser);
    int vx = 0;
    int vy = 0;
    const bool predicted = m.type == kTypeInter || m.type == kTypeInterQ;
    if (predicted) {
        int dx = 0;
        int dy = 0;
        if (!readMvd(reader, tables, &dx) || !readMvd(reader, tables, &dy)) return false;
        if (dx >= 32) dx -= 64;
        if (dy >= 32) dy -= 64;
        int px = 0;
        int py = 0;
        predictVector(c, row, column, 0, firstRow, &px);
        predictVector(c, row, column, 1, firstRow, &py);
        vx = wrapVector(px + dx);
        vy = wrapVector(py + dy);
    }
    const int pattern = (cbpy << 2) | m.cbpc;
    int lastScan[kBlocksPerMacroblock];
    if (!readBlocks(reader, tables, c, pattern, !predicted, lastScan) || reader.overrun()) return false;
    c.modes[index] = m.type;
    c.vectors[2 * index] = vx;
    c.vectors[2 * index + 1] = vy;
    if (predicted) {
        ReconstructPredicted(c.target, row, column, vx, vy, c.blocks, lastScan);
    } else {
        ReconstructIntra(c.target, row, column, c.blocks, lastScan);
    }
    return true;
}

// The group of blocks being decoded: where it begins in the picture and in the data.
struct Group {
    int number = 0;
    int firstIndex = 0;         // its first macroblock (raster order)
    std::size_t dataStart = 0;  // bit position of its first macroblock
};

bool decodeMacroblocks(BitReader& reader, MacroblockContext& c, bool predicted) {
    const VlcTables& tables = GetVlcTables();
    const int total = c.rows * c.columns;
    bool intact = true;
    Group group{0, 0, reader.bitPosition()};
    // Resumes at a group header the reader stands behind; the macroblocks before it are lost.
    auto resume = [&](const GroupHeader& header, int lostFrom) {
        const int first = header.group * c.columns;
        MarkLost(c, lostFrom, first, predicted);
        if (header.quantiser > 0) c.quantiser = header.quantiser;
        group = Group{header.group, first, reader.bitPosition()};
        return first;
    };
    int index = 0;
    while (index < total) {
        const int row = index / c.columns;
        const int column = index % c.columns;
        bool good = true;
        if (column == 0 && row > 0) {
            GroupHeader header;
            if (ReadGroupHeader(reader, c.continuousPresence, &header)) {
                if (header.group == row) {
                    index = resume(header, index);
                } else if (header.group > row && header.group < c.rows) {
                    // Whole rows are missing (a group cut out): resume behind them.
                    intact = false;
                    index = resume(header, index);
                    continue;
                } else {
                    good = false;
                }
            }
        }
        if (good) {
            good = predicted ? decodePredictedMacroblock(reader, tables, c, row, column,
                                                         row * c.columns == group.firstIndex)
                             : decodeIntraMacroblock(reader, tables, c, row, column);
        }
        // Sixteen zero bits begin no macroblock: standing on them anywhere but at a row's start means
        // the bits before were not what they seemed.
        if (good && index + 1 < total && (index + 1) % c.columns != 0 && reader.show(16) == 0) {
            ++index;
            good = false;
        }
        if (good) {
            ++index;
            continue;
        }
        intact = false;
        // The search starts where the group's data does: damage may have made the decoder read
        // through the next header without noticing.
        GroupHeader next;
        if (!FindGroupHeader(reader, group.dataStart, group.number + 1, c.rows - 1, c.continuousPresence, &next)) {
            MarkLost(c, std::max(group.firstIndex, index - kSuspectBeforeError), total, predicted);
            break;
        }
        const int first = next.group * c.columns;
        index = resume(next, std::max(group.firstIndex, std::min(index, first) - kSuspectBeforeError));
    }
    if (!intact) ConcealLost(c, predicted);
    return intact;
}

}  // namespace

bool DecodeIntraMacroblocks(BitReader& reader, MacroblockContext& c) {
    return decodeMacroblocks(reader, c, false);
}

bool DecodePredictedMacroblocks(BitReader& reader, MacroblockContext& c) {
    return decodeMacroblocks(reader, c, true);
}

}  // namespace vistrel::h263
