#include "chart/chartoverlay.h"

ChartOverlay::ChartOverlay(QCustomPlot *plot, const QString &layerName, QCPLayer *below)
    : QCPLayerable(plot)
{
    if (!plot->layer(layerName))
        plot->addLayer(layerName, below, below ? QCustomPlot::limBelow : QCustomPlot::limAbove);
    plot->layer(layerName)->setMode(QCPLayer::lmBuffered);
    setLayer(layerName);
}

// A chart being destroyed has taken its layers away already but may still send a last event.
void ChartOverlay::redraw()
{
    if (QCPLayer *own = layer())
        own->replot();
}

QRect ChartOverlay::clipRect() const
{
    return mParentPlot->axisRect()->rect();
}

void ChartOverlay::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, mAntialiased, QCP::aeOther);
}
