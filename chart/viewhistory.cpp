// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/viewhistory.h"

namespace {

const int kMostViews = 100;
// Wheel notches closer than this make one run, and one step back.
const int kRunPauseMs = 500;

} // namespace

ViewHistory::ViewHistory(QCustomPlot *plot)
    : QObject(plot)
    , mPlot(plot)
{
    mRunEnd.setSingleShot(true);
    mRunEnd.setInterval(kRunPauseMs);
    connect(&mRunEnd, &QTimer::timeout, this, &ViewHistory::settle);
    connect(plot, &QCustomPlot::mousePress, this, &ViewHistory::settle);
    connect(plot, &QCustomPlot::mouseRelease, this, &ViewHistory::settle);
    connect(plot, &QCustomPlot::mouseWheel, this, &ViewHistory::settleLater);
    restart();
}

void ViewHistory::settle()
{
    mRunEnd.stop();
    const View view = present();
    if (view == mViews.at(mCurrent))
        return;
    mViews.resize(mCurrent + 1);
    mViews.append(view);
    if (mViews.size() > kMostViews)
        mViews.removeFirst();
    mCurrent = mViews.size() - 1;
    emit changed();
}

// Called before each notch's change, so that the first of a run settles what came before.
void ViewHistory::settleLater()
{
    if (!mRunEnd.isActive())
        settle();
    mRunEnd.start();
}

// What a gesture left pending is a view of its own, the one to go back from.
void ViewHistory::back()
{
    settle();
    if (canGoBack())
        show(mCurrent - 1);
}

void ViewHistory::forward()
{
    settle();
    if (canGoForward())
        show(mCurrent + 1);
}

void ViewHistory::restart()
{
    mRunEnd.stop();
    mViews = {present()};
    mCurrent = 0;
    emit changed();
}

ViewHistory::View ViewHistory::present() const
{
    return {mPlot->xAxis->range(), mPlot->yAxis->range()};
}

// The ranges only: selection, hidden channels and markers stay. Queued, so that a held key's
// repeats arriving during a redraw make one redraw.
void ViewHistory::show(int index)
{
    mCurrent = index;
    mPlot->xAxis->setRange(mViews.at(index).keys);
    mPlot->yAxis->setRange(mViews.at(index).values);
    mPlot->replot(QCustomPlot::rpQueuedReplot);
    emit changed();
}
