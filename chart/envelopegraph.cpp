#include "chart/envelopegraph.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Below two points per pixel column the stock sampling keeps every point; so do we.
const double kPointsPerColumnToSample = 2.0;
// A column holding more line vertices than this (a sampled cluster has two) is filled as one
// block up to its extremes.
const int kSparseColumnVertices = 1;
// Where inside its pixel column a sampled column puts its points, as the stock sampling does:
// the first point and the last (only next to a gap), the lowest and the highest value.
const double kFirstAt = 0.2;
const double kLowAt = 0.25;
const double kHighAt = 0.75;
const double kLastAt = 0.8;

// How far beyond the plot area's edges the fill reaches, so that no edge of it shows there.
const double kBandMargin = 2.0;

// The rows of pixels in which the fill can be seen, top above bottom.
struct VisibleBand {
    double top;
    double bottom;
};

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

// The first point from `from` on whose key is not below `key`. Columns hold about as many
// points as the one before, so the search gallops from there instead of halving the whole
// rest: far fewer reads land in memory that is not in the cache.
QCPGraphDataContainer::const_iterator firstKeyNotBelow(QCPGraphDataContainer::const_iterator from,
                                                       QCPGraphDataContainer::const_iterator end, double key,
                                                       int expectedDistance)
{
    auto keyBelow = [](const QCPGraphData &point, double bound) { return point.key < bound; };
    qint64 step = qMax(1, expectedDistance);
    auto low = from;
    while (end - low > step && (low + step)->key < key) {
        low += step;
        step *= 2;
    }
    return std::lower_bound(low, low + qMin<qint64>(step + 1, end - low), key, keyBelow);
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

// One side of the fill's outline (towards the top of the screen when `beyond` is std::less,
// towards the bottom when std::greater), not yet clipped to the zero line: the line itself
// where it is sparse, and across a dense column the farthest the line reaches inside it,
// counting the segments that enter and leave the column. Between two dense neighbours the
// outline steps straight from one column's extreme to the next.
QVector<QPointF> sideOutline(const QVector<QPointF> &points, const QVector<int> &starts,
                             const std::function<bool(double, double)> &beyond)
{
    const int runs = starts.size() - 1;
    auto isDense = [&starts](int run) { return starts[run + 1] - starts[run] > kSparseColumnVertices; };
    auto columnOf = [&](int run) { return pixelColumn(points[starts[run]].x()); };
    auto denseNeighbours = [&](int left, int right) {
        return isDense(left) && isDense(right) && columnOf(right) == columnOf(left) + 1;
    };

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
        const double left = run > 0 ? columnOf(run) : points[first].x();
        const double right = run + 1 < runs ? columnOf(run) + 1 : points[end - 1].x();
        const QPointF entry(left, run > 0 ? yOnSegment(points[first - 1], points[first], left) : points[first].y());
        const QPointF exit(right, run + 1 < runs ? yOnSegment(points[end - 1], points[end], right) : points[end - 1].y());
        double extreme = beyond(entry.y(), exit.y()) ? entry.y() : exit.y();
        for (int i = first; i < end; ++i) {
            if (beyond(points[i].y(), extreme))
                extreme = points[i].y();
        }
        if (run == 0 || !denseNeighbours(run - 1, run))
            outline.append(entry);
        outline.append(QPointF(left, extreme));
        outline.append(QPointF(right, extreme));
        if (run + 1 == runs || !denseNeighbours(run, run + 1))
            outline.append(exit);
    }
    return outline;
}

// Clips an outline to the level line levelY on the side where `beyond` points, adding the
// crossings: every point ends up at the level or beyond it.
QVector<QPointF> clippedAt(const QVector<QPointF> &outline, double levelY,
                           const std::function<bool(double, double)> &beyond)
{
    QVector<QPointF> clipped;
    clipped.reserve(outline.size() + 16);
    for (int i = 0; i < outline.size(); ++i) {
        const QPointF &p = outline[i];
        if (i > 0) {
            const QPointF &previous = outline[i - 1];
            if ((previous.y() - levelY) * (p.y() - levelY) < 0) {
                const double t = (levelY - previous.y()) / (p.y() - previous.y());
                clipped.append(QPointF(previous.x() + t * (p.x() - previous.x()), levelY));
            }
        }
        clipped.append(QPointF(p.x(), beyond(p.y(), levelY) ? p.y() : levelY));
    }
    return clipped;
}

// One side of the area: its outline cut at the zero line, then kept within the visible band.
// What lies outside the band is never seen, but an antialiased fill still pays for every pixel
// of it: a value of a few thousand degrees reaches tens of thousands of pixels away.
QVector<QPointF> sideOfArea(const QVector<QPointF> &outline, double zeroY, const VisibleBand &band,
                            const std::function<bool(double, double)> &beyond)
{
    const std::less<double> above;
    const std::greater<double> below;
    return clippedAt(clippedAt(clippedAt(outline, zeroY, beyond), band.top, below), band.bottom, above);
}

// The area between a line (vertices in key order) and the zero line as one simple polygon:
// the outline above the zero line forward, the one below backward. Nothing in it overlaps, so
// the fill rule cannot punch holes into dense fills.
QPolygonF areaToZero(QVector<QPointF> points, double zeroY, const VisibleBand &band)
{
    if (points.first().x() > points.last().x())
        std::reverse(points.begin(), points.end());
    const QVector<int> starts = columnStarts(points);
    const std::less<double> up;
    const std::greater<double> down;
    const QVector<QPointF> top = sideOfArea(sideOutline(points, starts, up), zeroY, band, up);
    const QVector<QPointF> bottom = sideOfArea(sideOutline(points, starts, down), zeroY, band, down);
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

void EnvelopeGraph::setPoints(const QVector<QCPGraphData> &points, bool alreadySorted)
{
    mDataContainer->set(points, alreadySorted);
    mSummaryStamp = DataStamp();
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

const MinMaxSummary &EnvelopeGraph::upToDateSummary(const std::function<void()> &afterPart) const
{
    const DataStamp stamp = currentStamp();
    if (!(stamp == mSummaryStamp)) {
        // Built aside: a drawing in the window's turn between parts finds a whole summary,
        // its own if it needs one.
        MinMaxSummary summary;
        summary.build(stamp.storage, stamp.size, afterPart);
        mSummary = std::move(summary);
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
    if (count <= kPointsPerColumnToSample * pixelSpan + 2) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    const MinMaxSummary &summary = upToDateSummary();
    if (summary.hasGaps()) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }

    lineData->clear();
    lineData->reserve(4 * (int(pixelSpan) + 2));
    const bool keysRiseWithPixels = keyAxis->pixelOrientation() > 0;
    auto columnOf = [keyAxis](const QCPGraphData &point) { return pixelColumn(keyAxis->coordToPixel(point.key)); };
    int lastColumnSize = 1;
    for (auto it = begin; it != end;) {
        const double column = columnOf(*it);
        const double columnEndKey = keyAxis->pixelToCoord(keysRiseWithPixels ? column + 1 : column);
        auto columnEnd = firstKeyNotBelow(it, end, columnEndKey, lastColumnSize);
        if (columnEnd == it)
            columnEnd = it + 1; // a key exactly on a column's edge of a reversed axis
        lastColumnSize = int(columnEnd - it);
        // The line runs straight from cluster to cluster, unless a gap lies between them.
        const bool gapBefore = it != begin && qAbs(columnOf(*(it - 1)) - column) > 1;
        const bool gapAfter = columnEnd != end && qAbs(columnOf(*columnEnd) - column) > 1;
        appendColumn(lineData, summary, it, columnEnd, column, gapBefore, gapAfter);
        it = columnEnd;
    }
}

// The points of one pixel column: a lone point as it is, a cluster as its lowest and highest
// value (from the summary), with its first and last point where a gap borders it.
void EnvelopeGraph::appendColumn(QVector<QCPGraphData> *lineData, const MinMaxSummary &summary,
                                 QCPGraphDataContainer::const_iterator from, QCPGraphDataContainer::const_iterator to,
                                 double column, bool gapBefore, bool gapAfter) const
{
    if (to - from == 1) {
        lineData->append(*from);
        return;
    }
    const QCPAxis *keyAxis = mKeyAxis.data();
    // Fractions count along rising keys, whichever way the axis runs.
    const bool keysRiseWithPixels = keyAxis->pixelOrientation() > 0;
    auto keyAt = [&](double fraction) {
        return keyAxis->pixelToCoord(column + (keysRiseWithPixels ? fraction : 1 - fraction));
    };
    const QCPGraphData *points = &*mDataContainer->constBegin();
    const QCPRange extremes = summary.valueRange(points, int(&*from - points), int(&*to - points));
    if (gapBefore)
        lineData->append(QCPGraphData(keyAt(kFirstAt), from->value));
    lineData->append(QCPGraphData(keyAt(kLowAt), extremes.lower));
    lineData->append(QCPGraphData(keyAt(kHighAt), extremes.upper));
    if (gapAfter)
        lineData->append(QCPGraphData(keyAt(kLastAt), (to - 1)->value));
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
    const QRect plotArea = mValueAxis->axisRect()->rect();
    const VisibleBand band{plotArea.top() - kBandMargin, plotArea.bottom() + 1 + kBandMargin};
    for (const QCPDataRange &segment : getNonNanSegments(lines, Qt::Horizontal)) {
        if (segment.size() >= 2)
            painter->drawPolygon(areaToZero(lines->mid(segment.begin(), segment.size()), zeroY, band));
    }
}
