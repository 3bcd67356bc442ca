// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef READOUTBENCH_H
#define READOUTBENCH_H

#include <QSize>
#include <QVector>

// The cost of one mouse move over the chart with the read-out, from the move event to the
// read-out on screen, against one full redraw of the same chart, on jagged logs of 1M and 10M
// records (those of the given counts), in a window of the given size. Prints a table and the
// targets; 0 when all are met.
namespace ReadoutBench {

int run(const QVector<qint64> &recordCounts, const QSize &windowSize);

} // namespace ReadoutBench

#endif // READOUTBENCH_H
