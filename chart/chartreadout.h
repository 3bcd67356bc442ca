// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTREADOUT_H
#define CHARTREADOUT_H

#include "chart/chartoverlay.h"
#include "chart/chartreading.h"

#include <qcustomplot.h>

#include <QPoint>
#include <QRectF>
#include <QString>
#include <QVector>

// The values under the mouse: while the mouse is over the plot area, a thin vertical line at the
// time of the record in effect there (the last one at or before the mouse's time; a reading holds
// until the next) and a box beside it with that record's time and the values of the visible
// graphs, each followed by the earlier period's value when the chart compares with one. It draws
// on a buffered layer of its own, so a mouse move redraws it alone, never the graphs. Pressing a
// button, leaving the chart or clear() takes it away.
class ChartReadout : public ChartOverlay
{
    Q_OBJECT

public:
    static const QString kLayerName;

    // Puts itself on the chart, which owns it, on a layer of its own above all others.
    explicit ChartReadout(QCustomPlot *plot);

    // Takes line and box away until the mouse moves over the plot area again.
    void clear();

    // The box's lines as shown, time first; empty when nothing is shown.
    QStringList text() const;
    // Where the box is drawn, in the chart's pixels; empty when nothing is shown.
    QRectF boxRect() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    QRect shownArea() const override;
    void drawOverlay(QCPPainter *painter) override;

private:
    struct Reading {
        double key = 0;
        QVector<ChartReading::BoxLine> lines; // empty when no record is in effect
    };

    static QString earlierValueText(const QString &period, const QCPGraphData *earlier);
    void showAt(const QPoint &pos);
    Reading reading() const;
    QRectF boxFor(const Reading &reading) const;

    QPoint mMouse;
    bool mShown = false;
};

#endif // CHARTREADOUT_H
