// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartreading.h"

#include "graph/envelopegraph.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace ChartReading {

namespace {

const double kPadding = 4;
const double kSwatchGap = 4;
const QColor kBoxBorder(60, 60, 60, 200);
const QColor kBoxBackground(255, 255, 255, 230);
const QColor kSwatchBorder(60, 60, 60, 160);
const QString kUnit = QStringLiteral(" °C");

} // namespace

const QCPGraphData *pointInEffect(const QCPGraph *graph, double key)
{
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    const auto after = std::upper_bound(data->constBegin(), data->constEnd(), key,
                                        [](double wanted, const QCPGraphData &point) { return wanted < point.key; });
    return after == data->constBegin() ? nullptr : &*(after - 1);
}

bool recordInEffect(const QCustomPlot *plot, double key, double *recordKey)
{
    bool found = false;
    for (int i = 0; i < plot->graphCount(); ++i) {
        if (const QCPGraphData *point = pointInEffect(plot->graph(i), key)) {
            *recordKey = found ? qMax(*recordKey, point->key) : point->key;
            found = true;
        }
    }
    return found;
}

const MinMaxSummary &summaryOf(const QCPGraph *graph, MinMaxSummary &spare)
{
    if (const auto *envelope = qobject_cast<const EnvelopeGraph *>(graph))
        return envelope->upToDateSummary();
    spare.build(&*graph->data()->constBegin(), graph->dataCount());
    return spare;
}

QStringList channelNames(const QCustomPlot *plot)
{
    QStringList names;
    for (int graph = 0; graph < plot->graphCount(); ++graph)
        names.append(plot->graph(graph)->name());
    return names;
}

RecordSpan recordsInView(const QCustomPlot *plot)
{
    RecordSpan span;
    if (plot->graphCount() == 0)
        return span;
    const QCPRange range = plot->xAxis->range();
    const QSharedPointer<QCPGraphDataContainer> keys = plot->graph(0)->data();
    const auto first = keys->findBegin(range.lower, false);
    span.first = int(first - keys->constBegin());
    span.count = int(keys->findEnd(range.upper, false) - first);
    for (int graph = 1; graph < plot->graphCount(); ++graph)
        span.count = qMin(span.count, qMax(0, plot->graph(graph)->dataCount() - span.first));
    return span;
}

QString timeText(const QCustomPlot *plot, double key)
{
    const auto ticker = plot->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    if (!ticker)
        return QString::number(key, 'g', 15);
    QString format = ticker->dateTimeFormat();
    format.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QCPAxisTickerDateTime::keyToDateTime(key).toTimeSpec(ticker->dateTimeSpec()).toString(format);
}

QString degreesText(double value)
{
    return degreesText(QString::number(value, 'f', 0));
}

QString degreesText(const QString &number)
{
    return number + kUnit;
}

// Counted in whole numbers, so that no halfway case is lost to binary fractions.
QString meanNumber(double sum, qint64 count)
{
    const qint64 total = std::llround(sum);
    const qint64 tenths = (20 * qAbs(total) + count) / (2 * count);
    const QString sign = total < 0 && tenths > 0 ? QStringLiteral("-") : QString();
    return sign + QStringLiteral("%1,%2").arg(tenths / 10).arg(tenths % 10);
}

double keptInside(double start, double length, double low, double high)
{
    return qMax(low, qMin(start, high - length));
}

QSizeF boxSize(const QFont &font, const QVector<BoxLine> &lines)
{
    const QFontMetricsF metrics(font);
    const double swatch = metrics.ascent();
    double textWidth = 0;
    for (const BoxLine &line : lines) {
        const double indent = line.swatch.isValid() ? swatch + kSwatchGap : 0;
        textWidth = qMax(textWidth, indent + metrics.horizontalAdvance(line.text));
    }
    return QSizeF(textWidth + 2 * kPadding, lines.size() * metrics.height() + 2 * kPadding);
}

QStringList boxTexts(const QVector<BoxLine> &lines)
{
    QStringList texts;
    for (const BoxLine &line : lines)
        texts.append(line.text);
    return texts;
}

void drawBox(QCPPainter *painter, const QFont &font, const QRectF &box, const QVector<BoxLine> &lines)
{
    painter->setPen(QPen(kBoxBorder, 0));
    painter->setBrush(kBoxBackground);
    painter->drawRect(box);

    painter->setFont(font);
    const QFontMetricsF metrics(font);
    const double swatch = metrics.ascent();
    double top = box.top() + kPadding;
    for (const BoxLine &line : lines) {
        double left = box.left() + kPadding;
        if (line.swatch.isValid()) {
            painter->setPen(QPen(kSwatchBorder, 0));
            painter->setBrush(line.swatch);
            painter->drawRect(QRectF(left, top + (metrics.height() - swatch) / 2, swatch, swatch));
            left += swatch + kSwatchGap;
        }
        painter->setPen(Qt::black);
        painter->drawText(QPointF(left, top + metrics.ascent()), line.text);
        top += metrics.height();
    }
}

} // namespace ChartReading
