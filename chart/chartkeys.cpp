#include "chart/chartkeys.h"

#include "chart/chartcontrols.h"

#include <qcustomplot.h>

#include <QKeyEvent>

namespace {

const double kStep = 0.1;
// Shortcuts with Ctrl, Alt or Meta belong to the window, not to the chart.
const Qt::KeyboardModifiers kCommandModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

} // namespace

// Keys the chart does not take travel on from the focus widget to the window, where they are
// seen; the window is the chart itself when it stands alone.
ChartKeys::ChartKeys(QCustomPlot *plot, ChartControls *controls)
    : QObject(plot)
    , mPlot(plot)
    , mControls(controls)
{
    plot->window()->installEventFilter(this);
}

bool ChartKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && act(static_cast<QKeyEvent *>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

bool ChartKeys::act(const QKeyEvent *key)
{
    if (key->modifiers() & kCommandModifiers)
        return false;
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
    default: return false;
    }
    return true;
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
