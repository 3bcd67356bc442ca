#ifndef BENCHREPORT_H
#define BENCHREPORT_H

// What every part of the benchmark shares: lines printed at once, so that a long run shows its
// progress, and the median of repeated timings.

#include <QString>
#include <QVector>

#include <algorithm>
#include <cstdio>

namespace BenchReport {

inline void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace BenchReport

#endif // BENCHREPORT_H
