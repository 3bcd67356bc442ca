#include "chart/minmaxsummary.h"

#include <limits>

void MinMaxSummary::build(const QCPGraphData *points, int count)
{
    mLevels.clear();

    // One pass over the points, which are usually fresh from a load and no longer in cache.
    // A NaN value fails every comparison, which is how it is noticed on the way.
    bool gaps = false;
    std::vector<Extremes> level(size_t(count / kFanout));
    for (size_t block = 0; block < level.size(); ++block) {
        const QCPGraphData *blockPoints = points + block * kFanout;
        double low = blockPoints[0].value;
        double high = low;
        for (int i = 1; i < kFanout; ++i) {
            const double value = blockPoints[i].value;
            low = value < low ? value : low;
            high = value > high ? value : high;
            gaps |= value != value;
        }
        gaps |= low != low;
        level[block] = Extremes{low, high};
    }
    for (int i = int(level.size()) * kFanout; i < count; ++i)
        gaps |= points[i].value != points[i].value;
    mHasGaps = gaps;

    while (!level.empty()) {
        std::vector<Extremes> above(level.size() / kFanout);
        for (size_t block = 0; block < above.size(); ++block) {
            Extremes extremes = level[block * kFanout];
            for (int i = 1; i < kFanout; ++i) {
                extremes.low = std::min(extremes.low, level[block * kFanout + i].low);
                extremes.high = std::max(extremes.high, level[block * kFanout + i].high);
            }
            above[block] = extremes;
        }
        mLevels.push_back(std::move(level));
        level = std::move(above);
    }
}

QCPRange MinMaxSummary::valueRange(const QCPGraphData *points, int first, int last) const
{
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    // Level -1 is the points themselves; level k holds blocks of kFanout^(k+1) points.
    auto take = [&](int level, int from, int to) {
        for (int i = from; i < to; ++i) {
            const Extremes extremes = level < 0 ? Extremes{points[i].value, points[i].value}
                                                : mLevels[size_t(level)][size_t(i)];
            low = std::min(low, extremes.low);
            high = std::max(high, extremes.high);
        }
    };

    // Walk up while whole blocks of the next level fit: only the ragged ends are read below.
    int level = -1;
    while (first < last) {
        const int innerFirst = (first + kFanout - 1) / kFanout;
        const int innerLast = last / kFanout;
        if (level + 1 >= int(mLevels.size()) || innerFirst >= innerLast) {
            take(level, first, last);
            break;
        }
        take(level, first, innerFirst * kFanout);
        take(level, innerLast * kFanout, last);
        first = innerFirst;
        last = innerLast;
        ++level;
    }
    return QCPRange(low, high);
}
