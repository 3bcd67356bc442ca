// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTMARKERS_H
#define CHARTMARKERS_H

#include "chart/chartoverlay.h"
#include "chart/chartreading.h"

#include <qcustomplot.h>

#include <QList>
#include <QRectF>
#include <QStringList>

class QAction;

// Two markers, A and B, each a dashed line at the time of a record with its letter at the top;
// with both set, a box in the plot area's top left corner gives their times, the time between
// them and each visible channel's change from A to B. Markers are set at the record in effect
// where the chart's context menu was asked for. They draw on a buffered layer of their own below
// the read-out's, so setting one redraws that layer alone, never the graphs.
class ChartMarkers : public ChartOverlay
{
    Q_OBJECT

public:
    static const QString kLayerName;

    // Puts itself on the chart, which owns it, on a layer of its own just below the read-out's
    // (made before it) or above the graphs.
    explicit ChartMarkers(QCustomPlot *plot);

    // "Marke A hier setzen", "Marke B hier setzen" and "Marken entfernen", for the context menu.
    QList<QAction *> menuActions() const;
    // Removes both markers.
    void clear();

    // The box's lines as shown; empty unless both markers are set.
    QStringList text() const;
    // Where the box is drawn, in the chart's pixels; empty unless both markers are set.
    QRectF boxRect() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void drawOverlay(QCPPainter *painter) override;

private:
    enum Marker { A, B, kMarkers };

    void noteMenuRequest(const QPoint &pos);
    void set(Marker marker);
    void markersChanged();
    QVector<ChartReading::BoxLine> boxLines() const;
    QRectF boxFor(const QVector<ChartReading::BoxLine> &lines) const;
    void drawMarker(QCPPainter *painter, Marker marker, const QRectF &box) const;

    // The record keys of the markers, and whether each is set.
    double mKeys[kMarkers] = {};
    bool mSet[kMarkers] = {};
    // The record in effect where the context menu was last asked for, if any.
    double mMenuRecordKey = 0;
    bool mMenuOnRecord = false;
    QAction *mSetActions[kMarkers];
    QAction *mRemoveAction;
};

#endif // CHARTMARKERS_H
