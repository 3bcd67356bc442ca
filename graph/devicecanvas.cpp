// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/devicecanvas.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Hairline positions in 26.6 fixed point and steps along the line in 16.16, with the raster
// engine's rounding, so that every pixel gets the coverage the engine would give it.
const int kSubpixels = 64;
const int kHalfPixel = 32;
const int kCapBegin = 1;
const int kCapEnd = 2;
// Along a steep line the coverage of a pixel column changes a little from row to row; rows are
// given one coverage while it drifts by at most this much (of 255), in the middle of the run.
const int kCoverageDrift = 8;
const quint16 kCoverageBits = CellResolver::kCoverageBits;
// Dash patterns up to this many pixels long are laid along a steep run from a table.
const int kMostTabledPeriod = 64;
// A segment reaches no farther into the columns beside it than this, antialiasing and caps
// included.
const double kSegmentReach = 2;

int toSubpixels(double v)
{
    return int(v * kSubpixels);
}

// How far a line moves across for each pixel along, in 16.16.
int stepPerPixel(int across, int along)
{
    if (qAbs(across) > 0x7fff)
        return int(qint64(across) * 65536 / along);
    return across * 65536 / along;
}

int swappedCaps(int caps)
{
    return ((caps & kCapBegin) << 1) | ((caps & kCapEnd) >> 1);
}

// Rows of one device column taken at once: their cells and coverages.
const int kRowsPerStep = 8;
typedef quint16 Rows16 __attribute__((vector_size(kRowsPerStep * sizeof(quint16))));

// multiplyByte() on every row at once.
Rows16 multiplyBytes(Rows16 x, quint16 a)
{
    const Rows16 t = x * a + 128;
    return (t + (t >> 8)) >> 8;
}

// A line's coverage alpha (of 255) blended into a cell's coverage, as repeated blends of one
// colour add up; the cell's fill stays.
void blendCell(quint16 &cell, uint alpha)
{
    const quint16 t = quint16((cell & kCoverageBits) * (255 - alpha) + 128);
    cell = quint16((cell & ~kCoverageBits) | quint16(alpha + quint16(t + (t >> 8)) / 256));
}

// blendCell() on consecutive cells at once.
void blendRows(quint16 *cells, Rows16 alpha)
{
    Rows16 cell;
    std::memcpy(&cell, cells, sizeof cell);
    const Rows16 t = (cell & kCoverageBits) * (255 - alpha) + 128;
    cell = (cell & quint16(~kCoverageBits)) | (alpha + ((t + (t >> 8)) >> 8));
    std::memcpy(cells, &cell, sizeof cell);
}

// blendRows() on cells without a fill, which hold only the coverage.
void blendCoverageRows(quint16 *cells, Rows16 alpha)
{
    Rows16 cell;
    std::memcpy(&cell, cells, sizeof cell);
    const Rows16 t = cell * (255 - alpha) + 128;
    cell = alpha + ((t + (t >> 8)) >> 8);
    std::memcpy(cells, &cell, sizeof cell);
}

} // namespace

DeviceCanvas::Scratch &DeviceCanvas::scratch()
{
    thread_local Scratch shared;
    return shared;
}

// One segment of a hairline walked along its major axis; positions in 26.6 fixed point.
struct DeviceCanvas::HairlineWalk {
    int across;      // the centre across the major axis less half a pixel, 16.16
    int step;        // its change from one pixel along to the next, 16.16
    int first;       // the first pixel along
    int last;        // the last pixel along
    int startWeight; // how much of the first pixel along it spans, of 64
    int endWeight;   // of the last; 0 where it ends on the pixel's edge
    int from;        // where it starts and ends along, caps included, 26.6
    int to;
    bool reversed;   // walked from its end point to its start
};

// A dash pattern as the raster engine keeps a hairline's: the ends of its dashes and gaps in
// 26.6, forwards and for the pattern reversed, and where the next segment starts in it.
struct DeviceCanvas::Dashes {
    std::vector<int> forward;
    std::vector<int> backward;
    int length = 0;
    int offset = 0;
    // Where every dash and gap is whole pixels long: each pixel of the pattern, forwards and
    // reversed, as a mask (all ones on a dash), twice over and a step of rows more, so that a run of
    // rows starting anywhere in it reads its masks in one go.
    std::vector<quint16> forwardMask;
    std::vector<quint16> backwardMask;

    explicit Dashes(const QVector<qreal> &pattern)
    {
        for (int i = 0; i < pattern.size(); ++i) {
            length += int(std::max(1.0, pattern[i] * kSubpixels));
            forward.push_back(length);
        }
        int reversedLength = 0;
        for (int i = pattern.size() - 1; i >= 0; --i) {
            reversedLength += int(std::max(1.0, pattern[i] * kSubpixels));
            backward.push_back(reversedLength);
        }
        const bool wholePixels = std::all_of(forward.begin(), forward.end(), [](int end) { return end % kSubpixels == 0; });
        if (length > 0 && wholePixels && length / kSubpixels <= kMostTabledPeriod) {
            forwardMask = pixelMasks(forward, 1);
            backwardMask = pixelMasks(backward, 0);
        }
    }

    // A dash where the index of the dash or gap a pixel starts in, plus parity, is odd.
    std::vector<quint16> pixelMasks(const std::vector<int> &ends, int parity) const
    {
        const int period = length / kSubpixels;
        std::vector<quint16> masks;
        for (int k = 0; k < 2 * period + kRowsPerStep; ++k) {
            const int at = (k % period) * kSubpixels;
            const int index = int(std::upper_bound(ends.begin(), ends.end(), at) - ends.begin());
            masks.push_back(((index + parity) & 1) != 0 ? 0xffff : 0);
        }
        return masks;
    }
};

// Whether a segment's pixels along it are dashes or gaps: a segment walked backwards reads the
// reversed pattern from the other end, gap first. Without a pattern every pixel is drawn.
class DeviceCanvas::Dasher
{
public:
    Dasher(Dashes *dashes, const HairlineWalk &walk)
    {
        if (!dashes || dashes->length <= 0)
            return;
        mLength = dashes->length;
        const int delta = walk.to - walk.from;
        const int start = (walk.from & (kSubpixels - 1)) - kHalfPixel;
        mEnds = walk.reversed ? dashes->backward.data() : dashes->forward.data();
        const std::vector<quint16> &masks = walk.reversed ? dashes->backwardMask : dashes->forwardMask;
        mMasks = masks.empty() ? nullptr : masks.data();
        mParity = walk.reversed ? 0 : 1;
        mOffset = (walk.reversed ? mLength - dashes->offset - delta - start : dashes->offset - start) % mLength;
        if (mOffset < 0)
            mOffset += mLength;
        advance(0);
        dashes->offset = (dashes->offset + delta) % mLength;
    }
    bool dashed() const { return mEnds != nullptr; }
    // Pixels after which dashes and gaps repeat where the pattern is whole pixels long; 0 otherwise.
    int period() const { return mEnds && mLength % kSubpixels == 0 ? mLength / kSubpixels : 0; }
    bool on() const { return !mEnds || ((mIndex + mParity) & 1) != 0; }
    // The masks of the pattern's pixels from this one on, where the dashes are whole pixels; null
    // otherwise.
    const quint16 *masks() const { return mMasks ? mMasks + (mOffset >> 6) : nullptr; }
    // Pixels from this one on that are all dashes or all gaps.
    int pixelsAlike() const
    {
        return mEnds ? (mEnds[mIndex] - mOffset + kSubpixels - 1) >> 6 : std::numeric_limits<int>::max();
    }
    // Forward only: a dash or gap ends further on, or the pattern starts over.
    void advance(int pixels)
    {
        if (!mEnds)
            return;
        mOffset += kSubpixels * pixels;
        if (mOffset >= mLength) {
            mOffset %= mLength;
            mIndex = 0;
        }
        while (mOffset >= mEnds[mIndex])
            ++mIndex;
    }

private:
    const int *mEnds = nullptr;
    const quint16 *mMasks = nullptr;
    int mLength = 0;
    int mOffset = 0;
    int mIndex = 0;
    int mParity = 1;
};

// Where a hairline starts and ends along its major axis (rows for a steep line, columns for a
// flat one) and where its centre runs across it, as the raster engine walks it: the centre less
// half a pixel in 16.16, moved back to the first pixel's middle, squared ends reaching half a
// pixel beyond the end points, and how much of its first and last pixel it spans.
DeviceCanvas::HairlineWalk DeviceCanvas::hairlineWalk(int along1, int across1, int along2, int across2, int caps)
{
    DeviceCanvas::HairlineWalk walk;
    walk.step = stepPerPixel(across2 - across1, along2 - along1);
    walk.reversed = along1 > along2;
    if (walk.reversed) {
        std::swap(along1, along2);
        std::swap(across1, across2);
        caps = swappedCaps(caps);
    }
    walk.across = (across1 - kHalfPixel) * (1 << 10) - ((((along1 & (kSubpixels - 1)) - kHalfPixel) * walk.step) >> 6);
    if (caps & kCapBegin) {
        along1 -= kHalfPixel;
        walk.across -= walk.step >> 1;
    }
    if (caps & kCapEnd)
        along2 += kHalfPixel;
    walk.from = along1;
    walk.to = along2;
    walk.first = along1 >> 6;
    walk.last = along2 >> 6;
    const bool onePixel = walk.first == walk.last;
    walk.startWeight = onePixel ? along2 - along1 : kSubpixels - (along1 & (kSubpixels - 1));
    walk.endWeight = onePixel ? 0 : along2 & (kSubpixels - 1);
    return walk;
}

bool DeviceCanvas::suits(const QPainter *painter)
{
    const QPaintEngine *engine = painter->paintEngine();
    const QTransform toDevice = painter->deviceTransform();
    return engine && engine->type() == QPaintEngine::Raster && toDevice.type() <= QTransform::TxScale
           && toDevice.m11() > 0 && toDevice.m22() > 0 && painter->opacity() == 1
           && painter->compositionMode() == QPainter::CompositionMode_SourceOver;
}

QRect DeviceCanvas::clipArea(const QPainter *painter)
{
    // As the raster engine clips: the clip's rectangle mapped to device pixels and rounded.
    const QRect device(0, 0, painter->device()->width(), painter->device()->height());
    return painter->hasClipping() ? painter->deviceTransform().mapRect(painter->clipBoundingRect()).toRect() & device
                                  : device;
}

DeviceCanvas::DeviceCanvas(QPainter *painter)
    : mPainter(painter)
    , mArea(clipArea(painter))
    , mDevice(painter->device()->width(), painter->device()->height())
    , mFirstColumn(mArea.left())
    , mEndColumn(mArea.right() + 1)
    , mCells(mArea, scratch(), CellResolver::Clearing::WhenPainted)
{
}

DeviceCanvas::DeviceCanvas(QPainter *painter, const QRect &area, const QSize &device, Scratch &scratch)
    : mPainter(painter)
    , mArea(area)
    , mDevice(device)
    , mFirstColumn(area.left())
    , mEndColumn(area.right() + 1)
    , mCells(area, scratch, CellResolver::Clearing::ByNextOnScratch)
{
}

DeviceCanvas::DeviceCanvas(QPainter *painter, const DeviceCanvas &beside)
    : mPainter(painter)
    , mArea(beside.mArea)
    , mDevice(beside.mDevice)
    , mFirstColumn(beside.mArea.left())
    , mEndColumn(beside.mArea.right() + 1)
    , mCells(CellResolver::Beside{beside.mCells})
{
}

// Out of line: a dashed line's progress is a whole type only here.
DeviceCanvas::~DeviceCanvas() = default;

void DeviceCanvas::fillSpan(int column, int top, int bottom, const QColor &colour)
{
    const int x = column - mArea.left();
    top = std::max(top, mArea.top()) - mArea.top();
    bottom = std::min(bottom, mArea.bottom() + 1) - mArea.top();
    if (x < 0 || x >= mArea.width() || bottom <= top)
        return;
    mCells.fillRows(x, top, bottom, qPremultiply(colour.rgba()));
}

void DeviceCanvas::strokeHairline(const QPointF *points, int count, const QColor &colour, bool capped)
{
    strokeLine(points, count, colour, capped, nullptr);
}

struct DeviceCanvas::LineProgress {
    const QPointF *points;
    Dashes dashes;
    // The first segment (by the index of its end point) that may reach the columns kept to, and
    // where in the pattern it starts.
    int segment = 1;
    int offset = 0;
};

void DeviceCanvas::strokeDashedHairline(const QPointF *points, int count, const QColor &colour, bool capped,
                                        const QVector<qreal> &pattern)
{
    LineProgress &progress = progressOf(points, pattern);
    strokeLine(points, count, colour, capped, &progress.dashes, &progress);
}

DeviceCanvas::LineProgress &DeviceCanvas::progressOf(const QPointF *points, const QVector<qreal> &pattern)
{
    for (const std::unique_ptr<LineProgress> &progress : mProgress) {
        if (progress->points == points)
            return *progress;
    }
    mProgress.push_back(std::unique_ptr<LineProgress>(new LineProgress{points, Dashes(pattern)}));
    return *mProgress.back();
}

void DeviceCanvas::keepToColumns(int left, int right)
{
    mFirstColumn = std::max(left, mArea.left());
    mEndColumn = std::min(right, mArea.right() + 1);
    mCells.keepToColumns(mFirstColumn - mArea.left(), std::max(0, mEndColumn - mFirstColumn));
}

void DeviceCanvas::strokeLine(const QPointF *points, int count, const QColor &colour, bool capped, Dashes *dashes,
                              LineProgress *progress)
{
    mCells.useLineColour(colour.rgba());
    if (count < 2)
        return;
    const QTransform toDevice = mPainter->deviceTransform();
    // A line running left to right is picked up where the columns before these left it, and
    // left where it passes beyond them.
    const bool resumes = progress && toDevice.map(points[0]).x() <= toDevice.map(points[count - 1]).x();
    const int first = resumes ? progress->segment : 1;
    if (resumes)
        dashes->offset = progress->offset;
    // Each point mapped once, for the segments on both sides of it.
    QPointF previous = toDevice.map(points[first - 1]);
    for (int i = first; i < count; ++i) {
        const QPointF next = toDevice.map(points[i]);
        if (resumes && std::min(previous.x(), next.x()) - kSegmentReach >= mEndColumn)
            return;
        int caps = 0;
        if (capped && i == 1)
            caps |= kCapBegin;
        if (capped && i == count - 1)
            caps |= kCapEnd;
        strokeSegment(previous, next, caps, dashes);
        if (resumes && std::max(previous.x(), next.x()) + kSegmentReach < mEndColumn) {
            progress->segment = i + 1;
            progress->offset = dashes->offset;
        }
        previous = next;
    }
}

// Cuts the segment to the bounds and a pixel around them, as the engine does before it draws
// one; false when nothing of it is left.
bool DeviceCanvas::clipTo(const QRect &bounds, QPointF *from, QPointF *to)
{
    double x1 = from->x(), y1 = from->y(), x2 = to->x(), y2 = to->y();
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return false;
    const double xmin = bounds.left() - 1, xmax = bounds.right() + 2;
    const double ymin = bounds.top() - 1, ymax = bounds.bottom() + 2;
    auto cut = [](double &a1, double &b1, double a2, double b2, double low, double high) {
        // Moves end 1 (a along the cut axis, b across it) inside [low, high]; false when the
        // other end is outside on the same side.
        if (a1 < low) {
            if (a2 <= low)
                return false;
            b1 += (b2 - b1) / (a2 - a1) * (low - a1);
            a1 = low;
        } else if (a1 > high) {
            if (a2 >= high)
                return false;
            b1 += (b2 - b1) / (a2 - a1) * (high - a1);
            a1 = high;
        }
        return true;
    };
    auto cutEnd = [](double &a2, double &b2, double a1, double b1, double low, double high) {
        if (a2 < low) {
            b2 += (b2 - b1) / (a2 - a1) * (low - a2);
            a2 = low;
        } else if (a2 > high) {
            b2 += (b2 - b1) / (a2 - a1) * (high - a2);
            a2 = high;
        }
    };
    if (!cut(x1, y1, x2, y2, xmin, xmax))
        return false;
    cutEnd(x2, y2, x1, y1, xmin, xmax);
    if (!cut(y1, x1, y2, x2, ymin, ymax))
        return false;
    cutEnd(y2, x2, y1, x1, ymin, ymax);
    *from = QPointF(x1, y1);
    *to = QPointF(x2, y2);
    return true;
}

// A dashed line is cut where the engine cuts it, a pixel beyond the device's edges, not at the
// painter's clip: where it is cut moves its dashes.
void DeviceCanvas::strokeSegment(const QPointF &from, const QPointF &to, int caps, Dashes *dashes)
{
    QPointF a = from;
    QPointF b = to;
    if (!clipTo(QRect(QPoint(0, 0), mDevice), &a, &b))
        return;
    const int x1 = toSubpixels(a.x());
    const int y1 = toSubpixels(a.y());
    const int x2 = toSubpixels(b.x());
    const int y2 = toSubpixels(b.y());
    const bool steep = qAbs(x2 - x1) < qAbs(y2 - y1);
    if (!steep && x2 == x1)
        return;
    if (std::max(a.x(), b.x()) + kSegmentReach < mFirstColumn || std::min(a.x(), b.x()) - kSegmentReach >= mEndColumn) {
        // The dashes carry on past a segment beyond the columns kept to, by as far as it walks.
        if (dashes && dashes->length > 0) {
            const int capsWalked = ((caps & kCapBegin) ? kHalfPixel : 0) + ((caps & kCapEnd) ? kHalfPixel : 0);
            const int walked = (steep ? qAbs(y2 - y1) : qAbs(x2 - x1)) + capsWalked;
            dashes->offset = (dashes->offset + walked) % dashes->length;
        }
        return;
    }
    const HairlineWalk walk = steep ? hairlineWalk(y1, x1, y2, x2, caps) : hairlineWalk(x1, y1, x2, y2, caps);
    Dasher dasher(dashes, walk);
    if (steep)
        strokeSteep(walk, dasher);
    else
        strokeShallow(walk, dasher);
}

// A line steeper than 45°: row by row, two neighbouring pixels share the row's coverage by where
// the line's centre passes between them; the first and last row by how much of them it spans.
void DeviceCanvas::strokeSteep(const HairlineWalk &walk, Dasher &dasher)
{
    int x = walk.across;
    int row = walk.first;
    if (dasher.on())
        coverPair(row, x, walk.startWeight, true);
    dasher.advance(1);
    x += walk.step;
    ++row;
    const int xinc = walk.step;
    // The rows between of a line dashed by a table: each row its own coverage, eight at a time.
    const int period = dasher.period();
    if (period > 0 && period <= kMostTabledPeriod && row < walk.last) {
        coverDashedRows(x, xinc, row, walk.last - row, dasher);
        x += (walk.last - row) * xinc;
        row = walk.last;
    }
    // Otherwise in runs that stay in one pair of pixel columns and whose coverage drifts little:
    // one coverage per run, written down the columns' memory in one go.
    const int driftRows = xinc == 0 ? std::numeric_limits<int>::max() : std::max(1, kCoverageDrift * 256 / qAbs(xinc));
    while (row < walk.last) {
        const int column = x >> 16;
        int rows = std::min(walk.last - row, driftRows);
        if (xinc > 0)
            rows = std::min(rows, int(((qint64(column) + 1) * 65536 - x + xinc - 1) / xinc));
        else if (xinc < 0)
            rows = std::min(rows, int((x - qint64(column) * 65536) / -xinc + 1));
        const int share = ((x + (rows - 1) * xinc / 2) >> 8) & 0xff;
        if (dasher.dashed()) {
            coverDashedPair(column, row, rows, share, dasher);
        } else {
            coverRun(column, row, rows, 255 - share);
            coverRun(column + 1, row, rows, share);
        }
        dasher.advance(rows);
        x += rows * xinc;
        row += rows;
    }
    if (walk.endWeight && dasher.on())
        coverPair(row, x, walk.endWeight, true);
}

// A line at 45° or flatter: the same with rows and columns exchanged, a column at a time.
void DeviceCanvas::strokeShallow(const HairlineWalk &walk, Dasher &dasher)
{
    int y = walk.across;
    int column = walk.first;
    if (dasher.on())
        coverPair(column, y, walk.startWeight, false);
    dasher.advance(1);
    for (y += walk.step, ++column; column < walk.last;) {
        const int columns = std::min(walk.last - column, dasher.pixelsAlike());
        for (int i = 0; i < columns && dasher.on(); ++i)
            coverPair(column + i, y + i * walk.step, kSubpixels, false);
        dasher.advance(columns);
        y += columns * walk.step;
        column += columns;
    }
    if (walk.endWeight && dasher.on())
        coverPair(column, y, walk.endWeight, false);
}

// The two pixels across the line at one pixel along it share its coverage, weighted by how
// much of that pixel along it spans (of 64).
void DeviceCanvas::coverPair(int along, int across, int weight, bool steep)
{
    const int share = (across >> 8) & 0xff;
    const int near = (255 - share) * weight >> 6;
    const int far = share * weight >> 6;
    if (steep) {
        coverPixel(across >> 16, along, near);
        coverPixel((across >> 16) + 1, along, far);
    } else {
        coverPixel(along, across >> 16, near);
        coverPixel(along, (across >> 16) + 1, far);
    }
}

void DeviceCanvas::strokeWide(const QPointF *points, int count, const QColor &colour, double width)
{
    mCells.useLineColour(colour.rgba());
    const QTransform toDevice = mPainter->deviceTransform();
    for (int i = 1; i < count; ++i)
        strokeWideSegment(toDevice.map(points[i - 1]), toDevice.map(points[i]), width);
}

namespace {

// The part of pixel column x that [left, right] covers.
double overlap(double left, double right, int x)
{
    return std::max(0.0, std::min(right, x + 1.0) - std::max(left, double(x)));
}

int toWeight(double share)
{
    return qBound(0, int(std::lround(share * 255)), 255);
}

} // namespace

// One segment's shape is a rectangle, its corners `corners` in order around it. Between the rows
// of its inner corners its two long sides bound it, moving by a constant step from row to row:
// there rows go in runs whose coverage drifts little, as a hairline's do. The rows around its
// ends, and a segment flatter than 45° (a few pixels where the line is dense), are sampled row by
// row.
void DeviceCanvas::strokeWideSegment(const QPointF &from, const QPointF &to, double width)
{
    const QPointF along = to - from;
    const double length = std::hypot(along.x(), along.y());
    if (!(length > 0) || !std::isfinite(length))
        return;
    const QPointF side = QPointF(-along.y(), along.x()) * (width / 2 / length);
    const QPointF corners[4] = {from + side, to + side, to - side, from - side};
    double heights[4] = {corners[0].y(), corners[1].y(), corners[2].y(), corners[3].y()};
    std::sort(heights, heights + 4);
    const int firstRow = rowWithin(std::floor(heights[0]));
    const int endRow = rowWithin(std::ceil(heights[3]));
    const bool steep = qAbs(along.y()) > qAbs(along.x());
    const int bandTop = steep ? rowWithin(std::ceil(heights[1])) : endRow;
    const int bandEnd = steep ? rowWithin(std::floor(heights[2])) : endRow;
    const double step = along.x() / along.y();
    const double driftRows = step == 0 ? std::numeric_limits<double>::max() : kCoverageDrift / 255.0 / qAbs(step);
    for (int row = firstRow; row < endRow;) {
        if (row < bandTop || row >= bandEnd) {
            coverRowSampled(corners, row);
            ++row;
            continue;
        }
        const double middle = row + 0.5;
        auto sideAt = [&](const QPointF &point, double y) { return point.x() + (y - point.y()) * step; };
        const double a = sideAt(corners[0], middle);
        const double b = sideAt(corners[3], middle);
        const double left = std::min(a, b);
        const double right = std::max(a, b);
        // Rows until either side crosses into another pixel column or its coverage drifts.
        auto rowsInColumn = [step](double side) {
            if (step == 0)
                return std::numeric_limits<double>::max();
            const double room = step > 0 ? std::floor(side) + 1 - side : side - std::floor(side);
            return std::max(1.0, std::ceil(room / qAbs(step)));
        };
        const double rows = std::min({double(bandEnd - row), std::max(1.0, std::floor(driftRows)),
                                      rowsInColumn(left), rowsInColumn(right)});
        const int run = int(rows);
        const double shift = (run - 1) * step / 2;
        for (int x = columnWithin(std::floor(left + shift)); x <= columnWithin(std::floor(right + shift)); ++x)
            coverRun(x, row, run, toWeight(overlap(left + shift, right + shift, x)));
        row += run;
    }
}

// One row of a segment's shape, its coverage sampled at four heights in the row.
void DeviceCanvas::coverRowSampled(const QPointF *corners, int row)
{
    const int samples = 4;
    double lefts[samples];
    double rights[samples];
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int k = 0; k < samples; ++k) {
        const double y = row + (k + 0.5) / samples;
        lefts[k] = std::numeric_limits<double>::max();
        rights[k] = std::numeric_limits<double>::lowest();
        for (int i = 0; i < 4; ++i) {
            const QPointF &p = corners[i];
            const QPointF &q = corners[(i + 1) % 4];
            if ((p.y() <= y) == (q.y() <= y))
                continue;
            const double x = p.x() + (y - p.y()) * (q.x() - p.x()) / (q.y() - p.y());
            lefts[k] = std::min(lefts[k], x);
            rights[k] = std::max(rights[k], x);
        }
        low = std::min(low, lefts[k]);
        high = std::max(high, rights[k]);
    }
    if (low > high)
        return;
    for (int x = columnWithin(std::floor(low)); x <= columnWithin(std::floor(high)); ++x) {
        double share = 0;
        for (int k = 0; k < samples; ++k) {
            if (lefts[k] <= rights[k])
                share += overlap(lefts[k], rights[k], x);
        }
        coverPixel(x, row, toWeight(share / samples));
    }
}

// Whole pixel positions, however far off, brought to within a pixel of the area: a line far
// beyond it has no pixels there to cover.
int DeviceCanvas::rowWithin(double row) const
{
    return int(qBound(double(mArea.top() - 1), row, double(mArea.bottom() + 2)));
}

int DeviceCanvas::columnWithin(double column) const
{
    return int(qBound(double(mArea.left() - 1), column, double(mArea.right() + 1)));
}

void DeviceCanvas::coverPixel(int column, int row, int weight)
{
    coverRun(column, row, 1, weight);
}

// Blends the line's colour at weight (of 255) into rows [row, row + rows) of a device column:
// the coverage there adds up as repeated blends of one colour do.
void DeviceCanvas::coverRun(int column, int row, int rows, int weight)
{
    const int x = column - mArea.left();
    int top = std::max(row, mArea.top()) - mArea.top();
    const int bottom = std::min(row + rows, mArea.bottom() + 1) - mArea.top();
    const uint alpha = CellResolver::multiplyByte(uint(qAlpha(mCells.lineColour())), uint(weight));
    if (column < mFirstColumn || column >= mEndColumn || bottom <= top || alpha == 0)
        return;
    quint16 *cell = mCells.cellsOfColumn(x);
    for (int y = top; y < bottom; ++y)
        blendCell(cell[y], alpha);
    mCells.markCells(x, top, bottom);
    mCells.markCoverage();
}

// Rows [row, row + rows) of the two device columns a steep dashed line passes between, the far
// one taking share of its coverage, the rows in its gaps left out: one run of a steep line holds
// many dashes, here walked in one go.
void DeviceCanvas::coverDashedPair(int column, int row, int rows, int share, Dasher dasher)
{
    const int top = std::max(row, mArea.top()) - mArea.top();
    const int bottom = std::min(row + rows, mArea.bottom() + 1) - mArea.top();
    if (bottom <= top)
        return;
    quint16 *cells[2] = {};
    quint16 alphas[2] = {};
    for (int side = 0; side < 2; ++side) {
        const int x = column + side;
        const uint weight = uint(side ? share : 255 - share);
        alphas[side] = quint16(CellResolver::multiplyByte(uint(qAlpha(mCells.lineColour())), weight));
        if (x >= mFirstColumn && x < mEndColumn && alphas[side] > 0) {
            cells[side] = mCells.cellsOfColumn(x - mArea.left());
            mCells.markCells(x - mArea.left(), top, bottom);
            mCells.markCoverage();
        }
    }
    if (!cells[0] && !cells[1])
        return;
    int y = row - mArea.top();
    if (y < top) {
        dasher.advance(top - y);
        y = top;
    }
    while (y < bottom) {
        const int end = std::min(bottom, y + dasher.pixelsAlike());
        for (int side = 0; side < 2 && dasher.on(); ++side) {
            quint16 *cell = cells[side];
            const quint16 alpha = alphas[side];
            for (int i = y; cell && i < end; ++i)
                blendCell(cell[i], alpha);
        }
        dasher.advance(end - y);
        y = end;
    }
}

// Rows [row, row + rows) of a steep dashed line whose pattern is whole pixels long, each row's
// two pixels given the coverage the engine gives them there, the rows in its gaps left out. Rows
// go eight at a time while the line stays between the same two columns: their coverages, the
// pattern's mask and the blends into the cells each in one vector operation.
void DeviceCanvas::coverDashedRows(int x, int xinc, int row, int rows, Dasher &dasher)
{
    const int period = dasher.period();
    // The pattern's mask from each phase on for as many rows as one step takes: the dashes' own
    // where they are whole pixels, else worked out here.
    Rows16 ownMasks[(kMostTabledPeriod + kRowsPerStep) / kRowsPerStep + 1];
    const quint16 *on = dasher.masks();
    if (!on) {
        quint16 *masks = reinterpret_cast<quint16 *>(ownMasks);
        for (int k = 0; k < period; ++k) {
            masks[k] = dasher.on() ? 0xffff : 0;
            dasher.advance(1);
        }
        for (int k = period; k < period + kRowsPerStep; ++k)
            masks[k] = masks[k - period];
        on = masks;
    }
    // A whole period on, the dasher is back where it was; it goes on past these rows.
    dasher.advance(rows);
    const int top = std::max(row, mArea.top());
    const int bottom = std::min(row + rows, mArea.bottom() + 1);
    if (bottom <= top)
        return;
    x += (top - row) * xinc;
    int phase = (top - row) % period;
    const int stepPhase = kRowsPerStep % period;
    const quint16 lineAlpha = quint16(qAlpha(mCells.lineColour()));
    // No fill laid yet: no cell has one.
    const bool coverageOnly = !mCells.holdsFills();
    const int firstCell = mArea.top();
    // A row's share is the second byte of its 16.16 position, which the low halves' sums give.
    Rows16 steps;
    for (int i = 0; i < kRowsPerStep; ++i)
        steps[i] = quint16(i * xinc);
    for (int y = top; y < bottom;) {
        // The rows from y on that pass between the same two columns.
        const int column = x >> 16;
        int end = bottom;
        const int intoColumn = x & 0xffff;
        if (xinc > 0)
            end = std::min(bottom, y + (65536 - intoColumn + xinc - 1) / xinc);
        else if (xinc < 0)
            end = std::min(bottom, y + intoColumn / -xinc + 1);
        quint16 *cells[2] = {};
        for (int side = 0; side < 2; ++side) {
            const int at = column + side;
            if (at < mFirstColumn || at >= mEndColumn)
                continue;
            cells[side] = mCells.cellsOfColumn(at - mArea.left()) - firstCell;
            mCells.markCells(at - mArea.left(), y - firstCell, end - firstCell);
        }
        for (; y + kRowsPerStep <= end; y += kRowsPerStep, x += kRowsPerStep * xinc) {
            Rows16 mask;
            std::memcpy(&mask, on + phase, sizeof mask);
            const Rows16 share = (quint16(x) + steps) >> 8;
            Rows16 far = share;
            Rows16 near = 255 - share;
            if (lineAlpha != 255) {
                far = multiplyBytes(far, lineAlpha);
                near = multiplyBytes(near, lineAlpha);
            }
            far &= mask;
            near &= mask;
            if (coverageOnly) {
                if (cells[0])
                    blendCoverageRows(cells[0] + y, near);
                if (cells[1])
                    blendCoverageRows(cells[1] + y, far);
            } else {
                if (cells[0])
                    blendRows(cells[0] + y, near);
                if (cells[1])
                    blendRows(cells[1] + y, far);
            }
            phase += stepPhase;
            if (phase >= period)
                phase -= period;
        }
        for (; y < end; ++y, x += xinc) {
            if (on[phase]) {
                const uint share = uint(x >> 8) & 0xff;
                if (cells[0])
                    blendCell(cells[0][y], CellResolver::multiplyByte(lineAlpha, 255 - share));
                if (cells[1])
                    blendCell(cells[1][y], CellResolver::multiplyByte(lineAlpha, share));
            }
            phase = phase + 1 == period ? 0 : phase + 1;
        }
    }
    mCells.markCoverage();
}

void DeviceCanvas::paint()
{
    mCells.resolveCells();
    mCells.paintOnto(mPainter);
}

QRect DeviceCanvas::resolveCells()
{
    return mCells.resolveCells();
}

void DeviceCanvas::paintOnto(QPainter *painter)
{
    mCells.paintOnto(painter);
}

void DeviceCanvas::paintPartOnto(QPainter *painter, const QRect &part) const
{
    mCells.paintPartOnto(painter, part);
}
