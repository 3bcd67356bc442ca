// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartreadout.h"

#include "chart/chartcomparison.h"

#include <QMouseEvent>

const QString ChartReadout::kLayerName = QStringLiteral("readout");

namespace {

const double kGapToLine = 8;
const QColor kLineColour(60, 60, 60, 200);

} // namespace

ChartReadout::ChartReadout(QCustomPlot *plot)
    : ChartOverlay(plot, kLayerName)
{
    plot->installEventFilter(this);
}

void ChartReadout::clear()
{
    if (!mShown)
        return;
    mShown = false;
    redraw();
}

// The pixels the line and the box cover, with a pixel around for antialiasing; empty when
// nothing is shown.
QRect ChartReadout::shownArea() const
{
    const Reading current = reading();
    if (current.lines.isEmpty())
        return QRect();
    const QRectF area = mParentPlot->axisRect()->rect();
    const double lineX = mParentPlot->xAxis->coordToPixel(current.key);
    const QRectF line(lineX - 1, area.top(), 2, area.height());
    return (line | boxFor(current)).toAlignedRect().adjusted(-1, -1, 1, 1) & mParentPlot->axisRect()->rect();
}

QStringList ChartReadout::text() const
{
    return ChartReading::boxTexts(reading().lines);
}

QRectF ChartReadout::boxRect() const
{
    const Reading current = reading();
    return current.lines.isEmpty() ? QRectF() : boxFor(current);
}

bool ChartReadout::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A move with a button held is a drag: the chart redraws whole anyway.
        if (mouse->buttons() == Qt::NoButton)
            showAt(mouse->pos());
        else
            clear();
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Leave:
        clear();
        break;
    default:
        break;
    }
    return ChartOverlay::eventFilter(watched, event);
}

void ChartReadout::showAt(const QPoint &pos)
{
    if (!mParentPlot->axisRect()->rect().contains(pos)) {
        clear();
        return;
    }
    mMouse = pos;
    mShown = true;
    redraw();
}

ChartReadout::Reading ChartReadout::reading() const
{
    Reading result;
    if (!mShown || !ChartReading::recordInEffect(mParentPlot, mParentPlot->xAxis->pixelToCoord(mMouse.x()), &result.key))
        return result;

    result.lines.append({ChartReading::timeText(mParentPlot, result.key), QColor()});
    const ChartComparison *comparison = ChartComparison::of(mParentPlot);
    const bool comparing = comparison && comparison->period() != ChartComparison::Period::None;
    const double earlierKey = comparing ? mParentPlot->xAxis->pixelToCoord(mMouse.x()) - comparison->shift() : 0;
    for (int i = 0; i < mParentPlot->graphCount(); ++i) {
        const QCPGraph *graph = mParentPlot->graph(i);
        if (!graph->visible())
            continue;
        const QCPGraphData *point = ChartReading::pointInEffect(graph, result.key);
        if (!point)
            continue;
        QString text = graph->name() + QStringLiteral(": ") + ChartReading::degreesText(point->value);
        if (comparing)
            text += earlierValueText(ChartComparison::nameOf(comparison->period()),
                                     ChartReading::pointInEffect(graph, earlierKey));
        result.lines.append({text, graph->brush().color()});
    }
    return result;
}

// " (Vortag: 49 °C)", or a dash where no earlier record is in effect.
QString ChartReadout::earlierValueText(const QString &period, const QCPGraphData *earlier)
{
    return QStringLiteral(" (%1: %2)")
        .arg(period, earlier ? ChartReading::degreesText(earlier->value) : ChartReading::kNoValue);
}

// Beside the line, on whichever side has room, at the mouse's height; always inside the plot area.
QRectF ChartReadout::boxFor(const Reading &reading) const
{
    const QSizeF size = ChartReading::boxSize(mParentPlot->font(), reading.lines);

    const QRectF area = mParentPlot->axisRect()->rect();
    const double lineX = qBound(area.left(), mParentPlot->xAxis->coordToPixel(reading.key), area.right());
    const bool roomOnTheRight = lineX + kGapToLine + size.width() <= area.right();
    const double left = roomOnTheRight ? lineX + kGapToLine : lineX - kGapToLine - size.width();
    return QRectF(QPointF(ChartReading::keptInside(left, size.width(), area.left(), area.right()),
                          ChartReading::keptInside(mMouse.y(), size.height(), area.top(), area.bottom())),
                  size);
}

void ChartReadout::drawOverlay(QCPPainter *painter)
{
    const Reading current = reading();
    if (current.lines.isEmpty())
        return;
    const QRectF area = mParentPlot->axisRect()->rect();
    const double lineX = mParentPlot->xAxis->coordToPixel(current.key);
    if (lineX >= area.left() && lineX <= area.right()) {
        painter->setPen(QPen(kLineColour, 0));
        painter->drawLine(QLineF(lineX, area.top(), lineX, area.bottom()));
    }

    ChartReading::drawBox(painter, mParentPlot->font(), boxFor(current), current.lines);
}
