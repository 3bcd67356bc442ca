// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/cellresolver.h"

#include <QPainter>

#include <cstring>
#include <limits>
#include <utility>

namespace {

QRgb multiplyPixel(QRgb pixel, uint a)
{
    auto times = [a](int channel) { return CellResolver::multiplyByte(uint(channel), a); };
    return qRgba(times(qRed(pixel)), times(qGreen(pixel)), times(qBlue(pixel)), times(qAlpha(pixel)));
}

QRgb over(QRgb source, QRgb destination)
{
    return destination == 0 ? source : source + multiplyPixel(destination, 255 - qAlpha(source));
}

// Eight rows of a column taken at once, or four pixels' channels two by two in 16-bit halves.
const int kRowsPerStep = 8;
typedef quint16 Rows16 __attribute__((vector_size(kRowsPerStep * sizeof(quint16))));

// A row of a block of columns: its pixels, and each pixel as two 16-bit halves.
typedef quint32 Pixels __attribute__((vector_size(CellResolver::kColumnsPerBlock * sizeof(quint32))));
typedef quint16 PixelHalves __attribute__((vector_size(CellResolver::kColumnsPerBlock * sizeof(quint32))));

// over() on a row of pixels at once, into the destination: its channels two by two in 16-bit
// halves, each multiplied as multiplyByte() does; a transparent source leaves it as it is.
void overPixels(const Pixels &source, Pixels &destination)
{
    const Pixels rest = 255 - (source >> 24);
    const PixelHalves restInBoth = PixelHalves(rest | (rest << 16));
    PixelHalves redBlue = PixelHalves(destination & 0x00ff00ff) * restInBoth + 128;
    PixelHalves alphaGreen = PixelHalves((destination >> 8) & 0x00ff00ff) * restInBoth + 128;
    redBlue = (redBlue + (redBlue >> 8)) >> 8;
    alphaGreen = ((alphaGreen + (alphaGreen >> 8)) >> 8) << 8;
    destination = source + (Pixels(redBlue) | Pixels(alphaGreen));
}

// The rows [top, bottom) that columns [first, end) may hold, from each column's.
void rowsOfBlock(const std::vector<int> &tops, const std::vector<int> &bottoms, int first, int end, int *top,
                 int *bottom)
{
    *top = std::numeric_limits<int>::max();
    *bottom = 0;
    for (int x = first; x < end; ++x) {
        *top = std::min(*top, tops[size_t(x)]);
        *bottom = std::max(*bottom, bottoms[size_t(x)]);
    }
}

// Four pixels of a row or a column.
typedef quint32 Quad __attribute__((vector_size(4 * sizeof(quint32))));

// Four columns' four pixels into four rows' (or back).
void transpose(Quad &a, Quad &b, Quad &c, Quad &d)
{
    const Quad ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const Quad ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const Quad cd0 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const Quad cd1 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}

// An opaque colour at coverage c of 255 over a pixel: each channel x·(255 − c)/255 + colour·c/255
// in one rounding, as multiplyByte() rounds; within one of the engine's two.
QRgb coverPixelWith(QRgb pixel, QRgb opaque, uint c)
{
    auto channel = [c](uint x, uint line) {
        const uint t = x * (255 - c) + line * c + 128;
        return (t + (t >> 8)) >> 8;
    };
    return qRgba(channel(qRed(pixel), qRed(opaque)), channel(qGreen(pixel), qGreen(opaque)),
                 channel(qBlue(pixel), qBlue(opaque)), channel(qAlpha(pixel), 255));
}

// Of eight rows' coverages (the whole cell, where there are no fills), each of the first four (or
// the last four) in both halves of its pixel.
Rows16 firstFourRowsInBothHalves(Rows16 coverages)
{
    return __builtin_shufflevector(coverages, coverages, 0, 0, 1, 1, 2, 2, 3, 3);
}

Rows16 lastFourRowsInBothHalves(Rows16 coverages)
{
    return __builtin_shufflevector(coverages, coverages, 4, 4, 5, 5, 6, 6, 7, 7);
}

// An opaque colour in 16-bit halves, as a pixel's are taken: blue and red, and green and alpha,
// the lower first.
struct LineHalves {
    Rows16 redBlue;
    Rows16 alphaGreen;

    explicit LineHalves(QRgb line)
    {
        for (int i = 0; i < kRowsPerStep; i += 2) {
            redBlue[i] = quint16(qBlue(line));
            redBlue[i + 1] = quint16(qRed(line));
            alphaGreen[i] = quint16(qGreen(line));
            alphaGreen[i + 1] = 255;
        }
    }
};

// coverPixelWith() on four pixels at once, each one's coverage in both its halves: the channels
// two by two in 16-bit halves.
Quad coverQuadWith(Quad pixels, Rows16 coverages, const LineHalves &line)
{
    const Rows16 rest = 255 - coverages;
    Rows16 redBlue = Rows16(pixels & 0x00ff00ff) * rest + line.redBlue * coverages + 128;
    Rows16 alphaGreen = Rows16((pixels >> 8) & 0x00ff00ff) * rest + line.alphaGreen * coverages + 128;
    redBlue = (redBlue + (redBlue >> 8)) >> 8;
    alphaGreen = (alphaGreen + (alphaGreen >> 8)) >> 8;
    return Quad(redBlue) | (Quad(alphaGreen) << 8);
}

// The colours of the columns a canvas keeps to, gathered down each column as its cells run, so
// that every line's colours go into memory in order; the image's rows take them once, at the
// end. All transparent, each column's range empty, whenever no canvas gathers there.
struct DownColumns {
    std::vector<QRgb> pixels;  // column after column, the area's height each
    std::vector<int> top;      // per column, the rows [top, bottom) that may be coloured
    std::vector<int> bottom;
};

DownColumns &downColumns()
{
    thread_local DownColumns shared;
    return shared;
}

} // namespace

CellResolver::CellResolver(const QRect &area, Scratch &scratch, Clearing clearing)
    : mArea(area)
    , mScratch(scratch)
    , mClearing(clearing)
    , mFirstCellColumn(std::numeric_limits<int>::max())
    , mEndCellColumn(0)
{
    Scratch &s = mScratch;
    if (s.image.size() != mArea.size()) {
        s.image = QImage(mArea.size(), QImage::Format_ARGB32_Premultiplied);
        s.image.fill(0);
        s.cells.assign(size_t(mArea.width()) * size_t(mArea.height()), 0);
        s.top.assign(size_t(mArea.width()), std::numeric_limits<int>::max());
        s.bottom.assign(size_t(mArea.width()), 0);
    } else {
        clearImage(s.image, s.uncleared);
    }
    s.uncleared = QRect();
    mPixels = reinterpret_cast<QRgb *>(s.image.bits());
}

CellResolver::CellResolver(Beside beside)
    : mArea(beside.other.mArea)
    , mScratch(beside.other.mScratch)
    , mPixels(beside.other.mPixels)
    , mClearing(Clearing::ByNextOnScratch)
    , mFirstCellColumn(std::numeric_limits<int>::max())
    , mEndCellColumn(0)
{
}

// A resolver left unpainted leaves the scratch as it found it, for the next one.
CellResolver::~CellResolver()
{
    if (mHasCells) {
        for (int x = mFirstCellColumn; x < mEndCellColumn; ++x)
            clearCells(x);
    }
    if (mHasColumnColours)
        clearColumns();
    if (mClearing == Clearing::ByNextOnScratch)
        mScratch.uncleared |= mTouched;
    else
        clearImage();
}

void CellResolver::useLineColour(QRgb colour)
{
    // Coverage gathered in another colour is that colour's.
    if (mHasCoverage && colour != mLineColour)
        resolveColours();
    mLineColour = colour;
}

void CellResolver::fillRows(int x, int top, int bottom, QRgb colour)
{
    // A fill after a line goes over it.
    if (mHasCoverage)
        resolveColours();
    int index = fillIndex(colour);
    if (index == 0) {
        resolveColours();
        index = fillIndex(colour);
    }
    quint16 *cell = cellsOfColumn(x);
    for (int y = top; y < bottom; ++y)
        cell[y] = quint16(index << kFillShift);
    markCells(x, top, bottom);
}

// The index of a fill colour, added when new; 0 when there is no room for another.
int CellResolver::fillIndex(QRgb pixel)
{
    for (int index = 1; index <= mFillColours; ++index) {
        if (mFills[index] == pixel)
            return index;
    }
    if (mFillColours == kMostFillColours)
        return 0;
    mFills[++mFillColours] = pixel;
    return mFillColours;
}

void CellResolver::clearCells(int x)
{
    const int top = mScratch.top[size_t(x)];
    if (mScratch.bottom[size_t(x)] > top)
        std::fill_n(cellsOfColumn(x) + top, mScratch.bottom[size_t(x)] - top, quint16(0));
    mScratch.top[size_t(x)] = std::numeric_limits<int>::max();
    mScratch.bottom[size_t(x)] = 0;
}

void CellResolver::keepToColumns(int left, int width)
{
    resolveCells();
    mKeptLeft = left;
    mKeptWidth = width;
    mKeptToColumns = true;
    DownColumns &down = downColumns();
    down.pixels.resize(std::max(down.pixels.size(), size_t(width) * size_t(mArea.height())), 0);
    if (down.top.size() < size_t(width)) {
        down.top.resize(size_t(width), std::numeric_limits<int>::max());
        down.bottom.resize(size_t(width), 0);
    }
}

QRgb *CellResolver::columnColours(int i) const
{
    return downColumns().pixels.data() + size_t(i) * size_t(mArea.height());
}

QRect CellResolver::resolveCells()
{
    resolveColours();
    if (mKeptToColumns)
        putColumnsIntoImage();
    return std::exchange(mWritten, QRect());
}

// Puts the cells gathered in their colours into the image, or down the columns kept to, and
// clears them.
void CellResolver::resolveColours()
{
    if (!mHasCells)
        return;
    // Each cell's colour: the line at its coverage over the fill colour; not looked up, so not
    // made, where an opaque line's colour is worked out.
    QRgb colours[(kMostFillColours + 1) << kFillShift];
    const int lastFill = coversWithOpaqueLine() ? -1 : mFillColours;
    for (int fill = 0; fill <= lastFill; ++fill) {
        for (int a = 0; a <= kCoverageBits; ++a) {
            const QRgb line = qPremultiply(qRgba(qRed(mLineColour), qGreen(mLineColour), qBlue(mLineColour), a));
            colours[(fill << kFillShift) | a] = over(line, mFills[fill]);
        }
    }
    if (mKeptToColumns)
        resolveDownColumns(colours);
    else
        resolveIntoRows(colours);
    mHasCells = false;
    mHasCoverage = false;
    mFillColours = 0;
    mFirstCellColumn = std::numeric_limits<int>::max();
    mEndCellColumn = 0;
}

// A block of columns at a time, row by row: the image is written along its rows, as its memory
// runs, while the cells are read down their columns, as theirs does.
void CellResolver::resolveIntoRows(const QRgb *colours)
{
    // Over what an earlier resolve put into the image the cells blend; into an empty image they
    // are stored.
    const bool blendOver = !mTouched.isEmpty();
    // Worked out as the columns kept to work it out, so that a drawing on one thread and one in
    // stripes agree to the bit.
    const bool opaqueLine = coversWithOpaqueLine();
    const LineHalves halves(mLineColour);
    Scratch &s = mScratch;
    QRgb *bits = mPixels;
    const int stride = s.image.bytesPerLine() / int(sizeof(QRgb));
    // Only the blocks of columns that hold cells.
    const int firstBlock = mFirstCellColumn - mFirstCellColumn % kColumnsPerBlock;
    for (int first = firstBlock; first < mEndCellColumn; first += kColumnsPerBlock) {
        const int end = std::min(mArea.width(), first + kColumnsPerBlock);
        int top;
        int bottom;
        rowsOfBlock(s.top, s.bottom, first, end, &top, &bottom);
        if (bottom <= top)
            continue;
        const quint16 *columns[kColumnsPerBlock];
        for (int x = first; x < end; ++x)
            columns[x - first] = cellsOfColumn(x);
        for (int y = top; y < bottom; ++y) {
            QRgb *row = bits + y * stride + first;
            if (opaqueLine) {
                int i = 0;
                for (; i + 4 <= end - first; i += 4) {
                    Rows16 coverages;
                    for (int k = 0; k < 4; ++k)
                        coverages[2 * k] = coverages[2 * k + 1] = columns[i + k][y] & kCoverageBits;
                    Quad pixels{};
                    if (blendOver)
                        std::memcpy(&pixels, row + i, sizeof pixels);
                    pixels = coverQuadWith(pixels, coverages, halves);
                    std::memcpy(row + i, &pixels, sizeof pixels);
                }
                for (; i < end - first; ++i)
                    row[i] = coverPixelWith(blendOver ? row[i] : 0, mLineColour, columns[i][y] & kCoverageBits);
                continue;
            }
            if (blendOver && end - first == kColumnsPerBlock) {
                Pixels source;
                for (int i = 0; i < kColumnsPerBlock; ++i)
                    source[i] = colours[columns[i][y]];
                Pixels destination;
                std::memcpy(&destination, row, sizeof destination);
                overPixels(source, destination);
                std::memcpy(row, &destination, sizeof destination);
                continue;
            }
            for (int i = 0; i < end - first; ++i) {
                const quint16 cell = columns[i][y];
                if (!blendOver)
                    row[i] = colours[cell];
                else if (cell)
                    row[i] = over(colours[cell], row[i]);
            }
        }
        for (int x = first; x < end; ++x)
            clearCells(x);
        touch(QRect(first, top, end - first, bottom - top));
    }
}

bool CellResolver::coversWithOpaqueLine() const
{
    return mFillColours == 0 && qAlpha(mLineColour) == 255;
}

// Each column's colours over those resolved there before: cells and colours alike in order. An
// opaque line without fills is worked out from the coverage eight rows at a time rather than
// looked up a row at a time, which took half as long again.
void CellResolver::resolveDownColumns(const QRgb *colours)
{
    Scratch &s = mScratch;
    DownColumns &down = downColumns();
    const QRgb line = mLineColour;
    const bool opaqueLine = coversWithOpaqueLine();
    const LineHalves halves(line);
    for (int x = mFirstCellColumn; x < mEndCellColumn; ++x) {
        const int top = s.top[size_t(x)];
        const int bottom = s.bottom[size_t(x)];
        if (bottom <= top)
            continue;
        const int i = x - mKeptLeft;
        const quint16 *cells = cellsOfColumn(x);
        QRgb *pixels = columnColours(i);
        int y = top;
        for (; opaqueLine && y + kRowsPerStep <= bottom; y += kRowsPerStep) {
            Rows16 coverages;
            std::memcpy(&coverages, cells + y, sizeof coverages);
            Quad low;
            Quad high;
            std::memcpy(&low, pixels + y, sizeof low);
            std::memcpy(&high, pixels + y + 4, sizeof high);
            low = coverQuadWith(low, firstFourRowsInBothHalves(coverages), halves);
            high = coverQuadWith(high, lastFourRowsInBothHalves(coverages), halves);
            std::memcpy(pixels + y, &low, sizeof low);
            std::memcpy(pixels + y + 4, &high, sizeof high);
        }
        for (; y < bottom; ++y) {
            pixels[y] = opaqueLine ? coverPixelWith(pixels[y], line, cells[y] & kCoverageBits)
                                   : over(colours[cells[y]], pixels[y]);
        }
        down.top[size_t(i)] = std::min(down.top[size_t(i)], top);
        down.bottom[size_t(i)] = std::max(down.bottom[size_t(i)], bottom);
        clearCells(x);
        mHasColumnColours = true;
    }
}

// The colours gathered down the columns kept to into the image's rows, four columns by four
// rows where the image is still empty there, and the columns cleared.
void CellResolver::putColumnsIntoImage()
{
    DownColumns &down = downColumns();
    QRgb *bits = mPixels;
    const int stride = mScratch.image.bytesPerLine() / int(sizeof(QRgb));
    const int left = mKeptLeft;
    const int width = mKeptWidth;
    for (int first = 0; first < width; first += kColumnsPerBlock) {
        const int end = std::min(width, first + kColumnsPerBlock);
        int top;
        int bottom;
        rowsOfBlock(down.top, down.bottom, first, end, &top, &bottom);
        if (bottom <= top)
            continue;
        const QRect block(left + first, top, end - first, bottom - top);
        int i = first;
        for (; i + 4 <= end && !mTouched.intersects(block); i += 4) {
            const QRgb *columns[4];
            for (int k = 0; k < 4; ++k)
                columns[k] = columnColours(i + k);
            int y = top;
            for (; y + 4 <= bottom; y += 4) {
                Quad q[4];
                for (int k = 0; k < 4; ++k)
                    std::memcpy(&q[k], columns[k] + y, sizeof(Quad));
                transpose(q[0], q[1], q[2], q[3]);
                for (int k = 0; k < 4; ++k)
                    std::memcpy(bits + (y + k) * stride + left + i, &q[k], sizeof(Quad));
            }
            for (; y < bottom; ++y) {
                for (int k = 0; k < 4; ++k)
                    bits[y * stride + left + i + k] = columns[k][y];
            }
        }
        for (; i < end; ++i) {
            const QRgb *column = columnColours(i);
            for (int y = top; y < bottom; ++y) {
                QRgb &pixel = bits[y * stride + left + i];
                pixel = over(column[y], pixel);
            }
        }
        touch(block);
    }
    clearColumns();
    mHasColumnColours = false;
}

void CellResolver::touch(const QRect &written)
{
    mTouched |= written;
    mWritten |= written;
}

void CellResolver::clearColumns()
{
    DownColumns &down = downColumns();
    for (int i = 0; i < mKeptWidth; ++i) {
        if (down.bottom[size_t(i)] > down.top[size_t(i)])
            std::fill_n(columnColours(i) + down.top[size_t(i)], down.bottom[size_t(i)] - down.top[size_t(i)], QRgb(0));
        down.top[size_t(i)] = std::numeric_limits<int>::max();
        down.bottom[size_t(i)] = 0;
    }
}

void CellResolver::paintOnto(QPainter *painter)
{
    if (mTouched.isEmpty())
        return;
    paintPartOnto(painter, mTouched);
    if (mClearing == Clearing::WhenPainted)
        clearImage();
}

void CellResolver::paintPartOnto(QPainter *painter, const QRect &part) const
{
    painter->save();
    // The image is in device pixels; the painter scales what it is given by the device's ratio.
    const qreal ratio = painter->device()->devicePixelRatioF();
    painter->setTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    painter->drawImage(part.topLeft() + mArea.topLeft(), mScratch.image, part);
    painter->restore();
}

void CellResolver::clearImage()
{
    clearImage(mScratch.image, mTouched);
    mTouched = QRect();
}

void CellResolver::clearImage(QImage &image, const QRect &rect)
{
    const int width = rect.width() * int(sizeof(QRgb));
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        std::memset(image.scanLine(y) + rect.left() * int(sizeof(QRgb)), 0, size_t(width));
}
