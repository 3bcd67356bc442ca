// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartkeys.h"

#include "chart/chartcontrols.h"
#include "chart/viewhistory.h"

#include <qcustomplot.h>

#include <QKeyEvent>

namespace {

const double kStep = 0.1;
// Shortcuts with Ctrl, Alt or Meta belong to the window, not to the chart; Alt with the arrows
// goes back and forward through views, as in a browser.
const Qt::KeyboardModifiers kCommandModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

// Keys the chart does not take travel on from the focus widget to the window, where they are
// seen; the window is the chart itself when it stands alone.
ChartKeys::ChartKeys(QCustomPlot *plot, ChartControls *controls, ViewHistory *history)
    : QObject(plot)
    , mPlot(plot)
    , mControls(controls)
    , mHistory(history)
{
    plot->window()->installEventFilter(this);
}

bool ChartKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && act(static_cast<QKeyEvent *>(event)))
        return true;
    // A moving key held down repeats; the run is one view, settled when the key comes up.
    if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (moves(key) && !key->isAutoRepeat())
            mHistory->settle();
    }
    return QObject::eventFilter(watched, event);
}

bool ChartKeys::act(const QKeyEvent *key)
{
    if ((key->modifiers() & kCommandModifiers) == Qt::AltModifier && key->key() == Qt::Key_Left)
        mHistory->back();
    else if ((key->modifiers() & kCommandModifiers) == Qt::AltModifier && key->key() == Qt::Key_Right)
        mHistory->forward();
    else if (key->key() == Qt::Key_Backspace && !(key->modifiers() & kCommandModifiers))
        mHistory->back();
    else if (moves(key))
        move(key);
    else
        return false;
    return true;
}

bool ChartKeys::moves(const QKeyEvent *key) const
{
    if (key->modifiers() & kCommandModifiers)
        return false;
    switch (key->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_PageUp: case Qt::Key_PageDown:
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Plus: case Qt::Key_Minus: case Qt::Key_Home:
        return true;
    default:
        return false;
    }
}

void ChartKeys::move(const QKeyEvent *key)
{
    // The first press of a run first keeps what an earlier gesture left pending.
    if (!key->isAutoRepeat())
        mHistory->settle();
    // The factor of one notch of the mouse wheel, so a key zooms exactly as the wheel does.
    const double notch = mPlot->axisRect()->rangeZoomFactor(Qt::Horizontal);
    switch (key->key()) {
    case Qt::Key_Left: pan(mPlot->xAxis, -kStep); break;
    case Qt::Key_Right: pan(mPlot->xAxis, kStep); break;
    case Qt::Key_PageUp: pan(mPlot->xAxis, -1); break;
    case Qt::Key_PageDown: pan(mPlot->xAxis, 1); break;
    case Qt::Key_Up: pan(mPlot->yAxis, kStep); break;
    case Qt::Key_Down: pan(mPlot->yAxis, -kStep); break;
    case Qt::Key_Plus: zoomTime(notch); break;
    case Qt::Key_Minus: zoomTime(1 / notch); break;
    case Qt::Key_Home: mControls->resetView(); break;
    default: break;
    }
}

// Queued, so that a held key's repeats that arrive during a redraw make one redraw, not many.
void ChartKeys::pan(QCPAxis *axis, double spans)
{
    axis->moveRange(spans * axis->range().size());
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}

void ChartKeys::zoomTime(double factor)
{
    mPlot->xAxis->scaleRange(factor, mPlot->xAxis->range().center());
    mPlot->replot(QCustomPlot::rpQueuedReplot);
}
