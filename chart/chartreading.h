// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTREADING_H
#define CHARTREADING_H

#include "graph/minmaxsummary.h"

#include <qcustomplot.h>

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

// What every reading of the chart's records shares: which record is in effect at a time, which
// records lie in the time axis's range, a record's time as the axis writes it, and a box of lines
// over the plot area. Every graph holds one point per record, each at the same index.
namespace ChartReading {

// What a cell or a reading shows where there is no value.
inline const QString kNoValue = QStringLiteral("–");

// One line of a box; channels' lines carry their graph's colour in a small square before the text.
struct BoxLine {
    QString text;
    QColor swatch; // invalid for a line without a square
};

// Records [first, first + count) in every graph.
struct RecordSpan {
    int first = 0;
    int count = 0;
};

// The point in effect at key in a graph: the last one at or before it, of equal keys the last;
// null before the first.
const QCPGraphData *pointInEffect(const QCPGraph *graph, double key);
// The key of the record in effect at key, the latest point at or before it in any graph, hidden
// ones too (hiding a channel moves nothing); false when there is none.
bool recordInEffect(const QCustomPlot *plot, double key, double *recordKey);
// The graph's own summary when it keeps one; otherwise one built into spare.
const MinMaxSummary &summaryOf(const QCPGraph *graph, MinMaxSummary &spare);
// The graphs' names, in their order.
QStringList channelNames(const QCustomPlot *plot);
// The records whose keys lie within the time axis's range, ends included.
RecordSpan recordsInView(const QCustomPlot *plot);

// A record's time as the time axis writes it, on one line.
QString timeText(const QCustomPlot *plot, double key);
// A channel's whole degrees as the read-out writes them, "-3 °C"; a number already written.
QString degreesText(double value);
QString degreesText(const QString &number);
// A mean of whole degrees rounded half away from zero to a tenth, with a decimal comma: "41,3".
QString meanNumber(double sum, qint64 count);

// Where a span of the given length starts so that it lies inside [low, high], low winning when
// it is longer than that.
double keptInside(double start, double length, double low, double high);
QSizeF boxSize(const QFont &font, const QVector<BoxLine> &lines);
// The texts of a box's lines, top to bottom.
QStringList boxTexts(const QVector<BoxLine> &lines);
void drawBox(QCPPainter *painter, const QFont &font, const QRectF &box, const QVector<BoxLine> &lines);

} // namespace ChartReading

#endif // CHARTREADING_H
