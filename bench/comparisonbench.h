// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMPARISONBENCH_H
#define COMPARISONBENCH_H

#include <QSize>
#include <QVector>

// What comparing with last week costs, in a window of the given size at the process's device
// pixel ratio, on smooth and jagged logs of 1M and 10M records (those of the given counts): each
// view the benchmark measures redrawn without and with "Vorwoche", by turns; a read-out move
// with it; and how many redraws choosing it takes. Prints a table and the targets; 0 when all
// are met.
namespace ComparisonBench {

int run(const QVector<qint64> &recordCounts, const QSize &windowSize);

} // namespace ComparisonBench

#endif // COMPARISONBENCH_H
