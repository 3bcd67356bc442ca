// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ENVELOPEGRAPH_H
#define ENVELOPEGRAPH_H

#include "graph/devicecanvas.h"
#include "graph/minmaxsummary.h"

#include <qcustomplot.h>

#include <memory>
#include <vector>

class ReplotPreparation;

// A line graph whose redraw cost follows the pixels rather than the points: where many points
// share a pixel column, the line visits only their lowest and highest value, read from a
// min/max summary instead of every point, and the fill covers each such column from the zero
// line to the farthest the line reaches in it, so dense fills have no gaps and no
// self-crossing outline.
class EnvelopeGraph : public QCPGraph
{
    Q_OBJECT

public:
    EnvelopeGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // Replaces the graph's points and forgets their summary. A new vector may land where the old
    // one was freed, with the same size and ends, where the data stamp below could not tell it.
    void setPoints(const QVector<QCPGraphData> &points, bool alreadySorted);
    // Takes a summary built over exactly the points the graph now holds, in their memory, as a
    // load builds one while it writes them.
    void adoptSummary(MinMaxSummary &&summary);
    // Adds points, ordered by key, as a load would have put them among the present ones: after
    // every present point of an equal key. Points later than all present ones are appended; an
    // earlier one moves the present points after it. A summary that was up to date is extended
    // over the points added or moved, not built again.
    void addPoints(const QVector<QCPGraphData> &sortedPoints);
    // The summary of the present points, indexed from the data's first point; built again when
    // they changed since, so a load may build it ahead of the first drawing, with afterPart
    // between parts of the build.
    const MinMaxSummary &upToDateSummary(const std::function<void()> &afterPart = {}) const;
    // Brings the graphs' summaries up to date side by side, on as many threads as the global
    // thread pool's maximum, with whileWaiting called on this thread every few milliseconds;
    // at one thread, one after the other, whileWaiting between their parts.
    static void summariseSideBySide(const QVector<EnvelopeGraph *> &graphs, const std::function<void()> &whileWaiting);

    // The stock graph's distance to pos, found from the summary and the few pixel columns within
    // the selection tolerance, not from every point there: a click or a wheel notch costs
    // pixels, not records.
    double selectTest(const QPointF &pos, bool onlySelectable, QVariant *details = nullptr) const override;
    // Hands a wheel event to the plot without the graphs' hit tests: the library tests every
    // layerable under the mouse to find one that takes the event, and a graph takes none, so the
    // answer is the same, without testing millions of points five times before each notch's zoom.
    static void dispatchWheel(QCustomPlot *plot, QEvent *wheel);

    // An earlier period laid over the current one: the graph's own points moved later by shift
    // (in keys), drawn by drawComparisons() as a line of the given pen, without fill. Sampled
    // through the summary as the graph's line is, and prepared with the graph's drawing.
    void setComparison(double shift, const QPen &pen);
    void removeComparison();
    double comparisonShift() const { return mComparisonShift; }
    const QPen &comparisonPen() const { return mComparisonPen; }
    // Strokes the moved points of the plot's visible envelope graphs that compare, over the time
    // axis's range, in the graphs' order; whoever draws them draws them after the graphs, in the
    // same drawing and clipped as they are, so that lines prepared with the graphs' drawings are
    // the ones used. On a raster device the dashed hairlines are gathered on canvases, side by
    // side on the replot's threads where it has them, and put on at once.
    static void drawComparisons(QCPPainter *painter, QCustomPlot *plot);

protected:
    void draw(QCPPainter *painter) override;
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;
    void drawFill(QCPPainter *painter, QVector<QPointF> *lines) const override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    friend class ReplotPreparation;

    // What a replot's painter gives the graphs prepared for it: the area of the device they
    // cover and how it is reached, in device pixels; the world transform without the half pixel
    // of antialiasing.
    struct Frame {
        QRect area;
        QSize device;
        qreal ratio = 1;
        QTransform world;
        QCPPainter::PainterModes modes;
        // What the painter gives now.
        static Frame of(QCPPainter *painter);
    };
    // A painter on a pixel of its own that only mirrors a frame's transform and modes, for a
    // drawing done away from the replot's painter.
    struct StandIn {
        explicit StandIn(const Frame &frame);
        QImage image;
        QCPPainter painter;
    };
    // A drawing of the graph prepared on another thread for one replot: what its sampling found
    // and its canvas, resolved into its image; the painter's thread then only puts it on.
    struct Prepared {
        Frame frame;
        DeviceCanvas::Scratch *scratch = nullptr;
        QVector<QVector<QCPGraphData>> lineData;
        int lineDataReplayed = 0;
        std::unique_ptr<DeviceCanvas> canvas;
        bool painted = false;
        // Drawn in a way a single canvas put on at one point cannot hold: drawn directly instead.
        bool failed = false;
    };
    // Drawing straight onto the painter; gathering a prepared drawing without one; putting a
    // prepared drawing onto the painter.
    enum class Pass { Direct, Preparing, Replaying };

    bool preparesAlongside(const EnvelopeGraph *first) const;
    void prepare(Prepared *prepared);
    void replay(QCPPainter *painter, Prepared *prepared);
    void sampleLineData(QVector<QCPGraphData> *lineData, const QCPGraphDataContainer::const_iterator &begin,
                        const QCPGraphDataContainer::const_iterator &end, double shift = 0) const;
    QVector<QPointF> comparisonLines() const;
    // The comparison's line sampled anew, and its stretches between gaps.
    void resampleComparison() const;
    // The comparison's line sampled for the drawing of the comparisons that follows.
    void sampleComparison() const;
    // The plot's visible graphs that compare, in the plot's order.
    static std::vector<const EnvelopeGraph *> comparingGraphs(const QCustomPlot *plot);
    bool comparesOnCanvas(QCPPainter *painter) const;
    static bool comparisonsOnCanvas(const std::vector<const EnvelopeGraph *> &graphs, QCPPainter *painter);
    void strokeComparisonOn(QCPPainter *painter, DeviceCanvas &canvas) const;
    // Each graph's sampled comparison line on the canvas, in order.
    static void strokeComparisons(const std::vector<const EnvelopeGraph *> &graphs, QCPPainter *painter,
                                  DeviceCanvas &canvas);

    // What identifies the data the summary was built from. Whoever holds data() may change the
    // points: setting, adding, removing or clearing them, or a new container, moves the
    // container, its storage, its size or its ends, and the next drawing rebuilds the summary.
    // Points edited in place through the container's mutable iterators would go unnoticed;
    // loads never do that, they hand over whole vectors.
    struct DataStamp {
        const QCPGraphDataContainer *container = nullptr;
        const QCPGraphData *storage = nullptr;
        int size = 0;
        QCPGraphData first;
        QCPGraphData last;
        bool operator==(const DataStamp &other) const;
    };

    DataStamp currentStamp() const;
    bool answersHitsFromTheSummary() const;
    QCPRange keysOfColumnsAround(double x, double reach) const;
    double squaredDistanceToLine(const QPointF &pos, double reach) const;
    double squaredDistanceToPoints(const QPointF &pos, double tolerance, int *nearestPoint) const;
    bool drawsOwnFill() const;
    bool strokesSegmentBySegment(const QCPPainter *painter, int vertices) const;
    bool isDenseHairline(const QCPPainter *painter, int vertices) const;
    void appendColumn(QVector<QCPGraphData> *lineData, const MinMaxSummary &summary,
                      QCPGraphDataContainer::const_iterator from, QCPGraphDataContainer::const_iterator to,
                      double column, bool gapBefore, bool gapAfter, double shift) const;

    DeviceCanvas &openCanvas(QCPPainter *painter) const;
    void paintCanvas(QCPPainter *painter) const;

    mutable MinMaxSummary mSummary;
    mutable DataStamp mSummaryStamp;
    // Dense drawing gathered for one drawing of the graph, put onto the device at its end.
    mutable std::unique_ptr<DeviceCanvas> mCanvas;
    mutable Pass mPass = Pass::Direct;
    mutable Prepared *mPrepared = nullptr;

    bool mComparing = false;
    double mComparisonShift = 0;
    QPen mComparisonPen;
    // The pen's pattern, taken on the window's thread: the pen works a stock pattern out on first
    // asking, into memory its copies share, so threads asking at once would write it together.
    QVector<qreal> mComparisonDashes;
    // The comparison's line sampled off the painter's thread where the graph's drawing is
    // prepared, in the painter's coordinates; used by the drawing of the comparisons after it.
    mutable QVector<QPointF> mComparisonLines;
    // Its stretches between gaps, found once: a drawing in pieces strokes it once a piece.
    mutable QVector<QCPDataRange> mComparisonStretches;
    mutable bool mComparisonPrepared = false;
};

#endif // ENVELOPEGRAPH_H
