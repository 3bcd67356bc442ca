// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef VIEWFINDINGBENCH_H
#define VIEWFINDINGBENCH_H

#include <QSize>
#include <QVector>

// Finding one's way through a season on jagged logs of 1M and 10M records (those of the given
// counts), in a window of the given size: a step back or forward through views and "Zeitraum..."
// against a redraw of the view they reach; the overview strip's own drawing as the chart moves
// and after a load; a drag on the strip against one on the chart; and the redraw, the read-out's
// move and a click with the strip shown against the same without it. Prints a table and the
// targets; 0 when all are met.
namespace ViewFindingBench {

int run(const QVector<qint64> &recordCounts, const QSize &windowSize);

} // namespace ViewFindingBench

#endif // VIEWFINDINGBENCH_H
