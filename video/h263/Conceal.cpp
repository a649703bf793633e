#include "video/h263/Conceal.h"

#include <cstring>

#include "video/h263/H263Tables.h"

namespace vistrel::h263 {

namespace {

constexpr std::uint8_t kMidGrey = 128;

// A neighbour whose vector describes the motion around it: decoded, and predicted (an uncoded
// macroblock counts, its vector is zero).
bool knownMotion(const MacroblockContext& c, int row, int column) {
    if (row < 0 || row >= c.rows || column < 0 || column >= c.columns) return false;
    const int mode = c.modes[row * c.columns + column];
    return mode == kTypeInter || mode == kTypeInterQ;
}

bool lost(const MacroblockContext& c, int row, int column) {
    return row >= 0 && row < c.rows && column >= 0 && column < c.columns &&
           c.modes[row * c.columns + column] == kModeLost;
}

// The macroblock whose vector a lost one borrows, or -1 for none. Decoded neighbours come first (above,
// below, left); then the lost ones above and to the left, concealed already, whose vectors came from
// further away.
int concealingNeighbour(const MacroblockContext& c, int row, int column) {
    const int index = row * c.columns + column;
    if (knownMotion(c, row - 1, column)) return index - c.columns;
    if (knownMotion(c, row + 1, column)) return index + c.columns;
    if (knownMotion(c, row, column - 1)) return index - 1;
    if (lost(c, row - 1, column)) return index - c.columns;
    if (lost(c, row, column - 1)) return index - 1;
    return -1;
}

void fillGrey(const ReconstructionTarget& t, int row, int column) {
    const int w = t.width;
    const int cw = w / 2;
    const std::size_t lumaSize = std::size_t(w) * std::size_t(t.height);
    for (int y = 0; y < 16; ++y)
        std::memset(t.output + std::size_t(16 * row + y) * std::size_t(w) + std::size_t(16 * column), kMidGrey,
                    16);
    for (int c = 0; c < 2; ++c) {
        std::uint8_t* plane = t.output + lumaSize + std::size_t(c) * (lumaSize / 4);
        for (int y = 0; y < 8; ++y)
            std::memset(plane + std::size_t(8 * row + y) * std::size_t(cw) + std::size_t(8 * column), kMidGrey, 8);
    }
}

}  // namespace

void MarkLost(MacroblockContext& c, int from, int to, bool predicted) {
    for (int i = from; i < to; ++i) {
        c.modes[i] = kModeLost;
        if (!predicted) continue;
        c.vectors[2 * i] = 0;
        c.vectors[2 * i + 1] = 0;
    }
}

void ConcealLost(MacroblockContext& c, bool predicted) {
    constexpr int kNoCoefficients[kBlocksPerMacroblock] = {-1, -1, -1, -1, -1, -1};
    for (int row = 0; row < c.rows; ++row) {
        for (int column = 0; column < c.columns; ++column) {
            if (c.modes[row * c.columns + column] != kModeLost) continue;
            if (!predicted) {
                if (c.hasPrevious) {
                    const int index = row * c.columns + column;
                    ReconstructPredicted(c.target, row, column, c.vectors[2 * index], c.vectors[2 * index + 1],
                                         c.blocks, kNoCoefficients);
                } else {
                    fillGrey(c.target, row, column);
                }
                continue;
            }
            const int source = concealingNeighbour(c, row, column);
            const int vx = source < 0 ? 0 : c.vectors[2 * source];
            const int vy = source < 0 ? 0 : c.vectors[2 * source + 1];
            // Raster order: later lost neighbours take this vector as their own.
            c.vectors[2 * (row * c.columns + column)] = vx;
            c.vectors[2 * (row * c.columns + column) + 1] = vy;
            ReconstructPredicted(c.target, row, column, vx, vy, c.blocks, kNoCoefficients);
        }
    }
}

}  // namespace vistrel::h263
