#include "video/h263/Conceal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

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

// A candidate replaces the first one only when its prediction joins at least this many times better
// (on damaged ffmpeg streams 2 kept nearly all of what matching gains on bit flips, and lost nothing
// on single lost rows, where plain matching did worse than ffmpeg's concealment).
constexpr long kClearlyBetter = 2;

// Vectors worth trying for a lost macroblock of a predicted picture: the vector of each neighbour that
// has one (decoded ones, and the lost ones above and to the left, concealed before it), their median
// when there are three or more, and no motion; each distinct vector once. Earlier ones win ties (on
// flat ground every vector joins equally well, and the neighbours' motion is the likelier).
struct Candidates {
    static constexpr int kMax = 6;
    int x[kMax];
    int y[kMax];
    int count = 0;
    void add(int vx, int vy) {
        for (int i = 0; i < count; ++i)
            if (x[i] == vx && y[i] == vy) return;
        if (count == kMax) return;
        x[count] = vx;
        y[count] = vy;
        ++count;
    }
};

int median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

Candidates vectorCandidates(const MacroblockContext& c, int row, int column) {
    Candidates out;
    int nx[4];
    int ny[4];
    int n = 0;
    const int sides[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& side : sides) {
        const int r = row + side[0];
        const int col = column + side[1];
        const bool concealedBefore = (side[0] < 0 || side[1] < 0) && lost(c, r, col);
        if (!knownMotion(c, r, col) && !concealedBefore) continue;
        const int index = r * c.columns + col;
        nx[n] = c.vectors[2 * index];
        ny[n] = c.vectors[2 * index + 1];
        out.add(nx[n], ny[n]);
        ++n;
    }
    if (n >= 3) out.add(median3(nx[0], nx[1], nx[2]), median3(ny[0], ny[1], ny[2]));
    out.add(0, 0);
    return out;
}

// How badly the luma of the macroblock just predicted joins onto the decoded samples around it.
// Concealed neighbours do not count: inside a large hole they would only reward the vector they were
// concealed with, wherever it came from, and every candidate ties (the first, a neighbour's, wins).
long boundaryCost(const MacroblockContext& c, int row, int column) {
    const int w = c.target.width;
    const std::uint8_t* p = c.target.output + std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    const bool above = row > 0 && !lost(c, row - 1, column);
    const bool left = column > 0 && !lost(c, row, column - 1);
    const bool below = row + 1 < c.rows && !lost(c, row + 1, column);
    const bool right = column + 1 < c.columns && !lost(c, row, column + 1);
    long cost = 0;
    for (int i = 0; i < 16; ++i) {
        if (above) cost += std::abs(p[i] - p[i - w]);
        if (below) cost += std::abs(p[15 * w + i] - p[16 * w + i]);
        if (left) cost += std::abs(p[i * w] - p[i * w - 1]);
        if (right) cost += std::abs(p[i * w + 15] - p[i * w + 16]);
    }
    return cost;
}

// One plane of the picture, in macroblock-sized squares of `size` samples.
struct Plane {
    std::uint8_t* samples;
    int stride;
    int size;
};

// The decoded macroblocks nearest to a lost one in each of the four directions: its row or column
// index, or one past the picture's edge (-1, rows, columns) when there is none that way.
struct Nearest {
    int above, below, left, right;
};

// Every macroblock's nearest decoded ones, found in four sweeps over the picture (which macroblocks
// are lost does not change while the picture is concealed). Looking outwards from each lost one
// instead crossed the whole hole above every macroblock of a picture lost from near its top.
class NearestDecoded {
public:
    explicit NearestDecoded(const MacroblockContext& c)
        : columns_(c.columns), cells_(std::size_t(c.rows * c.columns)) {
        auto decoded = [&](int r, int col) { return c.modes[r * c.columns + col] != kModeLost; };
        // Along one line of `count` macroblocks from `first` by `step`: each gets the index of the
        // last decoded one passed before it, `none` until there is one.
        auto sweep = [](int count, int first, int step, int none, auto isDecoded, auto nearest) {
            for (int i = first, last = none; i >= 0 && i < count; i += step) {
                nearest(i) = last;
                if (isDecoded(i)) last = i;
            }
        };
        for (int r = 0; r < c.rows; ++r) {
            auto inRow = [&](int col) { return decoded(r, col); };
            sweep(c.columns, 0, 1, -1, inRow, [&](int col) -> int& { return cell(r, col).left; });
            sweep(c.columns, c.columns - 1, -1, c.columns, inRow,
                  [&](int col) -> int& { return cell(r, col).right; });
        }
        for (int col = 0; col < c.columns; ++col) {
            auto inColumn = [&](int r) { return decoded(r, col); };
            sweep(c.rows, 0, 1, -1, inColumn, [&](int r) -> int& { return cell(r, col).above; });
            sweep(c.rows, c.rows - 1, -1, c.rows, inColumn, [&](int r) -> int& { return cell(r, col).below; });
        }
    }
    const Nearest& at(int row, int column) const { return cells_[std::size_t(row * columns_ + column)]; }

private:
    Nearest& cell(int row, int column) { return cells_[std::size_t(row * columns_ + column)]; }
    int columns_;
    std::vector<Nearest> cells_;
};

// Fills the lost macroblock's square of one plane from the decoded squares nearest to it in each of
// the four directions, each edge sample weighted by the inverse of its distance: a large hole then
// gets a smooth blend of its surroundings instead of a flat copy of one neighbour.
void interpolateSquare(const MacroblockContext& c, const Plane& p, int row, int column, const Nearest& nearest) {
    const int above = nearest.above, below = nearest.below, left = nearest.left, right = nearest.right;
    const int n = p.size;
    const std::ptrdiff_t stride = p.stride;
    std::uint8_t* square = p.samples + std::size_t(row * n) * std::size_t(p.stride) + std::size_t(column * n);
    const std::uint8_t* aboveLine = above >= 0 ? square + ((above - row) * n + n - 1) * stride : nullptr;
    const std::uint8_t* belowLine = below < c.rows ? square + (below - row) * n * stride : nullptr;
    const std::uint8_t* leftColumn = left >= 0 ? square + (left - column) * n + n - 1 : nullptr;
    const std::uint8_t* rightColumn = right < c.columns ? square + (right - column) * n : nullptr;
    const int known =
        (aboveLine != nullptr) + (belowLine != nullptr) + (leftColumn != nullptr) + (rightColumn != nullptr);
    // A whole picture can be lost to a few damaged bytes: one known side, or none, is a plain fill.
    if (known <= 1 && leftColumn == nullptr && rightColumn == nullptr) {
        for (int y = 0; y < n; ++y) {
            std::uint8_t* line = square + y * stride;
            if (aboveLine != nullptr) std::memcpy(line, aboveLine, std::size_t(n));
            else if (belowLine != nullptr) std::memcpy(line, belowLine, std::size_t(n));
            else std::memset(line, kMidGrey, std::size_t(n));
        }
        return;
    }
    if (known == 1) {
        const std::uint8_t* edge = leftColumn != nullptr ? leftColumn : rightColumn;
        for (int y = 0; y < n; ++y) std::memset(square + y * stride, edge[y * stride], std::size_t(n));
        return;
    }
    // Weights by distance, made once per square: a sample's weight from above depends on its line
    // only, from the left on its column only. Sums stay below 4 * 2^16 * 255, within 32 bits.
    constexpr int kUnit = 1 << 16;
    constexpr int kMaxSize = 16;
    int fromAbove[kMaxSize] = {};
    int fromBelow[kMaxSize] = {};
    int fromLeft[kMaxSize] = {};
    int fromRight[kMaxSize] = {};
    for (int i = 0; i < n; ++i) {
        if (aboveLine != nullptr) fromAbove[i] = kUnit / ((row - above - 1) * n + i + 1);
        if (belowLine != nullptr) fromBelow[i] = kUnit / ((below - row - 1) * n + n - i);
        if (leftColumn != nullptr) fromLeft[i] = kUnit / ((column - left - 1) * n + i + 1);
        if (rightColumn != nullptr) fromRight[i] = kUnit / ((right - column - 1) * n + n - i);
    }
    for (int y = 0; y < n; ++y) {
        const int leftSample = leftColumn != nullptr ? leftColumn[y * stride] : 0;
        const int rightSample = rightColumn != nullptr ? rightColumn[y * stride] : 0;
        for (int x = 0; x < n; ++x) {
            const int aboveSample = aboveLine != nullptr ? aboveLine[x] : 0;
            const int belowSample = belowLine != nullptr ? belowLine[x] : 0;
            const int sum = fromAbove[y] * aboveSample + fromBelow[y] * belowSample + fromLeft[x] * leftSample +
                            fromRight[x] * rightSample;
            const int weight = fromAbove[y] + fromBelow[y] + fromLeft[x] + fromRight[x];
            square[y * stride + x] = std::uint8_t((sum + weight / 2) / weight);
        }
    }
}

void interpolateLost(const MacroblockContext& c, int row, int column, const Nearest& nearest) {
    const ReconstructionTarget& t = c.target;
    const std::size_t lumaSize = std::size_t(t.width) * std::size_t(t.height);
    interpolateSquare(c, Plane{t.output, t.width, 16}, row, column, nearest);
    interpolateSquare(c, Plane{t.output + lumaSize, t.width / 2, 8}, row, column, nearest);
    interpolateSquare(c, Plane{t.output + lumaSize + lumaSize / 4, t.width / 2, 8}, row, column, nearest);
}

// Mean difference per sample below which the previous picture counts as alike whatever the spatial
// measure says (a flat or barely decoded picture gives that measure nothing to stand on).
constexpr long kAlikeDifference = 2;

// Whether the intra picture looks unlike the previous one where it was decoded (a scene change, or a
// previous picture spoilt by damage): then its own surroundings stand in for a lost macroblock better
// than the previous picture does. Measured as the difference from the previous picture moved on by its
// motion there (to the whole sample), against that picture's own difference from one macroblock row
// lower, on every other line.
bool unlikePrevious(const MacroblockContext& c) {
    const ReconstructionTarget& t = c.target;
    const int w = t.width;
    long temporal = 0;
    long spatial = 0;
    long samples = 0;
    for (int row = 0; row + 1 < c.rows; ++row) {
        for (int column = 0; column < c.columns; ++column) {
            const int index = row * c.columns + column;
            if (c.modes[index] == kModeLost) continue;
            const int x0 = 16 * column;
            const int y0 = 16 * row;
            const int mx = std::clamp(x0 + (c.vectors[2 * index] >> 1), 0, w - 16) - x0;
            const int my = std::clamp(y0 + (c.vectors[2 * index + 1] >> 1), 0, t.height - 16) - y0;
            const std::size_t origin = std::size_t(y0) * std::size_t(w) + std::size_t(x0);
            const std::ptrdiff_t moved = std::ptrdiff_t(my) * w + mx;
            samples += 8 * 16;
            for (int y = 0; y < 16; y += 2) {
                const std::size_t line = origin + std::size_t(y) * std::size_t(w);
                const std::uint8_t* now = t.output + line;
                const std::uint8_t* before = t.reference + line;
                const std::uint8_t* lower = before + std::size_t(16 * w);
                for (int x = 0; x < 16; ++x) {
                    temporal += std::abs(now[x] - before[moved + x]);
                    spatial += std::abs(lower[x] - before[x]);
                }
            }
        }
    }
    return temporal > spatial && temporal > kAlikeDifference * samples;
}

long lumaSum(const MacroblockContext& c, int row, int column) {
    const int w = c.target.width;
    const std::uint8_t* p = c.target.output + std::size_t(16 * row) * std::size_t(w) + std::size_t(16 * column);
    long sum = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) sum += p[y * w + x];
    return sum;
}

// Mean luma difference from the interpolated surroundings beyond which the previous picture's
// macroblock is taken for damage it kept (garbage concealed or drifted there) rather than the scene:
// on damaged ffmpeg streams 32 gained on bit flips and cuts alike; 16 also threw good copies away.
constexpr long kUnlikeSurroundings = 32;

// A lost macroblock of an intra picture that looks like the previous one: the previous picture's
// macroblock moved on by its motion, unless it stands out from what the decoded surroundings suggest.
void copyOrInterpolate(const MacroblockContext& c, const NearestDecoded& nearestDecoded, int row, int column) {
    constexpr int kNoCoefficients[kBlocksPerMacroblock] = {-1, -1, -1, -1, -1, -1};
    const int index = row * c.columns + column;
    // With nothing decoded in its row or column the interpolation is only mid-grey and says nothing.
    const Nearest& nearest = nearestDecoded.at(row, column);
    const bool surroundingsKnown = nearest.above >= 0 || nearest.below < c.rows || nearest.left >= 0 ||
                                   nearest.right < c.columns;
    long interpolated = 0;
    if (surroundingsKnown) {
        interpolateLost(c, row, column, nearest);
        interpolated = lumaSum(c, row, column);
    }
    ReconstructPredicted(c.target, row, column, c.vectors[2 * index], c.vectors[2 * index + 1], c.blocks,
                         kNoCoefficients);
    if (surroundingsKnown && std::abs(lumaSum(c, row, column) - interpolated) > kUnlikeSurroundings * 256)
        interpolateLost(c, row, column, nearest);
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
    const bool spatial = !predicted && (!c.hasPrevious || unlikePrevious(c));
    std::optional<NearestDecoded> nearest;
    if (!predicted) nearest.emplace(c);
    for (int row = 0; row < c.rows; ++row) {
        for (int column = 0; column < c.columns; ++column) {
            if (c.modes[row * c.columns + column] != kModeLost) continue;
            if (spatial) {
                interpolateLost(c, row, column, nearest->at(row, column));
                continue;
            }
            if (!predicted) {
                copyOrInterpolate(c, *nearest, row, column);
                continue;
            }
            // The candidate whose prediction joins best onto the decoded macroblocks around: motion
            // goes on across the hole, and a wrong vector shows as a seam. But content the reference
            // does not hold (new detail, changing digits) shows as a seam for every vector, and then
            // the smoothest join is no truer than the first candidate: only a clearly better one wins.
            const Candidates candidates = vectorCandidates(c, row, column);
            int best = 0;
            long bestCost = -1;
            long firstCost = 0;
            // Inside a hole every candidate joins onto nothing and the first is kept untried.
            const bool joins = (row > 0 && !lost(c, row - 1, column)) ||
                               (column > 0 && !lost(c, row, column - 1)) ||
                               (row + 1 < c.rows && !lost(c, row + 1, column)) ||
                               (column + 1 < c.columns && !lost(c, row, column + 1));
            for (int i = 0; i < candidates.count && candidates.count > 1 && joins; ++i) {
                ReconstructPredicted(c.target, row, column, candidates.x[i], candidates.y[i], c.blocks,
                                     kNoCoefficients);
                const long cost = boundaryCost(c, row, column);
                if (i == 0) firstCost = cost;
                if (bestCost < 0 || (cost < bestCost && cost * kClearlyBetter < firstCost)) {
                    best = i;
                    bestCost = cost;
                }
            }
            const int vx = candidates.x[best];
            const int vy = candidates.y[best];
            // Raster order: later lost neighbours take this vector as a candidate of their own.
            c.vectors[2 * (row * c.columns + column)] = vx;
            c.vectors[2 * (row * c.columns + column) + 1] = vy;
            if (best + 1 != candidates.count || candidates.count == 1)
                ReconstructPredicted(c.target, row, column, vx, vy, c.blocks, kNoCoefficients);
        }
    }
}

}  // namespace vistrel::h263
