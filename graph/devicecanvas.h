// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DEVICECANVAS_H
#define DEVICECANVAS_H

#include "graph/cellresolver.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QVector>

#include <memory>
#include <vector>

class QPainter;

// Dense drawing gathered in device pixels and put onto the painter's device in one image draw.
// The raster engine pays a call for every row of a narrow fill and for every pixel of a
// hairline; a dense chart column has hundreds of each, in every one of thousands of columns.
// Here they are plain writes into memory, and one draw blends them all. The canvas walks fills,
// hairlines, their dashes and wide lines into cells, one a device pixel, as the raster engine
// covers pixels; its CellResolver holds the cells, turns them into the image's pixels and puts the
// image on, and is told nothing but the colours, which cells were written and which columns the
// canvas keeps to. Only one canvas opened on a painter is open at a time in a thread: they share
// their memory; one opened on a scratch of its own, for a drawing prepared on another thread,
// has that scratch to itself.
class DeviceCanvas
{
public:
    // What a canvas draws into, kept between canvases.
    using Scratch = CellResolver::Scratch;
    // Columns taken at once by canvases side by side over one image.
    static constexpr int kColumnsPerBlock = CellResolver::kColumnsPerBlock;

    // Whether a painter's drawing can be gathered: pixels of a raster device, reached by a
    // transform that only scales and moves, blended plainly.
    static bool suits(const QPainter *painter);
    // What a canvas on the painter covers: its clip, in device pixels.
    static QRect clipArea(const QPainter *painter);

    // A canvas over what the painter may paint of its device: its clip, in device pixels.
    explicit DeviceCanvas(QPainter *painter);
    // A canvas over area of a device of the given size, in a scratch of its own, for a drawing
    // prepared away from the device: the painter only gives the transform to device pixels.
    // What it leaves in the image is cleared by the next canvas opened on the scratch, off the
    // painter's thread.
    DeviceCanvas(QPainter *painter, const QRect &area, const QSize &device, Scratch &scratch);
    // A canvas beside one in a scratch of its own, over the same area and scratch, for columns
    // the other does not keep to, drawn at the same time on another thread: it leaves the scratch
    // as it is, and what it draws goes into the same image (paintPartOnto). Columns kept to by
    // canvases side by side begin a whole block of columns from the area's left.
    DeviceCanvas(QPainter *painter, const DeviceCanvas &beside);
    DeviceCanvas(const DeviceCanvas &) = delete;
    DeviceCanvas &operator=(const DeviceCanvas &) = delete;
    ~DeviceCanvas();

    // Rows [top, bottom) of one device column in a colour; spans never overlap.
    void fillSpan(int column, int top, int bottom, const QColor &colour);
    // A hairline (a cosmetic pen's line) through the points, given in the painter's coordinates,
    // antialiased as the raster engine draws one, its ends squared when capped. Where it crosses
    // itself its coverage adds up as the engine's blends do.
    void strokeHairline(const QPointF *points, int count, const QColor &colour, bool capped);
    // The same hairline dashed by a pen's pattern (dash and gap lengths in pixels), cut to the
    // canvas's area and laid out as the raster engine lays out a hairline's dashes: along each
    // segment's major axis, carried on from segment to segment. A line whose points run left to
    // right, stroked again after the columns kept to moved right, carries on where it left the
    // columns before: it is walked once however many stripes it is drawn in.
    void strokeDashedHairline(const QPointF *points, int count, const QColor &colour, bool capped,
                              const QVector<qreal> &pattern);
    // Covers device columns [left, right) only: canvases side by side, each over the whole area,
    // draw their stripes of the same lines. What was gathered before is put into the image
    // first; one canvas kept to columns draws at a time in a thread.
    void keepToColumns(int left, int right);
    // A wide line through the points (the painter's coordinates), width device pixels across,
    // stroked segment by segment with flat ends, each pixel covered by how much of it the
    // segments' shapes cover, as the raster engine's antialiasing covers it.
    void strokeWide(const QPointF *points, int count, const QColor &colour, double width);
    // Blends what was gathered onto the device and leaves the canvas empty.
    void paint();
    // Puts what was gathered into the image, ready to be painted; the pixels written there, in the
    // area's coordinates.
    QRect resolveCells();
    // Blends the image resolved onto the painter's device, the one the canvas covers, and clears
    // the image (a canvas in a scratch of its own leaves that to the next one).
    void paintOnto(QPainter *painter);
    // Blends part of the image (in the area's coordinates) onto the painter's device, leaving the
    // image as it is: the painter's thread may put on what is drawn while canvases beside this
    // one still draw into the image elsewhere.
    void paintPartOnto(QPainter *painter, const QRect &part) const;

private:
    // The scratch of canvases opened on the painter: one a thread.
    static Scratch &scratch();
    // One segment of a hairline, walked along its major axis.
    struct HairlineWalk;
    static HairlineWalk hairlineWalk(int along1, int across1, int along2, int across2, int caps);
    // A hairline's dash pattern, and where in it a segment's walk is.
    struct Dashes;
    class Dasher;
    // How far a dashed line has been walked: where the columns kept to next may pick it up.
    struct LineProgress;

    void strokeLine(const QPointF *points, int count, const QColor &colour, bool capped, Dashes *dashes,
                    LineProgress *progress = nullptr);
    LineProgress &progressOf(const QPointF *points, const QVector<qreal> &pattern);
    static bool clipTo(const QRect &bounds, QPointF *from, QPointF *to);
    void strokeSegment(const QPointF &from, const QPointF &to, int caps, Dashes *dashes);
    void strokeSteep(const HairlineWalk &walk, Dasher &dasher);
    void strokeShallow(const HairlineWalk &walk, Dasher &dasher);
    void coverPair(int along, int across, int weight, bool steep);
    void strokeWideSegment(const QPointF &from, const QPointF &to, double width);
    void coverRowSampled(const QPointF *corners, int row);
    int rowWithin(double row) const;
    int columnWithin(double column) const;
    void coverPixel(int column, int row, int weight);
    void coverRun(int column, int row, int rows, int weight);
    void coverDashedPair(int column, int row, int rows, int share, Dasher dasher);
    void coverDashedRows(int x, int xinc, int row, int rows, Dasher &dasher);

    QPainter *mPainter;
    QRect mArea;                          // the clip, in device pixels
    QSize mDevice;                        // the device's size in pixels
    int mFirstColumn;                     // the device columns covered: [first, end)
    int mEndColumn;
    CellResolver mCells;                  // the cells walked into, resolved into the image
    std::vector<std::unique_ptr<LineProgress>> mProgress;
};

#endif // DEVICECANVAS_H
