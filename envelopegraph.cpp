#include "envelopegraph.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Below two points per pixel column the stock sampling keeps every point; so do we.
const double kPointsPerColumnToSample = 2.0;
// A column holding more line vertices than this is filled as one block up to its extreme.
const int kSparseColumnVertices = 2;

// Chart coordinates name pixel centres (the painter shifts antialiased drawing by half a
// pixel), so pixel column c spans the coordinates [c - 0.5, c + 0.5).
double pixelColumn(double x)
{
    return std::floor(x + 0.5);
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

// Clips a line to the zero line on the side where `beyond` points, adding the crossings.
QVector<QPointF> clippedToZero(const QVector<QPointF> &line, double zeroY,
                               const std::function<bool(double, double)> &beyond)
{
    QVector<QPointF> clipped;
    clipped.reserve(line.size() + 16);
    for (int i = 0; i < line.size(); ++i) {
        const QPointF &p = line[i];
        if (i > 0) {
            const QPointF &previous = line[i - 1];
            if ((previous.y() - zeroY) * (p.y() - zeroY) < 0) {
                const double t = (zeroY - previous.y()) / (p.y() - previous.y());
                clipped.append(QPointF(previous.x() + t * (p.x() - previous.x()), zeroY));
            }
        }
        clipped.append(QPointF(p.x(), beyond(p.y(), zeroY) ? p.y() : zeroY));
    }
    return clipped;
}

// Area between a stretch of line (x rising) and the zero line, as one simple polygon: its
// part above the zero line forward, its part below backward, so nothing overlaps.
QPolygonF areaToZero(const QVector<QPointF> &stretch, double zeroY)
{
    const QVector<QPointF> top = clippedToZero(stretch, zeroY, std::less<double>());
    const QVector<QPointF> bottom = clippedToZero(stretch, zeroY, std::greater<double>());
    QPolygonF polygon;
    polygon.reserve(top.size() + bottom.size());
    polygon += top;
    std::copy(bottom.rbegin(), bottom.rend(), std::back_inserter(polygon));
    return polygon;
}

struct FillShapes {
    QVector<QPolygonF> areas;   // sparse stretches, filled exactly (antialiased)
    QVector<QRect> columns;     // dense pixel columns, filled whole on the pixel grid
};

// Splits the area between a line and the zero line into stretches where the line is sparse,
// which follow it exactly, and dense pixel columns, which are filled from the zero line to the
// farthest the line reaches inside the column. The stretches end on the columns' edges, so no
// pixel is filled twice.
void addFillShapes(QVector<QPointF> points, double zeroY, FillShapes *shapes)
{
    if (points.first().x() > points.last().x())
        std::reverse(points.begin(), points.end());
    const QVector<int> starts = columnStarts(points);
    const int runs = starts.size() - 1;
    auto isDense = [&starts](int run) { return starts[run + 1] - starts[run] > kSparseColumnVertices; };

    QVector<QPointF> stretch;
    auto closeStretch = [&]() {
        if (stretch.size() >= 2)
            shapes->areas.append(areaToZero(stretch, zeroY));
        stretch.clear();
    };
    for (int run = 0; run < runs; ++run) {
        const int first = starts[run];
        const int end = starts[run + 1];
        if (!isDense(run)) {
            for (int i = first; i < end; ++i)
                stretch.append(points[i]);
            continue;
        }
        const double column = pixelColumn(points[first].x());
        double top = zeroY;
        double bottom = zeroY;
        auto reach = [&top, &bottom](const QPointF &p) {
            top = std::min(top, p.y());
            bottom = std::max(bottom, p.y());
        };
        for (int i = first; i < end; ++i)
            reach(points[i]);
        // The segments entering and leaving the column count towards its extremes too; a
        // stretch of sparse line on either side ends on the column's edge.
        if (run > 0) {
            const QPointF entry(column - 0.5, yOnSegment(points[first - 1], points[first], column - 0.5));
            reach(entry);
            if (!isDense(run - 1)) {
                stretch.append(entry);
                closeStretch();
            }
        }
        if (run + 1 < runs) {
            const QPointF exit(column + 0.5, yOnSegment(points[end - 1], points[end], column + 0.5));
            reach(exit);
            if (!isDense(run + 1))
                stretch.append(exit);
        }
        // A pixel row belongs to the column when its centre lies inside the reach.
        const int topRow = int(std::ceil(top));
        shapes->columns.append(QRect(int(column), topRow, 1, int(std::floor(bottom)) - topRow + 1));
    }
    closeStretch();
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
        const double columnEndKey = keyAxis->pixelToCoord(keysRiseWithPixels ? column + 0.5 : column - 0.5);
        auto columnEnd = std::lower_bound(it, end, columnEndKey, keyBelow);
        if (columnEnd == it)
            columnEnd = it + 1; // a key exactly on the edge of a reversed axis
        appendColumn(lineData, it, columnEnd, keyAxis->pixelToCoord(column));
        it = columnEnd;
    }
}

// The points of one pixel column, reduced to the first, the two extremes and the last. The
// extremes join in one upright stroke through the column's centre, which covers the column
// whole instead of smearing over two half-lit ones.
void EnvelopeGraph::appendColumn(QVector<QCPGraphData> *lineData, QCPGraphDataContainer::const_iterator from,
                                 QCPGraphDataContainer::const_iterator to, double centreKey) const
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
    // Visit the extremes in the order that keeps the stroke short.
    const bool lowFirst = qAbs(first.value - extremes.lower) + qAbs(extremes.upper - last.value)
                          <= qAbs(first.value - extremes.upper) + qAbs(extremes.lower - last.value);
    const double key = qBound(qMin(first.key, last.key), centreKey, qMax(first.key, last.key));
    lineData->append(first);
    lineData->append(QCPGraphData(key, lowFirst ? extremes.lower : extremes.upper));
    lineData->append(QCPGraphData(key, lowFirst ? extremes.upper : extremes.lower));
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
    FillShapes shapes;
    const double zeroY = mValueAxis->coordToPixel(0);
    for (const QCPDataRange &segment : getNonNanSegments(lines, Qt::Horizontal)) {
        if (segment.size() >= 2)
            addFillShapes(lines->mid(segment.begin(), segment.size()), zeroY, &shapes);
    }

    painter->save();
    painter->setPen(Qt::NoPen);
    applyFillAntialiasingHint(painter);
    for (const QPolygonF &area : qAsConst(shapes.areas))
        painter->drawPolygon(area);
    // Whole pixel columns need no antialiasing, which is what makes dense fills cheap.
    painter->setAntialiasing(false);
    painter->drawRects(shapes.columns);
    painter->restore();
}
