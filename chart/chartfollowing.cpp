// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartfollowing.h"

#include "chart/chartcontrols.h"
#include "graph/envelopegraph.h"

#include <algorithm>

namespace ChartFollowing {

namespace {

// The keys of the first and last point, a graph holding one point per record.
QCPRange recordKeys(const QCustomPlot *plot)
{
    const QSharedPointer<QCPGraphDataContainer> data = plot->graph(0)->data();
    return QCPRange(data->constBegin()->key, (data->constEnd() - 1)->key);
}

// A selected graph stays selected as a whole, its new points too.
void keepWholeSelection(QCPGraph *graph)
{
    if (!graph->selection().isEmpty())
        graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
}

} // namespace

void addRecords(QCustomPlot *plot, ChartControls *controls, QVector<LogDecoder::LogRecord> records)
{
    if (records.isEmpty() || plot->graphCount() < LogDecoder::kChannelCount)
        return;
    // As a load orders them: by key, records of equal keys in the order read.
    std::stable_sort(records.begin(), records.end(),
                     [](const LogDecoder::LogRecord &a, const LogDecoder::LogRecord &b) { return a.key < b.key; });
    const bool hadRecords = !plot->graph(0)->data()->isEmpty();
    const QCPRange before = hadRecords ? recordKeys(plot) : QCPRange(0, 0);
    const bool showedNewest = hadRecords && plot->xAxis->range().upper >= before.upper;

    QVector<QCPGraphData> points(records.size());
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        for (int i = 0; i < records.size(); ++i)
            points[i] = QCPGraphData(records[i].key, records[i].values[channel]);
        auto *graph = static_cast<EnvelopeGraph *>(plot->graph(channel));
        graph->addPoints(points);
        keepWholeSelection(graph);
    }

    const QCPRange keys = recordKeys(plot);
    controls->reachHomeView(keys);
    // A load of one record or none left the time axis as it was: the records are then shown
    // whole, as a load shows them.
    if (!hadRecords || before.lower == before.upper)
        plot->xAxis->setRange(keys);
    else if (showedNewest)
        plot->xAxis->moveRange(keys.upper - before.upper);
    plot->replot();
}

} // namespace ChartFollowing
