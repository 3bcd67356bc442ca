// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CELLRESOLVER_H
#define CELLRESOLVER_H

#include <QImage>
#include <QRect>
#include <QRgb>

#include <algorithm>
#include <vector>

class QPainter;

// Turns a canvas's cells into the pixels of its image and puts the image onto the device. The
// canvas (DeviceCanvas) walks fills and lines into the cells, one 16-bit cell per device pixel
// (the fill colour's index in the high byte, the line's coverage in the low byte), marks the rows
// it wrote and names the colours here; this resolves them with the raster engine's blend, a
// block of columns at a time along the image's rows, or, for canvases drawing stripes of one
// image side by side on several threads, down the columns they keep to and then into the rows.
// The canvas never reads the image, and nothing here knows how a line or a dash is walked.
class CellResolver
{
public:
    // What a canvas draws into, kept between canvases: the image all transparent and the cells
    // all zero whenever no canvas is open on it. 6 bytes per device pixel of the area.
    struct Scratch {
        QImage image;
        // One cell per pixel, column after column, so that a fill's span or a steep line runs
        // through it in order: which fill colour covers the pixel (the high byte) and how much
        // the line covers it (the low byte).
        std::vector<quint16> cells;
        // Per column of the area, the rows [top, bottom) whose cells may be non-zero.
        std::vector<int> top;
        std::vector<int> bottom;
        // Pixels of the image the last canvas left for the next one to clear, on its thread.
        QRect uncleared;
    };

    // Columns taken at once along the image's rows; canvases side by side over one image keep to
    // whole blocks of them.
    static constexpr int kColumnsPerBlock = 16;
    static constexpr int kFillShift = 8;
    static constexpr quint16 kCoverageBits = 0xff;
    // x·a/255 rounded, as the raster engine multiplies bytes: coverage into a cell and colours
    // into pixels are both rounded so.
    static uint multiplyByte(uint x, uint a)
    {
        const uint t = x * a + 128;
        return (t + (t >> 8)) >> 8;
    }

    // Who clears what was resolved into the image: the resolver once it is painted or ends, or
    // the next one opened on the scratch, off the painter's thread.
    enum class Clearing { WhenPainted, ByNextOnScratch };
    // Another resolver, over whose area, scratch and image one beside it resolves other columns.
    struct Beside {
        const CellResolver &other;
    };

    // Resolves area (in device pixels) into the scratch's image, cleared first of what the last
    // resolver on the scratch left there.
    CellResolver(const QRect &area, Scratch &scratch, Clearing clearing);
    // Resolves into the same image as the other, at the same time on another thread: it leaves the
    // scratch as it is, its image to be painted by parts (paintPartOnto).
    explicit CellResolver(Beside beside);
    ~CellResolver();
    CellResolver(const CellResolver &) = delete;
    CellResolver &operator=(const CellResolver &) = delete;

    // The line whose coverage the cells hold, not premultiplied; coverage gathered in another
    // colour is resolved first.
    void useLineColour(QRgb colour);
    QRgb lineColour() const { return mLineColour; }
    // Whether any cell may name a fill colour: cells that do not hold coverage alone.
    bool holdsFills() const { return mFillColours > 0; }
    // Rows [top, bottom) of the area's column x in a colour, premultiplied, over whatever line
    // coverage was gathered before.
    void fillRows(int x, int top, int bottom, QRgb colour);
    // The cells of the area's column x.
    quint16 *cellsOfColumn(int x) const { return mScratch.cells.data() + size_t(x) * size_t(mArea.height()); }
    // Rows [top, bottom) of the area's column x may hold non-zero cells.
    void markCells(int x, int top, int bottom);
    // Some cell holds line coverage.
    void markCoverage() { mHasCoverage = true; }

    // Resolves the cells of the area's columns [left, left + width) only, gathered down the
    // columns as they run, in memory of the thread's own, and put into the image's rows at once
    // by resolveCells(): one resolver kept to columns resolves at a time in a thread. What was
    // gathered before is put into the image first.
    void keepToColumns(int left, int width);
    // Puts what was gathered into the image, ready to be painted; the pixels written there, in the
    // area's coordinates.
    QRect resolveCells();
    // Blends the image resolved onto the painter's device and clears it, as the clearing says.
    void paintOnto(QPainter *painter);
    // Blends part of the image (in the area's coordinates) onto the painter's device, leaving the
    // image as it is: the painter's thread may put on what is resolved while resolvers beside
    // this one still write into the image elsewhere.
    void paintPartOnto(QPainter *painter, const QRect &part) const;

private:
    static const int kMostFillColours = 3;

    int fillIndex(QRgb pixel);
    void resolveColours();
    void resolveIntoRows(const QRgb *colours);
    void resolveDownColumns(const QRgb *colours);
    // No fill under the line and the line opaque: its colour worked out from each cell's coverage.
    bool coversWithOpaqueLine() const;
    void clearCells(int x);
    void putColumnsIntoImage();
    void touch(const QRect &written);
    void clearColumns();
    // The colours gathered down column i of those kept to.
    QRgb *columnColours(int i) const;
    void clearImage();
    static void clearImage(QImage &image, const QRect &rect);

    QRect mArea;                          // the area, in device pixels
    Scratch &mScratch;
    QRgb *mPixels = nullptr;              // the image's, fetched once, as other threads may read it
    QRgb mFills[kMostFillColours + 1] = {}; // fill colours, premultiplied, from index 1
    int mFillColours = 0;
    QRgb mLineColour = 0;                 // the line's colour, not premultiplied
    bool mHasCells = false;               // whether any cell is set
    bool mHasCoverage = false;            // whether any cell holds coverage
    Clearing mClearing;
    bool mKeptToColumns = false;          // whether colours are gathered down the columns kept to
    bool mHasColumnColours = false;       // whether any are, not yet put into the image
    int mKeptLeft = 0;                    // the columns kept to, in the area's coordinates
    int mKeptWidth = 0;
    QRect mTouched;                       // the image's pixels written, in area coordinates
    QRect mWritten;                       // those written since the last resolveCells()
    int mFirstCellColumn;                 // the area's columns that may hold cells: [first, end)
    int mEndCellColumn;
};

inline void CellResolver::markCells(int x, int top, int bottom)
{
    mHasCells = true;
    mFirstCellColumn = std::min(mFirstCellColumn, x);
    mEndCellColumn = std::max(mEndCellColumn, x + 1);
    mScratch.top[size_t(x)] = std::min(mScratch.top[size_t(x)], top);
    mScratch.bottom[size_t(x)] = std::max(mScratch.bottom[size_t(x)], bottom);
}

#endif // CELLRESOLVER_H
