// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/envelopegraph.h"

#include "graph/devicecanvas.h"
#include "graph/replotpreparation.h"

#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <typeinfo>

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

// A click is answered from the line in the pixel columns within the selection tolerance and this
// many more on each side, whose segments reach no farther than a column into the tolerance.
const double kHitColumnsBeyond = 2;
// The plot's property set while a wheel event is handed to it.
const char kWheelDispatch[] = "envelopeGraphWheelDispatch";

// How often the window has its turn while summaries are built on other threads.
const std::chrono::milliseconds kTurnWhileSummarising(10);

// How far beyond the plot area's edges the fill reaches, so that no edge of it shows there.
const double kBandMargin = 2.0;
// The painter moves antialiased drawing by half a pixel; blocks drawn without antialiasing move
// by the same to land where the antialiased shapes would.
const double kAntialiasedShift = 0.5;

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
// points as the one before, so the search starts where that many points end and gallops from
// there, forwards or backwards: a handful of reads, where halving the column would land a dozen
// in memory that is not in the cache.
QCPGraphDataContainer::const_iterator firstKeyNotBelow(QCPGraphDataContainer::const_iterator from,
                                                       QCPGraphDataContainer::const_iterator end, double key,
                                                       int expectedDistance)
{
    auto keyBelow = [](const QCPGraphData &point, double bound) { return point.key < bound; };
    const auto guess = from + qMin<qint64>(qMax(1, expectedDistance), end - from);
    if (guess == end)
        return std::lower_bound(from, end, key, keyBelow);
    qint64 step = 1;
    if (guess->key >= key) {
        auto high = guess;
        while (high - from > step && (high - step)->key >= key) {
            high -= step;
            step *= 2;
        }
        return std::lower_bound(high - from > step ? high - step + 1 : from, high, key, keyBelow);
    }
    auto low = guess;
    while (end - low > step && (low + step)->key < key) {
        low += step;
        step *= 2;
    }
    return std::lower_bound(low + 1, end - low > step ? low + step + 1 : end, key, keyBelow);
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

// How far the line reaches up and down inside one run of vertices sharing a pixel column,
// counting where the segments that enter and leave it cross its edges (at the line's ends, its
// first and last vertex).
struct ColumnReach {
    double left;
    double right;
    double entryY;
    double exitY;
    double top;
    double bottom;
};

ColumnReach columnReach(const QVector<QPointF> &points, const QVector<int> &starts, int run)
{
    const int runs = starts.size() - 1;
    const int first = starts[run];
    const int end = starts[run + 1];
    const double column = pixelColumn(points[first].x());
    const double left = run > 0 ? column : points[first].x();
    const double right = run + 1 < runs ? column + 1 : points[end - 1].x();
    const double entryY = run > 0 ? yOnSegment(points[first - 1], points[first], left) : points[first].y();
    const double exitY = run + 1 < runs ? yOnSegment(points[end - 1], points[end], right) : points[end - 1].y();
    ColumnReach reach{left, right, entryY, exitY, std::min(entryY, exitY), std::max(entryY, exitY)};
    for (int i = first; i < end; ++i) {
        reach.top = std::min(reach.top, points[i].y());
        reach.bottom = std::max(reach.bottom, points[i].y());
    }
    return reach;
}

bool isDenseRun(const QVector<int> &starts, int run)
{
    return starts[run + 1] - starts[run] > kSparseColumnVertices;
}

// A stretch of the line between dense columns that no block covers: sparse columns, or nothing
// where two dense columns are not neighbours. It holds the vertices next to it: from the last
// vertex of the dense run before it to the first of the dense run after it, where they exist.
struct SparseStretch {
    int from;
    int to; // inclusive
    bool denseBefore;
    bool denseAfter;
};

QVector<SparseStretch> sparseStretches(const QVector<QPointF> &points, const QVector<int> &starts)
{
    QVector<SparseStretch> stretches;
    const int runs = starts.size() - 1;
    for (int run = 0; run < runs;) {
        if (isDenseRun(starts, run)) {
            const int next = starts[run + 1];
            if (run + 1 < runs && isDenseRun(starts, run + 1)
                && pixelColumn(points[next].x()) > pixelColumn(points[next - 1].x()) + 1)
                stretches.append({next - 1, next, true, true});
            ++run;
            continue;
        }
        const bool denseBefore = run > 0;
        const int from = denseBefore ? starts[run] - 1 : starts[run];
        while (run < runs && !isDenseRun(starts, run))
            ++run;
        const bool denseAfter = run < runs;
        stretches.append({from, denseAfter ? starts[run] : starts[run] - 1, denseBefore, denseAfter});
    }
    return stretches;
}

// A sparse stretch's vertices, its ends moved onto the edges of the dense columns beside it, so
// that its area meets theirs without overlapping them.
QVector<QPointF> stretchBetweenColumns(const QVector<QPointF> &points, const SparseStretch &stretch)
{
    QVector<QPointF> piece = points.mid(stretch.from, stretch.to - stretch.from + 1);
    if (stretch.denseBefore) {
        const double edge = pixelColumn(piece[0].x()) + 1;
        piece[0] = QPointF(edge, yOnSegment(piece[0], piece[1], edge));
    }
    if (stretch.denseAfter) {
        const int last = piece.size() - 1;
        const double edge = pixelColumn(piece[last].x());
        piece[last] = QPointF(edge, yOnSegment(piece[last - 1], piece[last], edge));
    }
    return piece;
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
    auto columnOf = [&](int run) { return pixelColumn(points[starts[run]].x()); };
    auto denseNeighbours = [&](int left, int right) {
        return isDenseRun(starts, left) && isDenseRun(starts, right) && columnOf(right) == columnOf(left) + 1;
    };

    QVector<QPointF> outline;
    outline.reserve(points.size() + 4 * runs);
    for (int run = 0; run < runs; ++run) {
        const int first = starts[run];
        const int end = starts[run + 1];
        if (!isDenseRun(starts, run)) {
            for (int i = first; i < end; ++i)
                outline.append(points[i]);
            continue;
        }
        const ColumnReach reach = columnReach(points, starts, run);
        const double extreme = beyond(reach.top, reach.bottom) ? reach.top : reach.bottom;
        if (run == 0 || !denseNeighbours(run - 1, run))
            outline.append(QPointF(reach.left, reach.entryY));
        outline.append(QPointF(reach.left, extreme));
        outline.append(QPointF(reach.right, extreme));
        if (run + 1 == runs || !denseNeighbours(run, run + 1))
            outline.append(QPointF(reach.right, reach.exitY));
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
QPolygonF areaToZero(const QVector<QPointF> &points, double zeroY, const VisibleBand &band)
{
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

// Blocks filled without antialiasing, each moved by shift first to land where an antialiased
// shape would have been: a solid fill of whole pixels costs a fraction of an antialiased one.
// Edges round to the nearest device pixel edge, as the raster engine rounds a rectangle's.
void fillBlocks(DeviceCanvas *canvas, const QTransform &toDevice, const QVector<QRectF> &blocks, const QPointF &shift,
                const QColor &colour)
{
    for (const QRectF &block : blocks) {
        const QRectF device = toDevice.mapRect(block.translated(shift));
        const int top = qRound(device.top());
        const int bottom = qRound(device.bottom());
        for (int column = qRound(device.left()); column < qRound(device.right()); ++column)
            canvas->fillSpan(column, top, bottom, colour);
    }
}

// One column's fill from top to bottom, in the pixel column given.
QRectF columnSpan(double pixel, double top, double bottom)
{
    return QRectF(QPointF(pixel, top), QPointF(pixel + 1, bottom));
}

// Where a device pixel is a chart pixel (no scaling), the antialiased fill of a pixel column
// would straddle two pixels, half each: a pixel shows both neighbours' fill where both reach and
// half the brush where one alone does. Each pixel is filled that way here, whole.
void fillStraddlingColumns(DeviceCanvas *canvas, const QTransform &toDevice, const QVector<QRectF> &columns,
                           const QColor &colour)
{
    QColor half = colour;
    half.setAlpha(colour.alpha() / 2);
    QVector<QRectF> whole;
    QVector<QRectF> halves;
    for (int i = 0; i < columns.size(); ++i) {
        const QRectF &column = columns[i];
        const double pixel = pixelColumn(column.left());
        const bool leftNeighbour = i > 0 && pixelColumn(columns[i - 1].left()) + 1 == pixel;
        if (leftNeighbour) {
            const QRectF &previous = columns[i - 1];
            const double top = std::max(previous.top(), column.top());
            const double bottom = std::min(previous.bottom(), column.bottom());
            whole.append(columnSpan(pixel, top, bottom));
            halves.append(columnSpan(pixel, std::min(previous.top(), column.top()), top));
            halves.append(columnSpan(pixel, bottom, std::max(previous.bottom(), column.bottom())));
        } else {
            halves.append(columnSpan(pixel, column.top(), column.bottom()));
        }
        const bool rightNeighbour = i + 1 < columns.size() && pixelColumn(columns[i + 1].left()) == pixel + 1;
        if (!rightNeighbour)
            halves.append(columnSpan(pixel + 1, column.top(), column.bottom()));
    }
    const QPointF down(0, kAntialiasedShift);
    fillBlocks(canvas, toDevice, whole, down, colour);
    fillBlocks(canvas, toDevice, halves, down, half);
}

// A line's stretches between its gaps (points without a value), where the stock drawing breaks
// it; a plain loop, as the stock search calls a function for every point.
QVector<QCPDataRange> stretchesBetweenGaps(const QVector<QPointF> &points)
{
    QVector<QCPDataRange> stretches;
    const int count = points.size();
    for (int i = 0; i < count;) {
        while (i < count && std::isnan(points[i].y()))
            ++i;
        const int begin = i;
        while (i < count && !std::isnan(points[i].y()))
            ++i;
        if (i > begin)
            stretches.append(QCPDataRange(begin, i));
    }
    return stretches;
}

QVector<QPointF> inKeyOrder(QVector<QPointF> points)
{
    if (points.first().x() > points.last().x())
        std::reverse(points.begin(), points.end());
    return points;
}

// The area between a line and the zero line: each dense column as one block from the zero line
// to the farthest the line reaches in it, the sparse stretches between them as polygons.
// Without a canvas only the polygons are drawn (their blocks were gathered ahead); with
// paintsPolygons false only the blocks are gathered (the polygons go on when it is put on).
void fillAreaByColumns(QCPPainter *painter, DeviceCanvas *canvas, bool paintsPolygons, const QVector<QPointF> &points,
                       double zeroY, const VisibleBand &band)
{
    const QVector<int> starts = columnStarts(points);
    for (const SparseStretch &stretch : paintsPolygons ? sparseStretches(points, starts) : QVector<SparseStretch>()) {
        const QVector<QPointF> piece = stretchBetweenColumns(points, stretch);
        if (piece.size() >= 2)
            painter->drawPolygon(areaToZero(piece, zeroY, band));
    }
    if (!canvas)
        return;
    QVector<QRectF> blocks;
    for (int run = 0; run + 1 < starts.size(); ++run) {
        if (!isDenseRun(starts, run))
            continue;
        const ColumnReach reach = columnReach(points, starts, run);
        const double top = std::max(band.top, std::min(reach.top, zeroY));
        const double bottom = std::min(band.bottom, std::max(reach.bottom, zeroY));
        if (bottom > top)
            blocks.append(QRectF(QPointF(reach.left, top), QPointF(reach.right, bottom)));
    }
    // Blocks land on whole device pixels, placed without the half pixel by which the painter
    // moves antialiased drawing.
    const bool antialiased = painter->antialiasing();
    painter->setAntialiasing(false);
    const QTransform toDevice = painter->deviceTransform();
    painter->setAntialiasing(antialiased);
    const bool straddling = antialiased && toDevice.m11() == 1;
    if (straddling)
        fillStraddlingColumns(canvas, toDevice, blocks, painter->brush().color());
    else
        fillBlocks(canvas, toDevice, blocks,
                   antialiased ? QPointF(kAntialiasedShift, kAntialiasedShift) : QPointF(),
                   painter->brush().color());
}

} // namespace

EnvelopeGraph::EnvelopeGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{
    // Listening to the plot's replots from the first on.
    ReplotPreparation::of(mParentPlot);
}

void EnvelopeGraph::setPoints(const QVector<QCPGraphData> &points, bool alreadySorted)
{
    mDataContainer->set(points, alreadySorted);
    mSummaryStamp = DataStamp();
}

void EnvelopeGraph::adoptSummary(MinMaxSummary &&summary)
{
    mSummary = std::move(summary);
    mSummaryStamp = currentStamp();
}

void EnvelopeGraph::addPoints(const QVector<QCPGraphData> &sortedPoints)
{
    if (sortedPoints.isEmpty())
        return;
    const bool summaryUpToDate = currentStamp() == mSummaryStamp;
    // Room at the end first, into the space the container grows ahead: copies of the last point,
    // which go there one by one.
    const int presentCount = mDataContainer->size();
    const QCPGraphData filler = presentCount > 0 ? *(mDataContainer->constEnd() - 1) : sortedPoints.first();
    for (int i = 0; i < sortedPoints.size(); ++i)
        mDataContainer->add(filler);
    // Merged from the back: present points later than a new one move up past it; of equal keys
    // the new one comes after, as a load puts what it reads later. In order, none moves.
    QCPGraphData *points = &*mDataContainer->begin();
    int present = presentCount - 1;
    int added = sortedPoints.size() - 1;
    for (int to = presentCount + added; added >= 0; --to) {
        if (present >= 0 && points[present].key > sortedPoints[added].key)
            points[to] = points[present--];
        else
            points[to] = sortedPoints[added--];
    }
    if (summaryUpToDate) {
        mSummary.extend(points, present + 1, mDataContainer->size());
        mSummaryStamp = currentStamp();
    }
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

void EnvelopeGraph::summariseSideBySide(const QVector<EnvelopeGraph *> &graphs,
                                        const std::function<void()> &whileWaiting)
{
    const int threads = std::min(QThreadPool::globalInstance()->maxThreadCount(), graphs.size());
    if (threads < 2) {
        for (const EnvelopeGraph *graph : graphs)
            graph->upToDateSummary(whileWaiting);
        return;
    }
    // Each built aside from its points, as upToDateSummary builds one, and handed over at the end;
    // a drawing in the window's turn meanwhile builds its own.
    std::vector<DataStamp> stamps;
    std::vector<bool> outdated;
    for (const EnvelopeGraph *graph : graphs) {
        stamps.push_back(graph->currentStamp());
        outdated.push_back(!(stamps.back() == graph->mSummaryStamp));
    }
    std::vector<MinMaxSummary> built(size_t(graphs.size()));
    std::atomic<int> next(0);
    std::mutex mutex;
    std::condition_variable progressed;
    int finished = 0;
    auto work = [&]() {
        for (int i = next++; i < graphs.size(); i = next++) {
            if (outdated[size_t(i)])
                built[size_t(i)].build(stamps[size_t(i)].storage, stamps[size_t(i)].size);
            const std::lock_guard<std::mutex> lock(mutex);
            ++finished;
            progressed.notify_one();
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work);
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex);
        if (progressed.wait_for(lock, kTurnWhileSummarising, [&]() { return finished == graphs.size(); }))
            break;
        lock.unlock();
        whileWaiting();
    }
    for (std::thread &worker : workers)
        worker.join();
    for (int i = 0; i < graphs.size(); ++i) {
        const EnvelopeGraph *graph = graphs[i];
        // Points changed while waiting are summarised when next drawn.
        if (!(stamps[size_t(i)] == graph->mSummaryStamp) && stamps[size_t(i)] == graph->currentStamp()) {
            graph->mSummary = std::move(built[size_t(i)]);
            graph->mSummaryStamp = stamps[size_t(i)];
        }
    }
}

EnvelopeGraph::Frame EnvelopeGraph::Frame::of(QCPPainter *painter)
{
    Frame frame;
    const bool antialiased = painter->antialiasing();
    painter->setAntialiasing(false);
    frame.world = painter->worldTransform();
    painter->setAntialiasing(antialiased);
    frame.area = DeviceCanvas::clipArea(painter);
    frame.device = QSize(painter->device()->width(), painter->device()->height());
    frame.ratio = painter->device()->devicePixelRatioF();
    frame.modes = painter->modes();
    return frame;
}

namespace {

QImage pixelAtRatio(qreal ratio)
{
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.setDevicePixelRatio(ratio);
    return pixel;
}

} // namespace

EnvelopeGraph::StandIn::StandIn(const Frame &frame)
    : image(pixelAtRatio(frame.ratio))
    , painter(&image)
{
    painter.setModes(frame.modes);
    painter.setWorldTransform(frame.world);
}

// A prepared drawing keeps each sampling's result, in order, and hands them back when put on.
void EnvelopeGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                         const QCPGraphDataContainer::const_iterator &begin,
                                         const QCPGraphDataContainer::const_iterator &end) const
{
    if (mPass == Pass::Replaying && mPrepared->lineDataReplayed < mPrepared->lineData.size()) {
        *lineData = mPrepared->lineData[mPrepared->lineDataReplayed++];
        return;
    }
    sampleLineData(lineData, begin, end);
    if (mPass == Pass::Preparing)
        mPrepared->lineData.append(*lineData);
}

void EnvelopeGraph::sampleLineData(QVector<QCPGraphData> *lineData, const QCPGraphDataContainer::const_iterator &begin,
                                   const QCPGraphDataContainer::const_iterator &end, double shift) const
{
    const QCPAxis *keyAxis = mKeyAxis.data();
    const int count = int(end - begin);
    // Points drawn as they are, moved by the shift.
    auto stock = [&]() {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        if (shift != 0) {
            for (QCPGraphData &point : *lineData)
                point.key += shift;
        }
    };
    if (!keyAxis || !mAdaptiveSampling || count < 2) {
        stock();
        return;
    }
    const double pixelSpan = qAbs(keyAxis->coordToPixel(begin->key) - keyAxis->coordToPixel((end - 1)->key));
    if (count <= kPointsPerColumnToSample * pixelSpan + 2) {
        stock();
        return;
    }
    const MinMaxSummary &summary = upToDateSummary();
    if (summary.hasGaps()) {
        stock();
        return;
    }

    lineData->clear();
    lineData->reserve(4 * (int(pixelSpan) + 2));
    const bool keysRiseWithPixels = keyAxis->pixelOrientation() > 0;
    auto columnOf = [keyAxis, shift](const QCPGraphData &point) {
        return pixelColumn(keyAxis->coordToPixel(point.key + shift));
    };
    const QCPGraphData *points = &*mDataContainer->constBegin();
    int lastColumnSize = 1;
    for (auto it = begin; it != end;) {
        const double column = columnOf(*it);
        const double columnEndKey = keyAxis->pixelToCoord(keysRiseWithPixels ? column + 1 : column) - shift;
        auto columnEnd = firstKeyNotBelow(it, end, columnEndKey, lastColumnSize);
        if (columnEnd == it)
            columnEnd = it + 1; // a key exactly on a column's edge of a reversed axis
        lastColumnSize = int(columnEnd - it);
        // The column after the next most likely ends as far on as this one: what its summary
        // reads is fetched from memory while this one and the next are summarised.
        if (end - columnEnd > 2 * qint64(lastColumnSize))
            summary.prefetch(points, int(&*columnEnd - points) + 2 * lastColumnSize);
        // The line runs straight from cluster to cluster, unless a gap lies between them.
        const bool gapBefore = it != begin && qAbs(columnOf(*(it - 1)) - column) > 1;
        const bool gapAfter = columnEnd != end && qAbs(columnOf(*columnEnd) - column) > 1;
        appendColumn(lineData, summary, it, columnEnd, column, gapBefore, gapAfter, shift);
        it = columnEnd;
    }
}

// The points of one pixel column: a lone point as it is, a cluster as its lowest and highest
// value (from the summary), with its first and last point where a gap borders it; keys moved by
// the shift.
void EnvelopeGraph::appendColumn(QVector<QCPGraphData> *lineData, const MinMaxSummary &summary,
                                 QCPGraphDataContainer::const_iterator from, QCPGraphDataContainer::const_iterator to,
                                 double column, bool gapBefore, bool gapAfter, double shift) const
{
    if (to - from == 1) {
        lineData->append(QCPGraphData(from->key + shift, from->value));
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

void EnvelopeGraph::setComparison(double shift, const QPen &pen)
{
    mComparing = true;
    mComparisonShift = shift;
    mComparisonPen = pen;
    mComparisonDashes = pen.dashPattern();
}

void EnvelopeGraph::removeComparison()
{
    mComparing = false;
    mComparisonShift = 0;
    mComparisonLines = QVector<QPointF>();
    mComparisonStretches = QVector<QCPDataRange>();
    mComparisonPrepared = false;
}

// The moved points within the time axis's range and the nearest beyond each edge, sampled as the
// graph's own line, in the painter's coordinates.
QVector<QPointF> EnvelopeGraph::comparisonLines() const
{
    const QCPRange keys = mKeyAxis->range();
    const auto begin = mDataContainer->findBegin(keys.lower - mComparisonShift);
    const auto end = mDataContainer->findEnd(keys.upper - mComparisonShift);
    if (end - begin < 2)
        return {};
    QVector<QCPGraphData> lineData;
    sampleLineData(&lineData, begin, end, mComparisonShift);
    return dataToLines(lineData);
}

// Whether the comparison's line goes on a canvas: an antialiased raster drawing, its pen one
// device pixel wide as the stock drawing strokes a pen one wide (a cosmetic hairline), in a plain
// colour. The raster engine blends such a line a pixel at a time, hundreds of pixels up and down
// every dense column; on a canvas they are writes into memory.
bool EnvelopeGraph::comparesOnCanvas(QCPPainter *painter) const
{
    applyDefaultAntialiasingHint(painter);
    const double width = mComparisonPen.widthF();
    const bool oneWide = width == 0 || qFuzzyCompare(width, 1.0);
    const bool hairline = oneWide
                          && (!painter->modes().testFlag(QCPPainter::pmNonCosmetic) || painter->deviceTransform().m11() == 1);
    return DeviceCanvas::suits(painter) && !painter->modes().testFlag(QCPPainter::pmVectorized)
           && painter->antialiasing() && hairline && mComparisonPen.brush().style() == Qt::SolidPattern;
}

// Each stretch between gaps dashed anew, as the stock drawing strokes each as a polyline of its own.
void EnvelopeGraph::strokeComparisonOn(QCPPainter *painter, DeviceCanvas &canvas) const
{
    applyDefaultAntialiasingHint(painter);
    const bool capped = mComparisonPen.capStyle() != Qt::FlatCap;
    // Read on several threads at once: never through a path that may detach.
    for (const QCPDataRange &stretch : qAsConst(mComparisonStretches)) {
        canvas.strokeDashedHairline(mComparisonLines.constData() + stretch.begin(), stretch.size(),
                                    mComparisonPen.color(), capped, mComparisonDashes);
    }
}

void EnvelopeGraph::resampleComparison() const
{
    mComparisonLines = comparisonLines();
    mComparisonStretches = stretchesBetweenGaps(mComparisonLines);
}

void EnvelopeGraph::sampleComparison() const
{
    resampleComparison();
    mComparisonPrepared = true;
}

std::vector<const EnvelopeGraph *> EnvelopeGraph::comparingGraphs(const QCustomPlot *plot)
{
    std::vector<const EnvelopeGraph *> graphs;
    for (int i = 0; i < plot->graphCount(); ++i) {
        const auto *graph = qobject_cast<const EnvelopeGraph *>(plot->graph(i));
        if (graph && graph->realVisibility() && graph->mComparing && graph->mKeyAxis && graph->mValueAxis)
            graphs.push_back(graph);
    }
    return graphs;
}

bool EnvelopeGraph::comparisonsOnCanvas(const std::vector<const EnvelopeGraph *> &graphs, QCPPainter *painter)
{
    return std::all_of(graphs.begin(), graphs.end(),
                       [painter](const EnvelopeGraph *graph) { return graph->comparesOnCanvas(painter); });
}

void EnvelopeGraph::strokeComparisons(const std::vector<const EnvelopeGraph *> &graphs, QCPPainter *painter,
                                      DeviceCanvas &canvas)
{
    for (const EnvelopeGraph *graph : graphs)
        graph->strokeComparisonOn(painter, canvas);
}

void EnvelopeGraph::drawComparisons(QCPPainter *painter, QCustomPlot *plot)
{
    ReplotPreparation *preparation = ReplotPreparation::of(plot);
    const std::vector<const EnvelopeGraph *> graphs = comparingGraphs(plot);
    if (preparation->paintComparisons(painter, graphs))
        return;
    for (const EnvelopeGraph *graph : graphs) {
        if (!graph->mComparisonPrepared)
            graph->resampleComparison();
        graph->mComparisonPrepared = false;
    }
    if (!comparisonsOnCanvas(graphs, painter)) {
        for (const EnvelopeGraph *graph : graphs) {
            if (graph->mComparisonLines.size() < 2)
                continue;
            painter->setPen(graph->mComparisonPen);
            painter->setBrush(Qt::NoBrush);
            graph->applyDefaultAntialiasingHint(painter);
            graph->drawPolyline(painter, graph->mComparisonLines);
        }
        return;
    }
    auto stroke = [&graphs](QCPPainter *on, DeviceCanvas &canvas) { strokeComparisons(graphs, on, canvas); };
    if (graphs.empty() || preparation->drawInStripes(painter, stroke))
        return;
    DeviceCanvas canvas(painter);
    stroke(painter, canvas);
    canvas.paint();
}

// The stock answer is the distance to the nearest of the points within the tolerance and of the
// line's segments; the points are searched nearest first through the summary, never opening a
// run whose extremes lie farther than the nearest found, and the line is sampled only in the
// whole pixel columns around the mouse. Selections of parts of the data, other line styles and
// data with gaps are answered the stock way.
bool EnvelopeGraph::answersHitsFromTheSummary() const
{
    return mLineStyle == lsLine && mScatterStyle.isNone() && mSelectable == QCP::stWhole && mKeyAxis && mValueAxis
           && mKeyAxis->orientation() == Qt::Horizontal && !upToDateSummary().hasGaps();
}

void EnvelopeGraph::dispatchWheel(QCustomPlot *plot, QEvent *wheel)
{
    plot->setProperty(kWheelDispatch, true);
    static_cast<QObject *>(plot)->event(wheel);
    plot->setProperty(kWheelDispatch, QVariant());
}

double EnvelopeGraph::selectTest(const QPointF &pos, bool onlySelectable, QVariant *details) const
{
    if (!onlySelectable && mParentPlot->property(kWheelDispatch).isValid())
        return -1;
    if (mDataContainer->isEmpty() || !answersHitsFromTheSummary())
        return QCPGraph::selectTest(pos, onlySelectable, details);
    const bool beyondAxisRect = mParentPlot->interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect);
    if (!mKeyAxis->axisRect()->rect().contains(pos.toPoint()) && !beyondAxisRect)
        return -1;
    const double tolerance = mParentPlot->selectionTolerance();
    int nearestPoint = 0;
    const double nearestSquared = std::min(squaredDistanceToLine(pos, tolerance + kHitColumnsBeyond),
                                           squaredDistanceToPoints(pos, tolerance, &nearestPoint));
    if (details)
        details->setValue(QCPDataSelection(QCPDataRange(nearestPoint, nearestPoint + 1)));
    return std::sqrt(nearestSquared);
}

// The keys of the pixel columns within reach of x, whole columns.
QCPRange EnvelopeGraph::keysOfColumnsAround(double x, double reach) const
{
    QCPRange keys(mKeyAxis->pixelToCoord(std::floor(x - reach)), mKeyAxis->pixelToCoord(std::ceil(x + reach)));
    return keys.lower > keys.upper ? QCPRange(keys.upper, keys.lower) : keys;
}

double EnvelopeGraph::squaredDistanceToLine(const QPointF &pos, double reach) const
{
    const QCPRange keys = keysOfColumnsAround(pos.x(), reach);
    const auto begin = mDataContainer->constBegin();
    const int first = int(mDataContainer->findBegin(keys.lower, true) - begin);
    const int end = int(mDataContainer->findEnd(keys.upper, true) - begin);
    QVector<QPointF> lines;
    getLines(&lines, QCPDataRange(first, end));
    const QCPVector2D mouse(pos);
    double nearest = std::numeric_limits<double>::max();
    for (int i = 0; i + 1 < lines.size(); ++i)
        nearest = std::min(nearest, mouse.distanceSquaredToLine(lines[i], lines[i + 1]));
    return nearest;
}

double EnvelopeGraph::squaredDistanceToPoints(const QPointF &pos, double tolerance, int *nearestPoint) const
{
    const QCPRange window(mKeyAxis->pixelToCoord(pos.x() - tolerance), mKeyAxis->pixelToCoord(pos.x() + tolerance));
    const auto begin = mDataContainer->constBegin();
    const int first = int(mDataContainer->findBegin(std::min(window.lower, window.upper), true) - begin);
    const int end = int(mDataContainer->findEnd(std::max(window.lower, window.upper), true) - begin);
    const QCPGraphData *points = &*begin;
    // The least squared distance of a run of points: to the rectangle their keys and values span.
    auto least = [&](int from, int to, double low, double high) {
        const double x1 = mKeyAxis->coordToPixel(points[from].key);
        const double x2 = mKeyAxis->coordToPixel(points[to - 1].key);
        const double y1 = mValueAxis->coordToPixel(low);
        const double y2 = mValueAxis->coordToPixel(high);
        const double dx = std::max({0.0, std::min(x1, x2) - pos.x(), pos.x() - std::max(x1, x2)});
        const double dy = std::max({0.0, std::min(y1, y2) - pos.y(), pos.y() - std::max(y1, y2)});
        return dx * dx + dy * dy;
    };
    auto distance = [&](int index) {
        return QCPVector2D(coordsToPixels(points[index].key, points[index].value) - pos).lengthSquared();
    };
    double nearest = std::numeric_limits<double>::max();
    const int found = upToDateSummary().nearestPoint(points, first, end, least, distance, &nearest);
    *nearestPoint = found < end ? found : first;
    return nearest;
}

bool EnvelopeGraph::drawsOwnFill() const
{
    return !mChannelFillGraph && mLineStyle != lsImpulse && mKeyAxis && mValueAxis
           && mKeyAxis->orientation() == Qt::Horizontal && mValueAxis->scaleType() == QCPAxis::stLinear;
}

// A wide pen (as a selected graph's) strokes a long polyline as one shape, whose every scanline
// crosses thousands of edges; segment by segment it costs their pixels. An opaque solid pen
// looks the same either way where the line is dense, but for faint seams of antialiasing where
// segments meet; flat caps leave of each corner what a bevel join would. A line of fewer
// vertices than the plot area has pixel columns keeps the stock stroke and its joins.
bool EnvelopeGraph::strokesSegmentBySegment(const QCPPainter *painter, int vertices) const
{
    const QPen pen = painter->pen();
    return vertices > mKeyAxis->axisRect()->width() && !painter->modes().testFlag(QCPPainter::pmVectorized)
           && pen.style() == Qt::SolidLine && !pen.isCosmetic() && pen.widthF() > 1
           && pen.brush().style() == Qt::SolidPattern && pen.color().alpha() == 255;
}

// A dense antialiased hairline (an unselected curve's pen, which the stock drawing strokes one
// device pixel wide) is worth gathering on a canvas: across a dense column it runs up and down
// the column's whole spread, hundreds of pixels the raster engine blends one call at a time.
bool EnvelopeGraph::isDenseHairline(const QCPPainter *painter, int vertices) const
{
    const QPen pen = painter->pen();
    // The stock drawing strokes a pen one wide as a cosmetic one, a device pixel wide, unless the
    // painter keeps pens to scale (an enlarged export).
    const bool oneWide = pen.widthF() == 0 || qFuzzyCompare(pen.widthF(), 1.0);
    const bool hairline = oneWide
                          && (!painter->modes().testFlag(QCPPainter::pmNonCosmetic) || painter->deviceTransform().m11() == 1);
    return vertices > mKeyAxis->axisRect()->width() && !painter->modes().testFlag(QCPPainter::pmVectorized)
           && painter->antialiasing() && hairline && pen.style() == Qt::SolidLine
           && pen.brush().style() == Qt::SolidPattern;
}

void EnvelopeGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    applyDefaultAntialiasingHint(painter);
    const QPen pen = painter->pen();
    const bool wide = strokesSegmentBySegment(painter, lines.size());
    if (DeviceCanvas::suits(painter) && (wide || isDenseHairline(painter, lines.size()))) {
        // Put on, a prepared drawing has its line on its canvas already.
        const QVector<QCPDataRange> segments =
            mPass == Pass::Replaying ? QVector<QCPDataRange>() : getNonNanSegments(&lines, mKeyAxis->orientation());
        for (const QCPDataRange &segment : segments) {
            DeviceCanvas &canvas = openCanvas(painter);
            const QPointF *points = lines.constData() + segment.begin();
            if (wide)
                canvas.strokeWide(points, segment.size(), pen.color(), pen.widthF() * painter->deviceTransform().m11());
            else
                canvas.strokeHairline(points, segment.size(), pen.color(), pen.capStyle() != Qt::FlatCap);
        }
        paintCanvas(painter);
        return;
    }
    // A fill gathered goes under the line drawn the stock way.
    paintCanvas(painter);
    if (mPass == Pass::Preparing)
        return;
    if (!wide) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    QPen flat = pen;
    flat.setCapStyle(Qt::FlatCap);
    painter->setPen(flat);
    for (const QCPDataRange &segment : getNonNanSegments(&lines, mKeyAxis->orientation())) {
        for (int i = segment.begin() + 1; i < segment.end(); ++i)
            painter->drawLine(lines[i - 1], lines[i]);
    }
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
    // A vector drawing keeps its fill one shape, as the stock graph's is; blocks take a plain colour
    // and device pixels.
    const bool asPolygon = painter->modes().testFlag(QCPPainter::pmVectorized)
                           || painter->brush().style() != Qt::SolidPattern || !DeviceCanvas::suits(painter);
    for (const QCPDataRange &segment : getNonNanSegments(lines, Qt::Horizontal)) {
        if (segment.size() < 2)
            continue;
        const QVector<QPointF> points = inKeyOrder(lines->mid(segment.begin(), segment.size()));
        if (asPolygon && mPass != Pass::Preparing)
            painter->drawPolygon(areaToZero(points, zeroY, band));
        else if (!asPolygon)
            fillAreaByColumns(painter, mPass == Pass::Replaying ? nullptr : &openCanvas(painter),
                              mPass != Pass::Preparing, points, zeroY, band);
    }
}

// The fill's canvas stays open for the line drawn next over it: one image drawn per graph. A
// drawing prepared ahead opens it in the scratch it was given; put on, it has it already.
DeviceCanvas &EnvelopeGraph::openCanvas(QCPPainter *painter) const
{
    if (mPass == Pass::Preparing && mPrepared->canvas) {
        // A second canvas would need a second point at which to go on.
        mPrepared->failed = true;
        mCanvas = std::move(mPrepared->canvas);
    }
    if (!mCanvas && mPass == Pass::Preparing) {
        const Frame &frame = mPrepared->frame;
        mCanvas.reset(new DeviceCanvas(painter, frame.area, frame.device, *mPrepared->scratch));
    } else if (!mCanvas) {
        mCanvas.reset(new DeviceCanvas(painter));
    }
    return *mCanvas;
}

void EnvelopeGraph::paintCanvas(QCPPainter *painter) const
{
    switch (mPass) {
    case Pass::Direct:
        if (mCanvas)
            mCanvas->paint();
        mCanvas.reset();
        break;
    case Pass::Preparing:
        if (mCanvas) {
            mCanvas->resolveCells();
            mPrepared->canvas = std::move(mCanvas);
        }
        break;
    case Pass::Replaying:
        if (mPrepared->canvas && !mPrepared->painted)
            mPrepared->canvas->paintOnto(painter);
        mPrepared->painted = true;
        break;
    }
}

void EnvelopeGraph::draw(QCPPainter *painter)
{
    ReplotPreparation *preparation = ReplotPreparation::of(mParentPlot);
    if (Prepared *prepared = preparation->preparedFor(this, painter)) {
        replay(painter, prepared);
        preparation->drawn(this);
        return;
    }
    QCPGraph::draw(painter);
    paintCanvas(painter);
}

// Whether the graph's drawing can be prepared with the first graph's of a replot and put on at
// one point: a line with its fill of its own, one kind of segment (all selected or none), the
// plain selection decoration, the same clip.
bool EnvelopeGraph::preparesAlongside(const EnvelopeGraph *first) const
{
    QList<QCPDataRange> selected;
    QList<QCPDataRange> unselected;
    getDataSegments(selected, unselected);
    const bool plainDecoration = !mSelectionDecorator || typeid(*mSelectionDecorator) == typeid(QCPSelectionDecorator);
    return drawsOwnFill() && mLineStyle == lsLine && mScatterStyle.isNone() && plainDecoration
           && selected.size() + unselected.size() <= 1 && layer() == first->layer()
           && clipRect() == first->clipRect();
}

// Runs the graph's drawing on a painter that only mirrors the replot's transform: the sampling
// and the canvas are done here, whatever goes onto the painter itself waits for the replay.
void EnvelopeGraph::prepare(Prepared *prepared)
{
    StandIn standIn(prepared->frame);
    QCPPainter &painter = standIn.painter;
    applyDefaultAntialiasingHint(&painter);
    mPass = Pass::Preparing;
    mPrepared = prepared;
    QCPGraph::draw(&painter);
    paintCanvas(&painter);
    mPass = Pass::Direct;
    mPrepared = nullptr;
}

// The graph's drawing once more, on the replot's painter, with the sampling and the canvas
// prepared: what it paints goes on in the order it always did.
void EnvelopeGraph::replay(QCPPainter *painter, Prepared *prepared)
{
    mPass = Pass::Replaying;
    mPrepared = prepared;
    QCPGraph::draw(painter);
    paintCanvas(painter);
    mPass = Pass::Direct;
    mPrepared = nullptr;
}
