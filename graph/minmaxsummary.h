// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MINMAXSUMMARY_H
#define MINMAXSUMMARY_H

#include <qcustomplot.h>

#include <functional>
#include <vector>

// Lowest and highest value and the sum of the values of any run of points, found in a few dozen
// steps however long the run: a pyramid of block summaries, each level summarising kFanout
// entries of the level below. It keeps no pointer to the points; the caller hands the same
// points to build and to queries.
class MinMaxSummary
{
public:
    // Which end of the values a search is after.
    enum class End { Lowest, Highest };

    // afterPart, where given, runs between parts of the pass over the points, a few
    // milliseconds each, so that a load may let the window turn while millions are summarised.
    void build(const QCPGraphData *points, int count, const std::function<void()> &afterPart = {});
    // Room for a summary of count points, for one extended as its points come; placeMemory, where
    // given, is told where the room lies before it is touched.
    using PlaceMemory = void (*)(void *start, size_t bytes);
    void reserve(int count, PlaceMemory placeMemory = nullptr);
    // Brings the summary up to points[0, count) where only points[from, count) are new or have
    // moved since it was built: the cost follows count - from, not count.
    void extend(const QCPGraphData *points, int from, int count, const std::function<void()> &afterPart = {});
    // Extending while the points are written, on the threads that write them: makeRoom(from,
    // end) before points[from, end) are written, fill() by each thread for the points it wrote,
    // then extendFilled() as extend() would.
    // Room in the lowest level for the whole blocks of points[0, end), those from the block of
    // `from` on yet to be filled.
    void makeRoom(int from, int end);
    // Fills the lowest level's entries of the whole blocks within points[from, to), within the
    // room made; threads may fill disjoint stretches at once. True when one of the values is NaN.
    bool fill(const QCPGraphData *points, int from, int to);
    // As extend(), with the entries that fills covered taken as they are: only blocks no fill
    // covered whole (those across two stretches) are summarised here. gaps: whether a fill met a
    // NaN.
    void extendFilled(const QCPGraphData *points, int from, int count, bool gaps);
    // True when some value is NaN: the graph then breaks its line there, which extremes can't.
    bool hasGaps() const { return mHasGaps; }
    // Extremes of the values of points[first, last), first < last <= the count built from.
    QCPRange valueRange(const QCPGraphData *points, int first, int last) const;
    // Asks for the memory a query with an end at index reads, ahead of the query: the entries
    // around it on every level.
    void prefetch(const QCPGraphData *points, int index) const;
    // Sum of the values of points[first, last).
    double valueSum(const QCPGraphData *points, int first, int last) const;
    // The first index in [first, last) whose value is at or below bound (Lowest) or at or above
    // it (Highest); last when there is none.
    int firstReaching(const QCPGraphData *points, int first, int last, double bound, End end) const;
    // The index in [first, last) of the point nearest by distance(index), the lowest of equals,
    // searched nearest first: an entry is opened only while least(from, to, low, high), the
    // least distance any point of points[from, to) with values in [low, high] can have, does not
    // exceed the nearest found. *nearest holds the distance found (max() when last is empty).
    int nearestPoint(const QCPGraphData *points, int first, int last,
                     const std::function<double(int from, int to, double low, double high)> &least,
                     const std::function<double(int index)> &distance, double *nearest) const;

private:
    struct Block {
        double low;
        double high;
        double sum;
    };
    // Entries [from, to) of one level; level -1 is the points themselves.
    struct Piece {
        int level;
        int from;
        int to;
    };
    static const int kFanout = 32;
    // Blocks of points summarised between two calls of afterPart: 4M points, 64 MiB read.
    static const size_t kPartBlocks = size_t(1) << 17;
    // Blocks summarised side by side.
    static const int kSideBySide = 4;
    // Running extremes a query keeps side by side.
    static const int kLanes = 4;
    static const size_t kCacheLine = 64;

    std::vector<Block> &lowestLevel();
    void summarisePoints(const QCPGraphData *points, size_t from, int count, const std::function<void()> &afterPart);
    template <int Blocks>
    static bool summariseBlocks(const QCPGraphData *points, Block *summaries);
    void summariseLevel(size_t level, size_t from);
    void summariseLevelsAbove(size_t changed);
    static bool unfilled(const Block &block) { return block.low > block.high; }
    template <typename Visit>
    void forEachPiece(int first, int last, Visit visit) const;
    bool reaches(const QCPGraphData *points, int level, int index, double bound, End end) const;
    // How many points an entry of a level summarises.
    static int pointsPerEntry(int level);

    std::vector<std::vector<Block>> mLevels;
    bool mHasGaps = false;
};

#endif // MINMAXSUMMARY_H
