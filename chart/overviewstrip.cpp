// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/overviewstrip.h"

#include "chart/chartcontrols.h"
#include "chart/chartreading.h"
#include "chart/viewhistory.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const int kHeight = 60;
const int kTickLength = 3;
const int kLabelGap = 1;
const int kLabelSpacing = 100;
const int kTickLabelPointSize = 8;
// How near the window's edge a press takes the edge rather than the window.
const double kEdgeReach = 4;
const double kShortestSpan = 60;
const double kWheelNotch = 120;
const QColor kBandBackground(Qt::white);
const QColor kFrame(180, 180, 180);
const QColor kScale(60, 60, 60);
const QColor kDimmed(0, 0, 0, 70);
const QColor kWindowLight(255, 255, 255, 60);
const QColor kWindowFrame(40, 40, 40);

// Index of the first point at or after key, from from on: a gallop, as a column's points lie close
// to where the last column's ended.
int firstAtOrAfter(const QCPGraphData *points, int count, int from, double key)
{
    int step = 1;
    while (from + step < count && points[from + step].key < key)
        step *= 2;
    return int(std::lower_bound(points + from + step / 2, points + std::min(from + step, count), key,
                                [](const QCPGraphData &point, double wanted) { return point.key < wanted; })
               - points);
}

} // namespace

bool OverviewStrip::Drawn::operator==(const Drawn &other) const
{
    return size == other.size && ratio == other.ratio && area == other.area && keys == other.keys
        && values == other.values && visible == other.visible;
}

OverviewStrip::OverviewStrip(QCustomPlot *plot, ChartControls *controls, ViewHistory *history, QWidget *parent)
    : QWidget(parent)
    , mPlot(plot)
    , mControls(controls)
    , mHistory(history)
{
    setObjectName(QStringLiteral("overview"));
    setFixedHeight(kHeight);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFont(QFont(font().family(), kTickLabelPointSize));
    connect(plot, &QCustomPlot::afterReplot, this, QOverload<>::of(&QWidget::update));
}

void OverviewStrip::refresh()
{
    mDrawn = Drawn();
    update();
}

void OverviewStrip::paintEvent(QPaintEvent *)
{
    const Drawn drawn = wanted();
    if (!(drawn == mDrawn))
        drawKept(drawn);
    QPainter painter(this);
    painter.drawImage(0, 0, mKept);
    if (hasView())
        drawWindow(painter);
}

// A press settles what an earlier gesture left; beside the window it centres the time range
// there and goes on as a drag of the window.
void OverviewStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !hasView())
        return;
    mHistory->settle();
    const double x = event->localPos().x();
    mGrip = gripAt(x);
    const QCPRange shown = mPlot->xAxis->range();
    if (mGrip == Grip::None) {
        const double centre = keyAt(x);
        setTimeRange(centre - shown.size() / 2, centre + shown.size() / 2);
        mGrip = Grip::Window;
    }
    mGrabOffset = keyAt(x) - mPlot->xAxis->range().lower;
    setCursor(mGrip == Grip::Window ? Qt::ClosedHandCursor : cursorOver(mGrip));
}

void OverviewStrip::mouseMoveEvent(QMouseEvent *event)
{
    const double x = event->localPos().x();
    const QCPRange shown = mPlot->xAxis->range();
    switch (mGrip) {
    case Grip::None:
        setCursor(cursorOver(hasView() ? gripAt(x) : Grip::None));
        break;
    case Grip::Window:
        setTimeRange(keyAt(x) - mGrabOffset, keyAt(x) - mGrabOffset + shown.size());
        break;
    case Grip::Lower:
        setTimeRange(std::min(keyAt(x), shown.upper - kShortestSpan), shown.upper);
        break;
    case Grip::Upper:
        setTimeRange(shown.lower, std::max(keyAt(x), shown.lower + kShortestSpan));
        break;
    }
}

void OverviewStrip::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || mGrip == Grip::None)
        return;
    mGrip = Grip::None;
    mHistory->settle();
    setCursor(cursorOver(gripAt(event->localPos().x())));
}

// The chart's own double-click: back to the whole view.
void OverviewStrip::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && hasView())
        mControls->resetView();
}

// As a notch on the chart zooms its time axis, about the time under the mouse.
void OverviewStrip::wheelEvent(QWheelEvent *event)
{
    event->accept();
    if (!hasView() || event->angleDelta().y() == 0)
        return;
    mHistory->settleLater();
    const double factor = std::pow(mPlot->axisRect()->rangeZoomFactor(Qt::Horizontal), event->angleDelta().y() / kWheelNotch);
    mPlot->xAxis->scaleRange(factor, keyAt(event->position().x()));
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}

OverviewStrip::Drawn OverviewStrip::wanted() const
{
    Drawn drawn;
    drawn.size = size();
    drawn.ratio = devicePixelRatioF();
    drawn.area = bandArea();
    drawn.keys = mControls->homeKeys();
    drawn.values = mControls->homeValues();
    for (int i = 0; i < mPlot->graphCount(); ++i)
        drawn.visible.append(mPlot->graph(i)->visible());
    return drawn;
}

// Under the chart's plot area, column for column, above the scale.
QRect OverviewStrip::bandArea() const
{
    const QRect plotArea = mPlot->axisRect()->rect();
    const int left = mapFromGlobal(mPlot->mapToGlobal(plotArea.topLeft())).x();
    const int scaleHeight = kTickLength + kLabelGap + fontMetrics().height();
    return QRect(left, 0, plotArea.width(), height() - scaleHeight);
}

// Before any load, or after one without records, there is nothing to show or to move.
bool OverviewStrip::hasView() const
{
    if (mControls->homeKeys().size() <= 0)
        return false;
    for (int i = 0; i < mPlot->graphCount(); ++i) {
        if (!mPlot->graph(i)->data()->isEmpty())
            return true;
    }
    return false;
}

double OverviewStrip::xOf(double key) const
{
    const QRect area = bandArea();
    const QCPRange whole = mControls->homeKeys();
    return area.left() + (key - whole.lower) / whole.size() * area.width();
}

double OverviewStrip::keyAt(double x) const
{
    const QRect area = bandArea();
    const QCPRange whole = mControls->homeKeys();
    return whole.lower + (x - area.left()) / area.width() * whole.size();
}

OverviewStrip::Grip OverviewStrip::gripAt(double x) const
{
    const QCPRange shown = mPlot->xAxis->range();
    const double lower = xOf(shown.lower);
    const double upper = xOf(shown.upper);
    if (std::abs(x - lower) <= kEdgeReach && std::abs(x - lower) <= std::abs(x - upper))
        return Grip::Lower;
    if (std::abs(x - upper) <= kEdgeReach)
        return Grip::Upper;
    return x > lower && x < upper ? Grip::Window : Grip::None;
}

Qt::CursorShape OverviewStrip::cursorOver(Grip grip)
{
    switch (grip) {
    case Grip::Window: return Qt::OpenHandCursor;
    case Grip::Lower: case Grip::Upper: return Qt::SizeHorCursor;
    default: return Qt::ArrowCursor;
    }
}

void OverviewStrip::setTimeRange(double lower, double upper)
{
    mPlot->xAxis->setRange(lower, upper);
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}

void OverviewStrip::drawKept(const Drawn &drawn)
{
    mDrawn = drawn;
    mKept = QImage(drawn.size * drawn.ratio, QImage::Format_ARGB32_Premultiplied);
    mKept.setDevicePixelRatio(drawn.ratio);
    mKept.fill(Qt::transparent);
    QPainter painter(&mKept);
    painter.setFont(font());
    painter.fillRect(drawn.area, kBandBackground);
    if (hasView()) {
        drawBands(painter, drawn);
        drawScale(painter, drawn);
    }
    painter.setPen(kFrame);
    painter.drawRect(drawn.area.adjusted(0, 0, -1, -1));
}

// One device pixel column at a time, each visible graph from its lowest to its highest value
// among the points whose keys fall in the column, read from the graph's summary.
void OverviewStrip::drawBands(QPainter &painter, const Drawn &drawn) const
{
    painter.save();
    painter.scale(1 / drawn.ratio, 1 / drawn.ratio);
    const QRectF device(QPointF(drawn.area.topLeft()) * drawn.ratio, QSizeF(drawn.area.size()) * drawn.ratio);
    const int columns = int(device.width());
    const double keysPerColumn = drawn.keys.size() / columns;
    const double rowsPerValue = device.height() / drawn.values.size();
    for (int i = 0; i < mPlot->graphCount(); ++i) {
        const QCPGraph *graph = mPlot->graph(i);
        const int count = graph->dataCount();
        if (!graph->visible() || count == 0)
            continue;
        MinMaxSummary spare;
        const MinMaxSummary &summary = ChartReading::summaryOf(graph, spare);
        const QCPGraphData *points = &*graph->data()->constBegin();
        QVector<QRectF> columnBands;
        int first = firstAtOrAfter(points, count, 0, drawn.keys.lower);
        for (int column = 0; column < columns && first < count; ++column) {
            const int end = column == columns - 1
                ? firstAtOrAfter(points, count, first, std::nextafter(drawn.keys.upper, HUGE_VAL))
                : firstAtOrAfter(points, count, first, drawn.keys.lower + (column + 1) * keysPerColumn);
            if (end > first) {
                const QCPRange values = summary.valueRange(points, first, end);
                const double top = device.bottom() - (values.upper - drawn.values.lower) * rowsPerValue;
                const double bottom = device.bottom() - (values.lower - drawn.values.lower) * rowsPerValue;
                const double rowTop = std::floor(qBound(device.top(), top, device.bottom() - 1));
                const double rowBottom = std::ceil(qBound(rowTop + 1, bottom, device.bottom()));
                columnBands.append(QRectF(device.left() + column, rowTop, 1, rowBottom - rowTop));
            }
            first = end;
        }
        // In one call: the painter's cost per call outweighs a column's few pixels.
        painter.setPen(Qt::NoPen);
        painter.setBrush(graph->brush().color());
        painter.drawRects(columnBands);
    }
    painter.restore();
}

// Dates under the bands, a tick at each step; where the steps are shorter than a day, the dates
// stand at the midnights among them, and only a range without one gives times too.
void OverviewStrip::drawScale(QPainter &painter, const Drawn &drawn) const
{
    QCPAxisTickerDateTime ticker;
    ticker.setTickCount(std::max(1, drawn.area.width() / kLabelSpacing));
    ticker.setTickOrigin(QDateTime(QDateTime::fromMSecsSinceEpoch(qint64(drawn.keys.lower * 1000)).date(), QTime(0, 0)));
    QVector<double> ticks;
    ticker.generate(drawn.keys, locale(), QLatin1Char('g'), 6, ticks, nullptr, nullptr);
    QVector<QDateTime> times;
    bool midnights = false;
    for (double tick : ticks) {
        times.append(QDateTime::fromMSecsSinceEpoch(qint64(tick * 1000)));
        midnights = midnights || (drawn.keys.contains(tick) && times.last().time() == QTime(0, 0));
    }
    painter.setPen(kScale);
    double freeFrom = 0;
    for (int i = 0; i < ticks.size(); ++i) {
        if (!drawn.keys.contains(ticks.at(i)))
            continue;
        const double x = drawn.area.left() + (ticks.at(i) - drawn.keys.lower) / drawn.keys.size() * drawn.area.width();
        painter.drawLine(QPointF(x, drawn.area.bottom() + 1), QPointF(x, drawn.area.bottom() + kTickLength));
        if (midnights && times.at(i).time() != QTime(0, 0))
            continue;
        const QString label = times.at(i).toString(midnights ? QStringLiteral("dd.MM.yyyy") : QStringLiteral("dd.MM. hh:mm"));
        const double width = fontMetrics().horizontalAdvance(label);
        const double left = qBound(0.0, x - width / 2, drawn.size.width() - width);
        if (left < freeFrom)
            continue;
        painter.drawText(QPointF(left, drawn.area.bottom() + kTickLength + kLabelGap + fontMetrics().ascent()), label);
        freeFrom = left + width + fontMetrics().averageCharWidth();
    }
}

// The chart's time range light and framed, the rest of the bands dimmed.
void OverviewStrip::drawWindow(QPainter &painter) const
{
    const QRect area = bandArea();
    const QCPRange shown = mPlot->xAxis->range();
    const double left = qBound(double(area.left()), xOf(shown.lower), double(area.right() + 1));
    const double right = qBound(left, xOf(shown.upper), double(area.right() + 1));
    painter.fillRect(QRectF(area.left(), area.top(), left - area.left(), area.height()), kDimmed);
    painter.fillRect(QRectF(right, area.top(), area.right() + 1 - right, area.height()), kDimmed);
    const QRectF window(left, area.top(), std::max(1.0, right - left), area.height());
    painter.fillRect(window, kWindowLight);
    painter.setPen(kWindowFrame);
    painter.drawRect(window.adjusted(0.5, 0.5, -0.5, -0.5));
}
