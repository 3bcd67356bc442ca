#ifndef CHARTOVERLAY_H
#define CHARTOVERLAY_H

#include <qcustomplot.h>

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

    // Only the overlay's layer is drawn again.
    void redraw();

    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
};

#endif // CHARTOVERLAY_H
