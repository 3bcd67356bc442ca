#include "envelopegraph.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Below two points per pixel column the stock sampling keeps every point; so do we.
const double kPointsPerColumnToSample = 2.0;
// A column holding more line vertices than this is filled as one block up to its extreme.
const int kSparseColumnVertices = 2;

double pixelColumn(double x)
{
    return std::floor(x);
}

double yOnSegment(const QPointF &a, const QPointF &b, double x)
{
    if (a.x() == b.x())
        return b.y();
    return a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
}

// First vertex of every run of vertices that share a pixel column, plus the end index.
QVector<int> columnStarts(const QVector<QPointF> &points)
{
    QVector<int> starts;
    for (int i = 0; i < points.size(); ++i) {
        if (i == 0 || pixelColumn(points[i].x()) != pixelColumn(points[i - 1].x()))
            starts.append(i);
    }
    starts.append(points.size());
    return starts;
}

// The outline of one side of the fill (towards the top of the screen when `beyond` is
// std::less, towards the bottom when std::greater): the curve itself through sparse columns,
// the column's extreme across dense ones; afterwards clipped to the zero line.
QVector<QPointF> sideOutline(const QVector<QPointF> &points, const QVector<int> &starts,
                             const std::function<bool(double, double)> &beyond)
{
    auto isDense = [&starts](int run) { return starts[run + 1] - starts[run] > kSparseColumnVertices; };
    const int runs = starts.size() - 1;
    QVector<QPointF> outline;
    outline.reserve(points.size() + 4 * runs);
    for (int run = 0; run < runs; ++run) {
        const int first = starts[run];
        const int end = starts[run + 1];
        if (!isDense(run)) {
            for (int i = first; i < end; ++i)
                outline.append(points[i]);
            continue;
        }
        const double column = pixelColumn(points[first].x());
        const double left = run > 0 ? column : points[first].x();
        const double right = run + 1 < runs ? column + 1 : points[end - 1].x();
        // The segments entering and leaving the column count towards its extreme too.
        const double yLeft = run > 0 ? yOnSegment(points[first - 1], points[first], left) : points[first].y();
        const double yRight = run + 1 < runs ? yOnSegment(points[end - 1], points[end], right) : points[end - 1].y();
        double extreme = beyond(yLeft, yRight) ? yLeft : yRight;
        for (int i = first; i < end; ++i) {
            if (beyond(points[i].y(), extreme))
                extreme = points[i].y();
        }
        // Between two dense columns a dip to the connecting segment would be zero-width.
        if (run > 0 && !isDense(run - 1))
            outline.append(QPointF(left, yLeft));
        outline.append(QPointF(left, extreme));
        outline.append(QPointF(right, extreme));
        if (run + 1 < runs && !isDense(run + 1))
            outline.append(QPointF(right, yRight));
    }
    return outline;
}

// Clips an outline to the zero line on the side where `beyond` points, adding the crossings.
QVector<QPointF> clippedToZero(const QVector<QPointF> &outline, double zeroY,
                               const std::function<bool(double, double)> &beyond)
{
    QVector<QPointF> clipped;
    clipped.reserve(outline.size() + 16);
    for (int i = 0; i < outline.size(); ++i) {
        const QPointF &p = outline[i];
        if (i > 0) {
            const QPointF &previous = outline[i - 1];
            if ((previous.y() - zeroY) * (p.y() - zeroY) < 0) {
                const double t = (zeroY - previous.y()) / (p.y() - previous.y());
                clipped.append(QPointF(previous.x() + t * (p.x() - previous.x()), zeroY));
            }
        }
        clipped.append(QPointF(p.x(), beyond(p.y(), zeroY) ? p.y() : zeroY));
    }
    return clipped;
}

// Area between a line (vertices with monotonic x) and the zero line, as one simple polygon.
QPolygonF envelopeFillPolygon(QVector<QPointF> points, double zeroY)
{
    if (points.first().x() > points.last().x())
        std::reverse(points.begin(), points.end());
    const QVector<int> starts = columnStarts(points);
    const std::less<double> up;
    const std::greater<double> down;
    const QVector<QPointF> top = clippedToZero(sideOutline(points, starts, up), zeroY, up);
    const QVector<QPointF> bottom = clippedToZero(sideOutline(points, starts, down), zeroY, down);
    QPolygonF polygon;
    polygon.reserve(top.size() + bottom.size());
    polygon += top;
    std::copy(bottom.rbegin(), bottom.rend(), std::back_inserter(polygon));
    return polygon;
}

} // namespace

EnvelopeGraph::EnvelopeGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{
}

bool EnvelopeGraph::DataStamp::operator==(const DataStamp &other) const
{
    return container == other.container && storage == other.storage && size == other.size
           && first.key == other.first.key && first.value == other.first.value
           && last.key == other.last.key && last.value == other.last.value;
}

EnvelopeGraph::DataStamp EnvelopeGraph::currentStamp() const
{
    DataStamp stamp;
    stamp.container = mDataContainer.data();
    stamp.size = mDataContainer->size();
    if (stamp.size > 0) {
        stamp.storage = &*mDataContainer->constBegin();
        stamp.first = *mDataContainer->constBegin();
        stamp.last = *(mDataContainer->constEnd() - 1);
    }
    return stamp;
}

const MinMaxSummary &EnvelopeGraph::upToDateSummary() const
{
    const DataStamp stamp = currentStamp();
    if (!(stamp == mSummaryStamp)) {
        mSummary.build(stamp.storage, stamp.size);
        mSummaryStamp = stamp;
    }
    return mSummary;
}

void EnvelopeGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                         const QCPGraphDataContainer::const_iterator &begin,
                                         const QCPGraphDataContainer::const_iterator &end) const
{
    const QCPAxis *keyAxis = mKeyAxis.data();
    const int count = int(end - begin);
    if (!keyAxis || !mAdaptiveSampling || count < 2) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    const double pixelSpan = qAbs(keyAxis->coordToPixel(begin->key) - keyAxis->coordToPixel((end - 1)->key));
    if (count <= kPointsPerColumnToSample * pixelSpan + 2 || upToDateSummary().hasGaps()) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }

    lineData->clear();
    lineData->reserve(4 * (int(pixelSpan) + 2));
    const bool keysRiseWithPixels = keyAxis->pixelOrientation() > 0;
    auto keyBelow = [](const QCPGraphData &point, double key) { return point.key < key; };
    for (auto it = begin; it != end;) {
        const double column = pixelColumn(keyAxis->coordToPixel(it->key));
        const double columnEndKey = keyAxis->pixelToCoord(keysRiseWithPixels ? column + 1 : column);
        auto columnEnd = std::lower_bound(it, end, columnEndKey, keyBelow);
        if (columnEnd == it)
            columnEnd = it + 1; // a key exactly on the edge of a reversed axis
        appendColumn(lineData, it, columnEnd);
        it = columnEnd;
    }
}

// The points of one pixel column, reduced to the first, the two extremes and the last.
void EnvelopeGraph::appendColumn(QVector<QCPGraphData> *lineData, QCPGraphDataContainer::const_iterator from,
                                 QCPGraphDataContainer::const_iterator to) const
{
    if (to - from <= 4) {
        for (auto it = from; it != to; ++it)
            lineData->append(*it);
        return;
    }
    const QCPGraphData *points = &*mDataContainer->constBegin();
    const QCPRange extremes = mSummary.valueRange(points, int(&*from - points), int(&*to - points));
    const QCPGraphData &first = *from;
    const QCPGraphData &last = *(to - 1);
    // Visit the extremes in the order that keeps the stroke short; both lie inside the column.
    const bool lowFirst = qAbs(first.value - extremes.lower) + qAbs(extremes.upper - last.value)
                          <= qAbs(first.value - extremes.upper) + qAbs(extremes.lower - last.value);
    const double step = (last.key - first.key) / 3;
    lineData->append(first);
    lineData->append(QCPGraphData(first.key + step, lowFirst ? extremes.lower : extremes.upper));
    lineData->append(QCPGraphData(first.key + 2 * step, lowFirst ? extremes.upper : extremes.lower));
    lineData->append(last);
}

bool EnvelopeGraph::drawsOwnFill() const
{
    return !mChannelFillGraph && mLineStyle != lsImpulse && mKeyAxis && mValueAxis
           && mKeyAxis->orientation() == Qt::Horizontal && mValueAxis->scaleType() == QCPAxis::stLinear;
}

void EnvelopeGraph::drawFill(QCPPainter *painter, QVector<QPointF> *lines) const
{
    if (!drawsOwnFill()) {
        QCPGraph::drawFill(painter, lines);
        return;
    }
    if (painter->brush().style() == Qt::NoBrush || painter->brush().color().alpha() == 0)
        return;
    applyFillAntialiasingHint(painter);
    const double zeroY = mValueAxis->coordToPixel(0);
    for (const QCPDataRange &segment : getNonNanSegments(lines, Qt::Horizontal)) {
        if (segment.size() < 2)
            continue;
        painter->drawPolygon(envelopeFillPolygon(lines->mid(segment.begin(), segment.size()), zeroY));
    }
}
