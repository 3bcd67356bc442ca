// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/minmaxsummary.h"

#include <QVarLengthArray>

#include <algorithm>
#include <limits>
#include <queue>

void MinMaxSummary::build(const QCPGraphData *points, int count, const std::function<void()> &afterPart)
{
    mLevels.clear();
    mHasGaps = false;
    reserve(count);
    extend(points, 0, count, afterPart);
}

// Reserved, not zeroed: its pages are first touched part by part, where the window turns
// between; zeroing tens of megabytes at once held it for up to a tenth of a second. Grown on the
// way instead, each growth would copy the level into fresh pages.
void MinMaxSummary::reserve(int count, PlaceMemory placeMemory)
{
    std::vector<Block> &level = lowestLevel();
    level.reserve(size_t(std::max(count, 0) / kFanout));
    if (placeMemory)
        placeMemory(level.data(), level.capacity() * sizeof(Block));
}

// The lowest level, made where the summary has none yet.
std::vector<MinMaxSummary::Block> &MinMaxSummary::lowestLevel()
{
    if (mLevels.empty())
        mLevels.emplace_back();
    return mLevels.front();
}

void MinMaxSummary::extend(const QCPGraphData *points, int from, int count, const std::function<void()> &afterPart)
{
    summarisePoints(points, size_t(from / kFanout), count, afterPart);
    summariseLevelsAbove(size_t(from / kFanout));
}

void MinMaxSummary::makeRoom(int from, int end)
{
    if (from <= 0)
        mHasGaps = false;
    std::vector<Block> &level = lowestLevel();
    // No block has its lowest value above its highest: NaNs fail both comparisons.
    const double infinity = std::numeric_limits<double>::infinity();
    level.resize(std::min(level.size(), size_t(std::max(from, 0) / kFanout)));
    level.resize(std::max(level.size(), size_t(std::max(end, 0) / kFanout)), Block{infinity, -infinity, 0});
}

bool MinMaxSummary::fill(const QCPGraphData *points, int from, int to)
{
    if (mLevels.empty())
        return false;
    // Each thread writes entries of its own; the levels' shape stays.
    Block *level = mLevels.front().data();
    const size_t first = size_t((from + kFanout - 1) / kFanout);
    const size_t end = std::min(size_t(std::max(to, 0) / kFanout), mLevels.front().size());
    bool gaps = false;
    size_t block = first;
    for (; block + kSideBySide <= end; block += kSideBySide)
        gaps |= summariseBlocks<kSideBySide>(points + block * kFanout, level + block);
    for (; block < end; ++block)
        gaps |= summariseBlocks<1>(points + block * kFanout, level + block);
    return gaps;
}

void MinMaxSummary::extendFilled(const QCPGraphData *points, int from, int count, bool gaps)
{
    std::vector<Block> &level = lowestLevel();
    const size_t changed = size_t(from / kFanout);
    const size_t blocks = size_t(count / kFanout);
    level.resize(std::min(level.size(), blocks));
    for (size_t block = changed; block < level.size(); ++block) {
        if (unfilled(level[block]))
            gaps |= summariseBlocks<1>(points + block * kFanout, &level[block]);
    }
    mHasGaps = mHasGaps || gaps;
    summarisePoints(points, level.size(), count, {});
    summariseLevelsAbove(changed);
}

// The levels above the lowest, from the entries that summarise its entry `changed` on.
void MinMaxSummary::summariseLevelsAbove(size_t changed)
{
    size_t level = 1;
    for (; mLevels[level - 1].size() >= size_t(kFanout); ++level) {
        changed /= kFanout;
        if (mLevels.size() == level)
            mLevels.emplace_back();
        summariseLevel(level, changed);
    }
    // Each level summarises whole blocks of the one below; none is kept empty.
    mLevels.resize(mLevels.front().empty() ? 0 : level);
}

// The lowest level from its entry `from` on, up to the last whole block of points[0, count).
void MinMaxSummary::summarisePoints(const QCPGraphData *points, size_t from, int count,
                                    const std::function<void()> &afterPart)
{
    // One pass over the points, which are usually fresh from a load and no longer in cache.
    // A NaN value fails every comparison, which is how it is noticed on the way.
    bool gaps = false;
    std::vector<Block> &level = lowestLevel();
    level.resize(std::min(from, level.size()));
    const size_t blocks = size_t(count / kFanout);
    size_t block = level.size();
    for (; block + kSideBySide <= blocks; block += kSideBySide) {
        Block summaries[kSideBySide];
        gaps |= summariseBlocks<kSideBySide>(points + block * kFanout, summaries);
        level.insert(level.end(), summaries, summaries + kSideBySide);
        if (afterPart && (block + kSideBySide) / kPartBlocks != block / kPartBlocks)
            afterPart();
    }
    for (; block < blocks; ++block) {
        Block summary;
        gaps |= summariseBlocks<1>(points + block * kFanout, &summary);
        level.push_back(summary);
    }
    for (int i = int(blocks) * kFanout; i < count; ++i)
        gaps |= points[i].value != points[i].value;
    mHasGaps = mHasGaps || gaps;
}

// Summarises Blocks blocks of points side by side: each block's values are taken in their order,
// so every sum is the one a block alone gives to the last bit, but the blocks' chains of
// additions overlap instead of each addition waiting for the one before. True where a value is
// NaN.
template <int Blocks>
bool MinMaxSummary::summariseBlocks(const QCPGraphData *points, Block *summaries)
{
    double low[Blocks];
    double high[Blocks];
    double sum[Blocks];
    bool gaps = false;
    for (int b = 0; b < Blocks; ++b)
        low[b] = high[b] = sum[b] = points[b * kFanout].value;
    for (int i = 1; i < kFanout; ++i) {
        for (int b = 0; b < Blocks; ++b) {
            const double value = points[b * kFanout + i].value;
            low[b] = value < low[b] ? value : low[b];
            high[b] = value > high[b] ? value : high[b];
            sum[b] += value;
            gaps |= value != value;
        }
    }
    for (int b = 0; b < Blocks; ++b) {
        gaps |= low[b] != low[b];
        summaries[b] = Block{low[b], high[b], sum[b]};
    }
    return gaps;
}

// One level above the lowest from its entry `from` on, over the whole blocks of the level below.
void MinMaxSummary::summariseLevel(size_t level, size_t from)
{
    const std::vector<Block> &below = mLevels[level - 1];
    std::vector<Block> &above = mLevels[level];
    above.resize(std::min(from, above.size()));
    for (size_t block = above.size(); block < below.size() / kFanout; ++block) {
        Block summary = below[block * kFanout];
        for (int i = 1; i < kFanout; ++i) {
            const Block &entry = below[block * kFanout + i];
            summary.low = std::min(summary.low, entry.low);
            summary.high = std::max(summary.high, entry.high);
            summary.sum += entry.sum;
        }
        above.push_back(summary);
    }
}

// Cuts [first, last) into runs of whole entries, each of the highest level that fits: walks up
// while whole blocks of the next level fit, so only the ragged ends are read below. Visits each
// level's left end, then its right end, and last the middle of the highest level reached.
template <typename Visit>
void MinMaxSummary::forEachPiece(int first, int last, Visit visit) const
{
    int level = -1;
    while (first < last) {
        const int innerFirst = (first + kFanout - 1) / kFanout;
        const int innerLast = last / kFanout;
        if (level + 1 >= int(mLevels.size()) || innerFirst >= innerLast) {
            visit(Piece{level, first, last});
            return;
        }
        visit(Piece{level, first, innerFirst * kFanout});
        visit(Piece{level, innerLast * kFanout, last});
        first = innerFirst;
        last = innerLast;
        ++level;
    }
}

QCPRange MinMaxSummary::valueRange(const QCPGraphData *points, int first, int last) const
{
    // Four lanes side by side: each comparison waits only for its own lane's last one, not for
    // all before it.
    double low[kLanes];
    double high[kLanes];
    std::fill_n(low, kLanes, std::numeric_limits<double>::infinity());
    std::fill_n(high, kLanes, -std::numeric_limits<double>::infinity());
    auto take = [&](int from, int to, auto lowAt, auto highAt) {
        int i = from;
        for (; i + kLanes <= to; i += kLanes) {
            for (int lane = 0; lane < kLanes; ++lane) {
                low[lane] = std::min(low[lane], lowAt(i + lane));
                high[lane] = std::max(high[lane], highAt(i + lane));
            }
        }
        for (int lane = 0; i < to; ++i, ++lane) {
            low[lane] = std::min(low[lane], lowAt(i));
            high[lane] = std::max(high[lane], highAt(i));
        }
    };
    forEachPiece(first, last, [&](const Piece &piece) {
        if (piece.level < 0) {
            auto value = [points](int i) { return points[i].value; };
            take(piece.from, piece.to, value, value);
            return;
        }
        const Block *blocks = mLevels[size_t(piece.level)].data();
        take(piece.from, piece.to, [blocks](int i) { return blocks[i].low; }, [blocks](int i) { return blocks[i].high; });
    });
    return QCPRange(*std::min_element(low, low + kLanes), *std::max_element(high, high + kLanes));
}

void MinMaxSummary::prefetch(const QCPGraphData *points, int index) const
{
    // A query's end reads up to a whole group of kFanout entries around it on each level.
    auto fetchGroup = [](const char *from, size_t bytes) {
        for (size_t offset = 0; offset < bytes; offset += kCacheLine)
            __builtin_prefetch(from + offset);
    };
    size_t at = size_t(index) & ~size_t(kFanout - 1);
    fetchGroup(reinterpret_cast<const char *>(points + at), kFanout * sizeof(QCPGraphData));
    for (const std::vector<Block> &level : mLevels) {
        at = at / kFanout & ~size_t(kFanout - 1);
        if (at >= level.size())
            return;
        fetchGroup(reinterpret_cast<const char *>(level.data() + at),
                   std::min(size_t(kFanout), level.size() - at) * sizeof(Block));
    }
}

double MinMaxSummary::valueSum(const QCPGraphData *points, int first, int last) const
{
    double sum = 0;
    forEachPiece(first, last, [&](const Piece &piece) {
        for (int i = piece.from; i < piece.to; ++i)
            sum += piece.level < 0 ? points[i].value : mLevels[size_t(piece.level)][size_t(i)].sum;
    });
    return sum;
}

bool MinMaxSummary::reaches(const QCPGraphData *points, int level, int index, double bound, End end) const
{
    if (level < 0)
        return end == End::Lowest ? points[index].value <= bound : points[index].value >= bound;
    const Block &block = mLevels[size_t(level)][size_t(index)];
    return end == End::Lowest ? block.low <= bound : block.high >= bound;
}

int MinMaxSummary::firstReaching(const QCPGraphData *points, int first, int last, double bound, End end) const
{
    // The pieces come as left end, right end, level by level upwards, and the middle last: left
    // to right they are the even ones in order, then the odd ones backwards.
    QVarLengthArray<Piece, 64> pieces;
    forEachPiece(first, last, [&pieces](const Piece &piece) { pieces.append(piece); });
    QVarLengthArray<Piece, 64> leftToRight;
    for (int i = 0; i < pieces.size(); i += 2)
        leftToRight.append(pieces[i]);
    for (int i = pieces.size() - 2; i > 0; i -= 2)
        leftToRight.append(pieces[i]);

    for (const Piece &piece : leftToRight) {
        for (int index = piece.from; index < piece.to; ++index) {
            if (!reaches(points, piece.level, index, bound, end))
                continue;
            // Down to the first point in this entry that reaches: its first child that does.
            for (int level = piece.level; level >= 0; --level) {
                index *= kFanout;
                while (!reaches(points, level - 1, index, bound, end))
                    ++index;
            }
            return index;
        }
    }
    return last;
}

int MinMaxSummary::pointsPerEntry(int level)
{
    int points = 1;
    for (int i = 0; i <= level; ++i)
        points *= kFanout;
    return points;
}

int MinMaxSummary::nearestPoint(const QCPGraphData *points, int first, int last,
                                const std::function<double(int, int, double, double)> &least,
                                const std::function<double(int)> &distance, double *nearest) const
{
    struct Candidate {
        double least;
        int level;
        int index;
        // The heap's top is the nearest, of equals the lowest entry.
        bool operator<(const Candidate &other) const
        {
            return least != other.least ? least > other.least : index > other.index;
        }
    };
    std::priority_queue<Candidate> candidates;
    auto push = [&](int level, int index) {
        if (level < 0) {
            candidates.push(Candidate{distance(index), level, index});
            return;
        }
        const Block &block = mLevels[size_t(level)][size_t(index)];
        const int from = index * pointsPerEntry(level);
        candidates.push(Candidate{least(from, from + pointsPerEntry(level), block.low, block.high), level, index});
    };
    forEachPiece(first, last, [&](const Piece &piece) {
        for (int i = piece.from; i < piece.to; ++i)
            push(piece.level, i);
    });
    *nearest = std::numeric_limits<double>::max();
    int found = last;
    while (!candidates.empty() && candidates.top().least <= *nearest) {
        const Candidate candidate = candidates.top();
        candidates.pop();
        if (candidate.level >= 0) {
            for (int i = candidate.index * kFanout; i < (candidate.index + 1) * kFanout; ++i)
                push(candidate.level - 1, i);
        } else if (candidate.least < *nearest || candidate.index < found) {
            *nearest = candidate.least;
            found = candidate.index;
        }
    }
    return found;
}
