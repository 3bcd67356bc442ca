// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MEASURINGBENCH_H
#define MEASURINGBENCH_H

#include <QStringList>
#include <QVector>

// Measuring on the chart, on jagged logs of 1M and 10M records (those of the given counts):
// "Statistik..." from the menu entry to the dialog up with its table filled, over the whole
// range and over 10k records in view; setting a marker, from the menu entry to the chart
// repainted, against a full redraw, counting the full redraws it caused. Prints a table and the
// targets; 0 when all are met.
namespace MeasuringBench {

int run(const QVector<qint64> &recordCounts);
// "--measuring 50000000": these figures alone, at the counts given; -1 for other arguments.
int runFromArguments(const QStringList &arguments);

} // namespace MeasuringBench

#endif // MEASURINGBENCH_H
