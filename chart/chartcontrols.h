// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTCONTROLS_H
#define CHARTCONTROLS_H

#include <qcustomplot.h>

#include <QObject>

class QMenu;

// What the mouse does on the chart besides the library's drag, zoom and select: a double-click
// in the plot area, or the context menu that a right-click there opens, returns both axes to the
// home view (their ranges right after the last load); a click on a channel's legend entry hides
// its graph or shows it again.
class ChartControls : public QObject
{
    Q_OBJECT

public:
    // The chart's present ranges are the home view until the next rememberHomeView().
    ChartControls(QCustomPlot *plot, QMenu *contextMenu);

    void rememberHomeView();
    // As clicks on the graph's legend entry leave it.
    void setChannelShown(int graph, bool shown);
    // Records were added: the home view's time axis spans them all, from the first to the last.
    void reachHomeView(const QCPRange &recordKeys);
    QCPRange homeKeys() const { return mHomeKeys; }
    QCPRange homeValues() const { return mHomeValues; }

    bool eventFilter(QObject *watched, QEvent *event) override;

public slots:
    void resetView();

signals:
    // The chart went back to the home view; a new view for the history.
    void viewReset();

private:
    bool inPlotArea(const QPoint &pos) const;
    void resetOnDoubleClick(QMouseEvent *event);
    void showContextMenu(const QPoint &pos);
    void toggleChannel(QCPLegend *legend, QCPAbstractLegendItem *item);
    void showChannel(QCPLegend *legend, QCPPlottableLegendItem *entry, bool shown);

    QCustomPlot *mPlot;
    QMenu *mContextMenu;
    QCPRange mHomeKeys;
    QCPRange mHomeValues;
};

#endif // CHARTCONTROLS_H
