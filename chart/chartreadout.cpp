#include "chart/chartreadout.h"

#include <QFontMetricsF>
#include <QMouseEvent>

#include <algorithm>
#include <memory>

const QString ChartReadout::kLayerName = QStringLiteral("readout");

namespace {

const double kPadding = 4;
const double kGapToLine = 8;
const double kSwatchGap = 4;
const QColor kLineColour(60, 60, 60, 200);
const QColor kBoxBorder(60, 60, 60, 200);
const QColor kBoxBackground(255, 255, 255, 230);
const QColor kSwatchBorder(60, 60, 60, 160);
const QString kUnit = QStringLiteral(" °C");

// The point in effect at key in a graph: the last one at or before it, of equal keys the last.
const QCPGraphData *pointInEffect(const QCPGraph *graph, double key)
{
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    const auto after = std::upper_bound(data->constBegin(), data->constEnd(), key,
                                        [](double wanted, const QCPGraphData &point) { return wanted < point.key; });
    return after == data->constBegin() ? nullptr : &*(after - 1);
}

// Where a span of the given length starts so that it lies inside [low, high], low winning when
// it is longer than that.
double keptInside(double start, double length, double low, double high)
{
    return qMax(low, qMin(start, high - length));
}

// The layer's paint buffer, which QCPLayer keeps to itself: a pointer to the member named through
// a class derived from it is the one way to reach it.
struct LayerPaintBuffer : QCPLayer {
    static QSharedPointer<QCPAbstractPaintBuffer> of(QCPLayer *layer)
    {
        return (layer->*(&LayerPaintBuffer::mPaintBuffer)).toStrongRef();
    }
};

} // namespace

ChartReadout::ChartReadout(QCustomPlot *plot)
    : QCPLayerable(plot)
{
    if (!plot->layer(kLayerName))
        plot->addLayer(kLayerName);
    plot->layer(kLayerName)->setMode(QCPLayer::lmBuffered);
    setLayer(kLayerName);
    plot->installEventFilter(this);
}

void ChartReadout::clear()
{
    if (!mShown)
        return;
    mShown = false;
    redraw();
}

// Only the read-out's layer, and of it only where the read-out was and is now: on a large screen
// a whole layer costs milliseconds to clear and every layer as much to compose again. A chart
// being destroyed has taken its layers away already but may still send a last Leave; a buffer
// made anew (after a resize) needs the whole chart drawn.
void ChartReadout::redraw()
{
    QCPLayer *own = layer();
    if (!own)
        return;
    const QRect dirty = mDrawnArea | shownArea();
    const QSharedPointer<QCPAbstractPaintBuffer> buffer = LayerPaintBuffer::of(own);
    if (!buffer || buffer->invalidated() || own->mode() != QCPLayer::lmBuffered) {
        own->replot();
        return;
    }
    if (dirty.isEmpty())
        return;
    {
        const std::unique_ptr<QCPPainter> painter(buffer->startPainting());
        painter->setClipRect(dirty);
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->fillRect(dirty, Qt::transparent);
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        mDrawnArea = QRect();
        if (realVisibility()) {
            applyDefaultAntialiasingHint(painter.get());
            draw(painter.get());
        }
    }
    buffer->donePainting();
    mParentPlot->update(dirty);
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
    QStringList lines;
    for (const Line &line : reading().lines)
        lines.append(line.text);
    return lines;
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
    return QCPLayerable::eventFilter(watched, event);
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
    if (!mShown)
        return result;
    // The record in effect is the latest point at or before the mouse's time in any graph,
    // hidden ones too: hiding a channel does not move the line.
    const double mouseKey = mParentPlot->xAxis->pixelToCoord(mMouse.x());
    bool found = false;
    for (int i = 0; i < mParentPlot->graphCount(); ++i) {
        if (const QCPGraphData *point = pointInEffect(mParentPlot->graph(i), mouseKey)) {
            result.key = found ? qMax(result.key, point->key) : point->key;
            found = true;
        }
    }
    if (!found)
        return result;

    result.lines.append({timeText(result.key), QColor()});
    for (int i = 0; i < mParentPlot->graphCount(); ++i) {
        const QCPGraph *graph = mParentPlot->graph(i);
        if (!graph->visible())
            continue;
        if (const QCPGraphData *point = pointInEffect(graph, result.key))
            result.lines.append({graph->name() + QStringLiteral(": ") + QString::number(point->value, 'f', 0) + kUnit,
                                 graph->brush().color()});
    }
    return result;
}

// The record's time as the time axis writes it, on one line.
QString ChartReadout::timeText(double key) const
{
    const auto ticker = mParentPlot->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    if (!ticker)
        return QString::number(key, 'g', 15);
    QString format = ticker->dateTimeFormat();
    format.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QCPAxisTickerDateTime::keyToDateTime(key).toTimeSpec(ticker->dateTimeSpec()).toString(format);
}

// Beside the line, on whichever side has room, at the mouse's height; always inside the plot area.
QRectF ChartReadout::boxFor(const Reading &reading) const
{
    const QFontMetricsF metrics(mParentPlot->font());
    const double swatch = metrics.ascent();
    double textWidth = 0;
    for (const Line &line : reading.lines) {
        const double indent = line.swatch.isValid() ? swatch + kSwatchGap : 0;
        textWidth = qMax(textWidth, indent + metrics.horizontalAdvance(line.text));
    }
    const QSizeF size(textWidth + 2 * kPadding, reading.lines.size() * metrics.height() + 2 * kPadding);

    const QRectF area = mParentPlot->axisRect()->rect();
    const double lineX = qBound(area.left(), mParentPlot->xAxis->coordToPixel(reading.key), area.right());
    const bool roomOnTheRight = lineX + kGapToLine + size.width() <= area.right();
    const double left = roomOnTheRight ? lineX + kGapToLine : lineX - kGapToLine - size.width();
    return QRectF(QPointF(keptInside(left, size.width(), area.left(), area.right()),
                          keptInside(mMouse.y(), size.height(), area.top(), area.bottom())),
                  size);
}

// The box lies within the plot area; the line is clipped to it too.
QRect ChartReadout::clipRect() const
{
    return mParentPlot->axisRect()->rect();
}

void ChartReadout::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, mAntialiased, QCP::aeOther);
}

void ChartReadout::draw(QCPPainter *painter)
{
    const Reading current = reading();
    mDrawnArea = shownArea();
    if (current.lines.isEmpty())
        return;
    const QRectF area = mParentPlot->axisRect()->rect();
    const double lineX = mParentPlot->xAxis->coordToPixel(current.key);
    if (lineX >= area.left() && lineX <= area.right()) {
        painter->setPen(QPen(kLineColour, 0));
        painter->drawLine(QLineF(lineX, area.top(), lineX, area.bottom()));
    }

    const QRectF box = boxFor(current);
    painter->setPen(QPen(kBoxBorder, 0));
    painter->setBrush(kBoxBackground);
    painter->drawRect(box);

    painter->setFont(mParentPlot->font());
    const QFontMetricsF metrics(mParentPlot->font());
    const double swatch = metrics.ascent();
    double top = box.top() + kPadding;
    for (const Line &line : current.lines) {
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
