// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REFERENCEPATH_H
#define REFERENCEPATH_H

// The straightforward way to open logs and draw them, kept as the yardstick for the benchmark
// and the tests: 41-byte reads, one addData per point and channel, QCustomPlot's stock graphs.
// It decodes by hand and shares no code with the program's own loader.

#include <QStringList>

class QCustomPlot;

namespace ReferencePath {

// Replaces the chart's graphs by stock graphs with the same names, pens, brushes, line style
// and axes, in the same order, sharing the data the old graphs held.
void useStockGraphs(QCustomPlot *plot);

// Empties the graphs, reads the files record by record, fits the time axis to the first and
// last record read and the temperature axis to -10..100, and redraws.
void openLogs(QCustomPlot *plot, const QStringList &fileNames);

} // namespace ReferencePath

#endif // REFERENCEPATH_H
