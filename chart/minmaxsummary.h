#ifndef MINMAXSUMMARY_H
#define MINMAXSUMMARY_H

#include <qcustomplot.h>

#include <vector>

// Lowest and highest value of any run of points, found in a few dozen steps however long the
// run: a pyramid of block extremes, each level summarising kFanout entries of the level below.
// It keeps no pointer to the points; the caller hands the same points to build and to queries.
class MinMaxSummary
{
public:
    void build(const QCPGraphData *points, int count);
    // True when some value is NaN: the graph then breaks its line there, which extremes can't.
    bool hasGaps() const { return mHasGaps; }
    // Extremes of the values of points[first, last), first < last <= the count built from.
    QCPRange valueRange(const QCPGraphData *points, int first, int last) const;

private:
    struct Extremes {
        double low;
        double high;
    };
    static const int kFanout = 32;

    std::vector<std::vector<Extremes>> mLevels;
    bool mHasGaps = false;
};

#endif // MINMAXSUMMARY_H
