// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTOVERLAY_H
#define CHARTOVERLAY_H

#include <qcustomplot.h>

#include <QRect>
#include <QString>

// Something drawn over the plot area on a buffered layer of its own, so that drawing it again
// never redraws the graphs; clipped to the plot area.
class ChartOverlay : public QCPLayerable
{
    Q_OBJECT

protected:
    // Puts itself on the chart, which owns it, on the layer of that name, made just below the
    // layer below (when there is one) or just above the chart's current layer.
    ChartOverlay(QCustomPlot *plot, const QString &layerName, QCPLayer *below = nullptr);

    // Only the overlay's layer is drawn again, and of it only where the overlay was and is now:
    // on a large screen a whole layer costs milliseconds to clear and every layer as much to
    // compose again.
    void redraw();

    // The pixels the overlay covers now; the whole plot area unless it knows better.
    virtual QRect shownArea() const;
    virtual void drawOverlay(QCPPainter *painter) = 0;

    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;

private:
    void draw(QCPPainter *painter) final;

    QRect mDrawnArea; // where the overlay was last drawn, by whichever replot
};

#endif // CHARTOVERLAY_H
