// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartcontrols.h"

#include "graph/envelopegraph.h"

#include <QMenu>

namespace {

const QColor kHiddenChannelText(160, 160, 160);

} // namespace

ChartControls::ChartControls(QCustomPlot *plot, QMenu *contextMenu)
    : QObject(plot)
    , mPlot(plot)
    , mContextMenu(contextMenu)
{
    rememberHomeView();
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QCustomPlot::customContextMenuRequested, this, &ChartControls::showContextMenu);
    connect(plot, &QCustomPlot::mouseDoubleClick, this, &ChartControls::resetOnDoubleClick);
    connect(plot, &QCustomPlot::legendClick, this, &ChartControls::toggleChannel);
    // A quick second click on an entry arrives as a double-click: it toggles again, as two
    // slower clicks would.
    connect(plot, &QCustomPlot::legendDoubleClick, this, &ChartControls::toggleChannel);
    plot->installEventFilter(this);
}

bool ChartControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != mPlot || event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    EnvelopeGraph::dispatchWheel(mPlot, event);
    return true;
}

void ChartControls::rememberHomeView()
{
    mHomeKeys = mPlot->xAxis->range();
    mHomeValues = mPlot->yAxis->range();
}

// A single record leaves the span as it was, as a load leaves the axis.
void ChartControls::reachHomeView(const QCPRange &recordKeys)
{
    if (recordKeys.lower < recordKeys.upper)
        mHomeKeys = recordKeys;
}

void ChartControls::resetView()
{
    mPlot->xAxis->setRange(mHomeKeys);
    mPlot->yAxis->setRange(mHomeValues);
    mPlot->replot();
    emit viewReset();
}

// The legend sits inside the plot area; double-clicks on it belong to its entries.
bool ChartControls::inPlotArea(const QPoint &pos) const
{
    const bool onLegend = mPlot->legend->visible() && mPlot->legend->outerRect().contains(pos);
    return mPlot->axisRect()->rect().contains(pos) && !onLegend;
}

void ChartControls::resetOnDoubleClick(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && inPlotArea(event->pos()))
        resetView();
}

void ChartControls::showContextMenu(const QPoint &pos)
{
    if (mPlot->axisRect()->rect().contains(pos))
        mContextMenu->popup(mPlot->mapToGlobal(pos));
}

// A hidden graph is neither drawn nor selectable; its entry stays, greyed.
void ChartControls::toggleChannel(QCPLegend *legend, QCPAbstractLegendItem *item)
{
    auto *entry = qobject_cast<QCPPlottableLegendItem *>(item);
    if (!entry)
        return;
    QCPAbstractPlottable *graph = entry->plottable();
    showChannel(legend, entry, !graph->visible());
    mPlot->replot();
}

void ChartControls::setChannelShown(int graph, bool shown)
{
    QCPAbstractPlottable *plottable = mPlot->graph(graph);
    showChannel(mPlot->legend, mPlot->legend->itemWithPlottable(plottable), shown);
}

void ChartControls::showChannel(QCPLegend *legend, QCPPlottableLegendItem *entry, bool shown)
{
    QCPAbstractPlottable *graph = entry->plottable();
    graph->setVisible(shown);
    if (!shown)
        graph->setSelection(QCPDataSelection());
    entry->setTextColor(shown ? legend->textColor() : kHiddenChannelText);
}
