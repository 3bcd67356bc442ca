// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REPLOTPREPARATION_H
#define REPLOTPREPARATION_H

#include "graph/envelopegraph.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QCustomPlot;

// The envelope graphs of a replot prepared side by side on threads: the first one drawn starts
// the sampling and canvases of itself and those drawn after it on its layer, and each graph's
// drawing then waits for its own, preparing queued ones meanwhile, and puts it onto the
// painter, in the graphs' order, so the picture is the one drawn a graph at a time. How many
// threads, the painter's own among them: the global thread pool's maximum; at one, and for any
// painter outside a replot (an export), graphs draw as they always have.
class ReplotPreparation : public QObject
{
    Q_OBJECT

public:
    // The plot's, made on first use.
    static ReplotPreparation *of(QCustomPlot *plot);
    ~ReplotPreparation() override;

    // The graph's drawing prepared for this painter, waited for; null where the graph draws
    // directly.
    EnvelopeGraph::Prepared *preparedFor(EnvelopeGraph *graph, QCPPainter *painter);
    // The graph's prepared drawing is on the painter: its canvas goes to the next one.
    void drawn(EnvelopeGraph *graph);
    // Where the painter's replot is prepared on threads and the painter clips to the area the
    // graphs covered: draws on canvases over that area side by side, each keeping to a stripe of
    // its columns, in the scratches the graphs are done with, and puts them on. A stripe is drawn
    // in pieces a cache's width each, draw called for each, by whichever thread is free. False
    // elsewhere.
    bool drawInStripes(QCPPainter *painter, const std::function<void(QCPPainter *, DeviceCanvas &)> &draw);
    // Waits for the comparison lines sampled on the threads; where they were also drawn there,
    // in stripes while the graphs were put on, and suit this painter, puts them on and is true.
    bool paintComparisons(QCPPainter *painter, const std::vector<const EnvelopeGraph *> &comparing);

private:
    struct Slot {
        EnvelopeGraph *graph;
        std::unique_ptr<EnvelopeGraph::Prepared> prepared;
        std::future<void> done;
        bool launched = false;
    };
    // Columns [left, right) of the area drawn on a canvas of their own, in pieces a cache's width
    // each, taken from the left: by the thread that opens the canvas, and by any thread done
    // with its own, on a canvas beside it in the same scratch. The painter's thread puts each
    // piece on once it is drawn.
    struct Stripe {
        int left;
        int right;
        DeviceCanvas::Scratch *scratch;
        std::unique_ptr<DeviceCanvas> canvas;
        std::atomic<bool> open{false};
        std::atomic<int> nextPiece{0};
        std::mutex mutex; // over the canvases beside and the pieces drawn
        std::vector<std::unique_ptr<DeviceCanvas>> beside;
        std::vector<QRect> drawn; // what pieces drew into the image, not yet put on
        // The job that opens the canvas: done when it has drawn the pieces it took and helped with
        // others (the painter's thread takes none once what it waits for is ready).
        std::future<void> done;
    };
    using Stripes = std::vector<std::unique_ptr<Stripe>>;
    using Draw = std::function<void(QCPPainter *, DeviceCanvas &)>;

    explicit ReplotPreparation(QCustomPlot *plot);
    void start(EnvelopeGraph *first, QCPPainter *painter);
    void launch(Slot &slot);
    void launchNext();
    void release(Slot &slot);
    void finish();
    void startComparisons(const std::vector<const EnvelopeGraph *> &comparing, int graphCanvases);
    Stripes stripesOver(int count);
    void queueStripes(Stripes &stripes, const Draw &draw);
    static void drawStripe(const EnvelopeGraph::Frame &frame, Stripe &stripe, const Draw &draw);
    static void drawPieces(const EnvelopeGraph::Frame &frame, Stripe &stripe, DeviceCanvas &canvas, QCPPainter *painter,
                           const Draw &draw, const std::function<void()> &afterPiece);
    static bool helpWithStripes(const EnvelopeGraph::Frame &frame, Stripes &stripes, const Draw &draw,
                                const std::function<void()> &afterPiece = {});
    static void putDrawnPieces(QCPPainter *painter, Stripes &stripes);
    void paintStripes(QCPPainter *painter, Stripes &stripes, const Draw &draw);
    void releaseStripes(Stripes &stripes);
    void finishComparisons();
    void queue(std::function<void()> job);
    void waitFor(std::future<void> &done);
    bool runQueuedJob(const std::future<void> &done);
    DeviceCanvas::Scratch *takeScratch();
    Slot *slotOf(const EnvelopeGraph *graph);
    static int mostCanvases(const QRect &area);
    static int pieceColumns(int rows);
    void work();

    // Threads that prepare beside the painter's, made as they are needed and kept for the next
    // replots; plain threads and locks, whose hand-overs a thread checker sees.
    std::vector<std::thread> mWorkers;
    std::mutex mJobsMutex;
    std::condition_variable mJobsWaiting;
    std::deque<std::function<void()>> mJobs;
    bool mStopping = false;
    bool mReplotting = false;
    bool mStarted = false;
    QCPPainter *mPainter = nullptr;
    EnvelopeGraph::Frame mFrame;
    std::vector<Slot> mSlots;
    // Scratches made so far, each either free or lent to one slot's canvas.
    std::vector<std::unique_ptr<DeviceCanvas::Scratch>> mScratches;
    std::vector<DeviceCanvas::Scratch *> mFreeScratches;
    // The comparing graphs whose lines the threads sample, and each one's job; the lines yet to
    // be sampled; the stripes the threads draw them in as soon as the last one is, and how.
    std::vector<const EnvelopeGraph *> mComparing;
    std::vector<std::future<void>> mSampled;
    std::atomic<int> mUnsampled{0};
    Stripes mComparisonStripes;
    Draw mStrokeComparisons;
};

#endif // REPLOTPREPARATION_H
