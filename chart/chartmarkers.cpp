// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartmarkers.h"

#include "chart/chartreadout.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetricsF>

#include <cmath>

const QString ChartMarkers::kLayerName = QStringLiteral("markers");

namespace {

const QColor kMarkerColour(70, 70, 70);
const double kBoxInset = 6;
const double kLetterGap = 3;
const qint64 kSecondsPerDay = 86400;
const QString kLetters[] = {QStringLiteral("A"), QStringLiteral("B")};

// B's time less A's as "D d HH:MM:SS", with a leading "-" when B lies before A.
QString spanText(double seconds)
{
    const qint64 whole = std::llround(seconds);
    const qint64 length = qAbs(whole);
    const QLatin1Char zero('0');
    return QStringLiteral("%1%2 d %3:%4:%5")
        .arg(whole < 0 ? QStringLiteral("-") : QString())
        .arg(length / kSecondsPerDay)
        .arg(length % kSecondsPerDay / 3600, 2, 10, zero)
        .arg(length % 3600 / 60, 2, 10, zero)
        .arg(length % 60, 2, 10, zero);
}

// A change of whole degrees with its sign: "+52", "-9", "±0".
QString changeText(double change)
{
    if (change == 0)
        return QStringLiteral("±0");
    return (change > 0 ? QStringLiteral("+") : QString()) + QString::number(change, 'f', 0);
}

} // namespace

ChartMarkers::ChartMarkers(QCustomPlot *plot)
    : ChartOverlay(plot, kLayerName, plot->layer(ChartReadout::kLayerName))
{
    plot->installEventFilter(this);

    const QString setTexts[] = {tr("Marke A hier setzen"), tr("Marke B hier setzen")};
    for (Marker marker : {A, B}) {
        mSetActions[marker] = new QAction(setTexts[marker], this);
        mSetActions[marker]->setObjectName(QStringLiteral("actionSetMarker") + kLetters[marker]);
        mSetActions[marker]->setEnabled(false);
        connect(mSetActions[marker], &QAction::triggered, this, [this, marker]() { set(marker); });
    }
    mRemoveAction = new QAction(tr("Marken entfernen"), this);
    mRemoveAction->setObjectName(QStringLiteral("actionRemoveMarkers"));
    mRemoveAction->setEnabled(false);
    connect(mRemoveAction, &QAction::triggered, this, &ChartMarkers::clear);
}

QList<QAction *> ChartMarkers::menuActions() const
{
    return {mSetActions[A], mSetActions[B], mRemoveAction};
}

void ChartMarkers::clear()
{
    if (!mSet[A] && !mSet[B])
        return;
    mSet[A] = mSet[B] = false;
    markersChanged();
}

QStringList ChartMarkers::text() const
{
    return ChartReading::boxTexts(boxLines());
}

QRectF ChartMarkers::boxRect() const
{
    const QVector<ChartReading::BoxLine> lines = boxLines();
    return lines.isEmpty() ? QRectF() : boxFor(lines);
}

// The request comes before the menu shows: its entries then say whether there is a record to
// mark at that place.
bool ChartMarkers::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ContextMenu)
        noteMenuRequest(static_cast<QContextMenuEvent *>(event)->pos());
    return ChartOverlay::eventFilter(watched, event);
}

void ChartMarkers::noteMenuRequest(const QPoint &pos)
{
    mMenuOnRecord = ChartReading::recordInEffect(mParentPlot, mParentPlot->xAxis->pixelToCoord(pos.x()), &mMenuRecordKey);
    for (QAction *action : mSetActions)
        action->setEnabled(mMenuOnRecord);
}

void ChartMarkers::set(Marker marker)
{
    if (!mMenuOnRecord)
        return;
    mKeys[marker] = mMenuRecordKey;
    mSet[marker] = true;
    markersChanged();
}

void ChartMarkers::markersChanged()
{
    mRemoveAction->setEnabled(mSet[A] || mSet[B]);
    redraw();
}

QVector<ChartReading::BoxLine> ChartMarkers::boxLines() const
{
    QVector<ChartReading::BoxLine> lines;
    if (!mSet[A] || !mSet[B])
        return lines;
    for (Marker marker : {A, B})
        lines.append({kLetters[marker] + QStringLiteral(": ") + ChartReading::timeText(mParentPlot, mKeys[marker]), QColor()});
    lines.append({QStringLiteral("Δt: ") + spanText(mKeys[B] - mKeys[A]), QColor()});
    for (int i = 0; i < mParentPlot->graphCount(); ++i) {
        const QCPGraph *graph = mParentPlot->graph(i);
        const QCPGraphData *atA = ChartReading::pointInEffect(graph, mKeys[A]);
        const QCPGraphData *atB = ChartReading::pointInEffect(graph, mKeys[B]);
        if (!graph->visible() || !atA || !atB)
            continue;
        lines.append({graph->name() + QStringLiteral(": ") + QString::number(atA->value, 'f', 0) + QStringLiteral(" → ")
                          + ChartReading::degreesText(atB->value) + QStringLiteral(" (")
                          + changeText(atB->value - atA->value) + QStringLiteral(")"),
                      graph->brush().color()});
    }
    return lines;
}

// In the plot area's top left corner, inside it whatever its size.
QRectF ChartMarkers::boxFor(const QVector<ChartReading::BoxLine> &lines) const
{
    const QSizeF size = ChartReading::boxSize(mParentPlot->font(), lines);
    const QRectF area = mParentPlot->axisRect()->rect();
    return QRectF(QPointF(ChartReading::keptInside(area.left() + kBoxInset, size.width(), area.left(), area.right()),
                          ChartReading::keptInside(area.top() + kBoxInset, size.height(), area.top(), area.bottom())),
                  size);
}

void ChartMarkers::drawOverlay(QCPPainter *painter)
{
    const QVector<ChartReading::BoxLine> lines = boxLines();
    const QRectF box = lines.isEmpty() ? QRectF() : boxFor(lines);
    for (Marker marker : {A, B}) {
        if (mSet[marker])
            drawMarker(painter, marker, box);
    }
    if (!lines.isEmpty())
        ChartReading::drawBox(painter, mParentPlot->font(), box, lines);
}

// A marker out of view draws nothing. Its letter sits at the top right of its line, or left of
// it at the plot area's right edge, and below the box where the box would hide it.
void ChartMarkers::drawMarker(QCPPainter *painter, Marker marker, const QRectF &box) const
{
    const QRectF area = mParentPlot->axisRect()->rect();
    const double x = mParentPlot->xAxis->coordToPixel(mKeys[marker]);
    if (x < area.left() || x > area.right())
        return;
    painter->setPen(QPen(kMarkerColour, 1, Qt::DashLine));
    painter->drawLine(QLineF(x, area.top(), x, area.bottom()));

    const QFontMetricsF metrics(mParentPlot->font());
    const double width = metrics.horizontalAdvance(kLetters[marker]);
    const bool roomOnTheRight = x + kLetterGap + width <= area.right();
    QRectF letter(QPointF(roomOnTheRight ? x + kLetterGap : x - kLetterGap - width, area.top() + kLetterGap),
                  QSizeF(width, metrics.height()));
    if (letter.intersects(box))
        letter.moveTop(box.bottom() + kLetterGap);
    painter->setFont(mParentPlot->font());
    painter->setPen(kMarkerColour);
    painter->drawText(QPointF(letter.left(), letter.top() + metrics.ascent()), kLetters[marker]);
}
