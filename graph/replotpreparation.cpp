// SPDX-License-Identifier: GPL-3.0-or-later
#include "graph/replotpreparation.h"

#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

// Canvases held at once beyond the one a drawing on a single thread holds, in bytes: each costs
// 6 bytes per device pixel of the plot area, 41 MB maximised on a 4K screen.
const qint64 kMostExtraCanvasBytes = qint64(64) << 20;
const qint64 kCanvasBytesPerPixel = 6;
// What a stripe's piece may touch: half a core's second-level cache.
const qint64 kCacheBytes = qint64(512) << 10;
// How often the painter's thread, waiting for a stripe, looks for one another thread opened.
const std::chrono::microseconds kLookAgain(200);

// What the painter's thread waits for while it does queued jobs: it leaves a stripe's pieces to
// the other threads as soon as that is ready, to put the graphs on in their turn.
thread_local const std::future<void> *tAwaited = nullptr;

bool isReady(const std::future<void> &done)
{
    return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool awaitedIsReady()
{
    return tAwaited && isReady(*tAwaited);
}

} // namespace

ReplotPreparation *ReplotPreparation::of(QCustomPlot *plot)
{
    auto *preparation = plot->findChild<ReplotPreparation *>(QString(), Qt::FindDirectChildrenOnly);
    return preparation ? preparation : new ReplotPreparation(plot);
}

ReplotPreparation::ReplotPreparation(QCustomPlot *plot)
    : QObject(plot)
{
    connect(plot, &QCustomPlot::beforeReplot, this, [this]() { mReplotting = true; });
    connect(plot, &QCustomPlot::afterReplot, this, [this]() {
        finish();
        mReplotting = false;
    });
}

ReplotPreparation::~ReplotPreparation()
{
    finish();
    {
        const std::lock_guard<std::mutex> lock(mJobsMutex);
        mStopping = true;
    }
    mJobsWaiting.notify_all();
    for (std::thread &worker : mWorkers)
        worker.join();
}

void ReplotPreparation::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mJobsMutex);
            mJobsWaiting.wait(lock, [this]() { return mStopping || !mJobs.empty(); });
            if (mJobs.empty())
                return;
            job = std::move(mJobs.front());
            mJobs.pop_front();
        }
        job();
    }
}

void ReplotPreparation::queue(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> lock(mJobsMutex);
        mJobs.push_back(std::move(job));
    }
    mJobsWaiting.notify_one();
}

// The painter's thread waits for a job by doing those still queued, the one awaited among them.
// Other threads queue only the comparison's stripes, which this thread waits for only after the
// job that queues them: a job it blocks on is always running, never left queued.
void ReplotPreparation::waitFor(std::future<void> &done)
{
    while (!isReady(done) && runQueuedJob(done)) {
    }
    done.wait();
}

// The first job still queued, if any, done on the painter's thread while it waits for done.
bool ReplotPreparation::runQueuedJob(const std::future<void> &done)
{
    std::function<void()> job;
    {
        const std::lock_guard<std::mutex> lock(mJobsMutex);
        if (mJobs.empty())
            return false;
        job = std::move(mJobs.front());
        mJobs.pop_front();
    }
    tAwaited = &done;
    job();
    tAwaited = nullptr;
    return true;
}

EnvelopeGraph::Prepared *ReplotPreparation::preparedFor(EnvelopeGraph *graph, QCPPainter *painter)
{
    if (!mReplotting)
        return nullptr;
    if (!mStarted)
        start(graph, painter);
    Slot *slot = painter == mPainter ? slotOf(graph) : nullptr;
    if (!slot)
        return nullptr;
    if (!slot->launched)
        launch(*slot);
    waitFor(slot->done);
    if (slot->prepared->failed) {
        drawn(graph);
        return nullptr;
    }
    return slot->prepared.get();
}

void ReplotPreparation::drawn(EnvelopeGraph *graph)
{
    if (Slot *slot = slotOf(graph))
        release(*slot);
    launchNext();
}

// Takes what the painter gives now, in the first graph's drawing, and sets the graphs from it
// on going, as many at once as canvases may be held.
void ReplotPreparation::start(EnvelopeGraph *first, QCPPainter *painter)
{
    mStarted = true;
    mPainter = painter;
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    if (threads < 2 || !DeviceCanvas::suits(painter) || painter->modes().testFlag(QCPPainter::pmVectorized))
        return;
    mFrame = EnvelopeGraph::Frame::of(painter);

    const QList<QCPLayerable *> layerables = first->layer()->children();
    for (int i = layerables.indexOf(first); i >= 0 && i < layerables.size(); ++i) {
        auto *graph = qobject_cast<EnvelopeGraph *>(layerables[i]);
        if (!graph || !graph->realVisibility() || !graph->preparesAlongside(first))
            continue;
        // Built here: two threads never build one summary.
        graph->upToDateSummary();
        mSlots.push_back(Slot{graph, nullptr, {}, false});
    }
    // This thread is one of them: it prepares what is queued while it waits.
    while (int(mWorkers.size()) < threads - 1)
        mWorkers.emplace_back([this]() { work(); });
    // One graph queued beyond the threads, so that a thread done with its own finds the next
    // rather than waiting for a canvas to go on and free its scratch.
    const int canvases = std::min(threads + 1, mostCanvases(mFrame.area));
    for (int i = 0; i < canvases && i < int(mSlots.size()); ++i)
        launch(mSlots[size_t(i)]);
    startComparisons(EnvelopeGraph::comparingGraphs(first->parentPlot()), canvases);
}

// The comparison lines of the graphs prepared here are sampled on the threads, a job each. Where
// they are all the comparing graphs' and go on canvases, and memory allows canvases for them
// beside the graphs', the last line sampled also sets the threads drawing them in stripes: the
// painter's thread puts the graphs on meanwhile, and the stripes are ready when their turn comes.
void ReplotPreparation::startComparisons(const std::vector<const EnvelopeGraph *> &comparing, int graphCanvases)
{
    for (const EnvelopeGraph *graph : comparing) {
        if (slotOf(graph))
            mComparing.push_back(graph);
    }
    if (mComparing.empty())
        return;
    const int stripes = int(mWorkers.size()) + 1;
    bool drawAhead = mComparing.size() == comparing.size() && graphCanvases + stripes <= mostCanvases(mFrame.area);
    if (drawAhead) {
        EnvelopeGraph::StandIn standIn(mFrame);
        drawAhead = EnvelopeGraph::comparisonsOnCanvas(mComparing, &standIn.painter);
    }
    if (drawAhead) {
        mComparisonStripes = stripesOver(stripes);
        mStrokeComparisons = [graphs = mComparing](QCPPainter *painter, DeviceCanvas &canvas) {
            EnvelopeGraph::strokeComparisons(graphs, painter, canvas);
        };
    }
    mUnsampled = int(mComparing.size());
    for (const EnvelopeGraph *graph : mComparing) {
        auto sampled = std::make_shared<std::promise<void>>();
        mSampled.push_back(sampled->get_future());
        queue([this, graph, sampled, drawAhead]() {
            graph->sampleComparison();
            if (--mUnsampled == 0 && drawAhead)
                queueStripes(mComparisonStripes, mStrokeComparisons);
            sampled->set_value();
        });
    }
}

// The columns of an area this many rows high whose cells and pixels fit the memory a core keeps
// at hand, to the nearest whole blocks of columns: the width of a stripe's pieces.
int ReplotPreparation::pieceColumns(int rows)
{
    const qint64 block = DeviceCanvas::kColumnsPerBlock;
    const qint64 columns = kCacheBytes / std::max<qint64>(1, kCanvasBytesPerPixel * rows);
    return int(std::max<qint64>(1, (columns + block / 2) / block) * block);
}

// As many canvases as those beyond the first stay within the memory allowed them.
int ReplotPreparation::mostCanvases(const QRect &area)
{
    const qint64 canvasBytes = std::max<qint64>(1, kCanvasBytesPerPixel * area.width() * area.height());
    return int(std::min<qint64>(1 + kMostExtraCanvasBytes / canvasBytes, std::numeric_limits<int>::max()));
}

DeviceCanvas::Scratch *ReplotPreparation::takeScratch()
{
    if (mFreeScratches.empty()) {
        mScratches.push_back(std::make_unique<DeviceCanvas::Scratch>());
        mFreeScratches.push_back(mScratches.back().get());
    }
    DeviceCanvas::Scratch *scratch = mFreeScratches.back();
    mFreeScratches.pop_back();
    return scratch;
}

void ReplotPreparation::launch(Slot &slot)
{
    slot.prepared = std::make_unique<EnvelopeGraph::Prepared>();
    slot.prepared->frame = mFrame;
    slot.prepared->scratch = takeScratch();
    auto done = std::make_shared<std::promise<void>>();
    slot.done = done->get_future();
    slot.launched = true;
    EnvelopeGraph *graph = slot.graph;
    EnvelopeGraph::Prepared *prepared = slot.prepared.get();
    queue([graph, prepared, done]() {
        graph->prepare(prepared);
        done->set_value();
    });
}

bool ReplotPreparation::drawInStripes(QCPPainter *painter, const Draw &draw)
{
    if (!mStarted || painter != mPainter || mSlots.empty() || DeviceCanvas::clipArea(painter) != mFrame.area)
        return false;
    // As many stripes as threads, in the scratches there are: no canvas made for them alone.
    Stripes stripes = stripesOver(std::max<int>(1, std::min<int>(int(mWorkers.size()) + 1, int(mFreeScratches.size()))));
    queueStripes(stripes, draw);
    paintStripes(painter, stripes, draw);
    return true;
}

bool ReplotPreparation::paintComparisons(QCPPainter *painter, const std::vector<const EnvelopeGraph *> &comparing)
{
    for (std::future<void> &sampled : mSampled)
        waitFor(sampled);
    mSampled.clear();
    if (mComparisonStripes.empty())
        return false;
    const bool suits = painter == mPainter && DeviceCanvas::clipArea(painter) == mFrame.area && comparing == mComparing
                       && EnvelopeGraph::comparisonsOnCanvas(comparing, painter);
    // Stripes that do not suit are dropped; the lines sampled stay for the drawing that follows.
    if (suits)
        paintStripes(painter, mComparisonStripes, mStrokeComparisons);
    else
        releaseStripes(mComparisonStripes);
    return suits;
}

// The area's columns split evenly, in whole blocks of columns, each stripe in a scratch of its
// own; none empty.
ReplotPreparation::Stripes ReplotPreparation::stripesOver(int count)
{
    const QRect area = mFrame.area;
    const int blocks = (area.width() + DeviceCanvas::kColumnsPerBlock - 1) / DeviceCanvas::kColumnsPerBlock;
    auto edge = [&](int i) {
        return std::min(area.right() + 1, area.left() + int(qint64(blocks) * i / count) * DeviceCanvas::kColumnsPerBlock);
    };
    Stripes stripes;
    for (int i = 0; i < count; ++i) {
        if (edge(i) == edge(i + 1))
            continue;
        stripes.push_back(std::make_unique<Stripe>());
        Stripe &stripe = *stripes.back();
        stripe.left = edge(i);
        stripe.right = edge(i + 1);
        stripe.scratch = takeScratch();
    }
    return stripes;
}

// On any thread: the stripes are not moved or released until every one is done.
void ReplotPreparation::queueStripes(Stripes &stripes, const Draw &draw)
{
    for (const std::unique_ptr<Stripe> &stripe : stripes) {
        auto done = std::make_shared<std::promise<void>>();
        stripe->done = done->get_future();
        const EnvelopeGraph::Frame frame = mFrame;
        queue([frame, &stripe = *stripe, &stripes, &draw, done]() {
            drawStripe(frame, stripe, draw);
            helpWithStripes(frame, stripes, draw);
            done->set_value();
        });
    }
}

void ReplotPreparation::drawStripe(const EnvelopeGraph::Frame &frame, Stripe &stripe, const Draw &draw)
{
    EnvelopeGraph::StandIn standIn(frame);
    stripe.canvas.reset(new DeviceCanvas(&standIn.painter, frame.area, frame.device, *stripe.scratch));
    stripe.open = true;
    drawPieces(frame, stripe, *stripe.canvas, &standIn.painter, draw, {});
}

// The stripe's pieces not yet taken, one after the other, each drawn and put into the image
// while its cells and pixels are still in the core's cache, and left for the painter's thread
// to put on.
void ReplotPreparation::drawPieces(const EnvelopeGraph::Frame &frame, Stripe &stripe, DeviceCanvas &canvas,
                                   QCPPainter *painter, const Draw &draw, const std::function<void()> &afterPiece)
{
    const int width = pieceColumns(frame.area.height());
    while (!awaitedIsReady()) {
        const int from = stripe.left + stripe.nextPiece++ * width;
        if (from >= stripe.right)
            break;
        canvas.keepToColumns(from, std::min(stripe.right, from + width));
        draw(painter, canvas);
        const QRect written = canvas.resolveCells();
        if (!written.isEmpty()) {
            const std::lock_guard<std::mutex> lock(stripe.mutex);
            stripe.drawn.push_back(written);
        }
        if (afterPiece)
            afterPiece();
    }
}

// A thread done with its own stripe takes the pieces left of those whose canvases are open, so
// that the threads end together; whether it took any.
bool ReplotPreparation::helpWithStripes(const EnvelopeGraph::Frame &frame, Stripes &stripes, const Draw &draw,
                                        const std::function<void()> &afterPiece)
{
    const int width = pieceColumns(frame.area.height());
    bool helped = false;
    for (const std::unique_ptr<Stripe> &stripe : stripes) {
        if (!stripe->open || stripe->left + stripe->nextPiece * width >= stripe->right || awaitedIsReady())
            continue;
        EnvelopeGraph::StandIn standIn(frame);
        DeviceCanvas *beside = new DeviceCanvas(&standIn.painter, *stripe->canvas);
        {
            const std::lock_guard<std::mutex> lock(stripe->mutex);
            stripe->beside.emplace_back(beside);
        }
        drawPieces(frame, *stripe, *beside, &standIn.painter, draw, afterPiece);
        helped = true;
    }
    return helped;
}

// The painter's thread helps with the stripes till every piece is drawn, and puts on what the
// threads drew between its own pieces, so that little is left to put on at the end. It opens
// the stripes still queued itself, by their jobs run as if what it waited for were ready, which
// leaves their pieces to be taken here; it looks again now and then for pieces of a stripe
// another thread opened meanwhile.
void ReplotPreparation::paintStripes(QCPPainter *painter, Stripes &stripes, const Draw &draw)
{
    std::promise<void> nothing;
    nothing.set_value();
    const std::future<void> ready = nothing.get_future();
    const auto putDrawn = [painter, &stripes]() { putDrawnPieces(painter, stripes); };
    for (;;) {
        putDrawn();
        if (runQueuedJob(ready) || helpWithStripes(mFrame, stripes, draw, putDrawn))
            continue;
        const auto running = std::find_if(stripes.begin(), stripes.end(),
                                          [](const std::unique_ptr<Stripe> &stripe) { return !isReady(stripe->done); });
        if (running == stripes.end())
            break;
        (*running)->done.wait_for(kLookAgain);
    }
    putDrawn();
    releaseStripes(stripes);
}

void ReplotPreparation::putDrawnPieces(QCPPainter *painter, Stripes &stripes)
{
    for (const std::unique_ptr<Stripe> &stripe : stripes) {
        std::vector<QRect> drawn;
        {
            const std::lock_guard<std::mutex> lock(stripe->mutex);
            drawn.swap(stripe->drawn);
        }
        for (const QRect &part : drawn)
            stripe->canvas->paintPartOnto(painter, part);
    }
}

// Waits for the stripes and gives their scratches back.
void ReplotPreparation::releaseStripes(Stripes &stripes)
{
    for (const std::unique_ptr<Stripe> &stripe : stripes)
        waitFor(stripe->done);
    for (const std::unique_ptr<Stripe> &stripe : stripes) {
        stripe->beside.clear();
        stripe->canvas.reset();
        mFreeScratches.push_back(stripe->scratch);
    }
    stripes.clear();
}

// Nothing of the comparisons is left running, and no line sampled for this replot is taken for
// a later drawing.
void ReplotPreparation::finishComparisons()
{
    for (std::future<void> &sampled : mSampled)
        waitFor(sampled);
    mSampled.clear();
    releaseStripes(mComparisonStripes);
    for (const EnvelopeGraph *graph : mComparing)
        graph->mComparisonPrepared = false;
    mComparing.clear();
    mStrokeComparisons = nullptr;
}

void ReplotPreparation::launchNext()
{
    const auto next = std::find_if(mSlots.begin(), mSlots.end(), [](const Slot &slot) { return !slot.launched; });
    if (next != mSlots.end() && !mFreeScratches.empty())
        launch(*next);
}

// Waits for the slot's preparation and gives its scratch back, cleared by the canvas's end.
void ReplotPreparation::release(Slot &slot)
{
    if (!slot.prepared)
        return;
    waitFor(slot.done);
    DeviceCanvas::Scratch *scratch = slot.prepared->scratch;
    slot.prepared.reset();
    mFreeScratches.push_back(scratch);
}

// At the replot's end: nothing prepared is left running or holding a canvas.
void ReplotPreparation::finish()
{
    finishComparisons();
    for (Slot &slot : mSlots)
        release(slot);
    mSlots.clear();
    mStarted = false;
    mPainter = nullptr;
}

ReplotPreparation::Slot *ReplotPreparation::slotOf(const EnvelopeGraph *graph)
{
    const auto slot = std::find_if(mSlots.begin(), mSlots.end(), [graph](const Slot &s) { return s.graph == graph; });
    return slot == mSlots.end() ? nullptr : &*slot;
}
