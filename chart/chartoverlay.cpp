// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartoverlay.h"

#include <memory>

namespace {

// The layer's paint buffer, which QCPLayer keeps to itself: a pointer to the member named through
// a class derived from it is the one way to reach it.
struct LayerPaintBuffer : QCPLayer {
    static QSharedPointer<QCPAbstractPaintBuffer> of(QCPLayer *layer)
    {
        return (layer->*(&LayerPaintBuffer::mPaintBuffer)).toStrongRef();
    }
};

} // namespace

ChartOverlay::ChartOverlay(QCustomPlot *plot, const QString &layerName, QCPLayer *below)
    : QCPLayerable(plot)
{
    if (!plot->layer(layerName))
        plot->addLayer(layerName, below, below ? QCustomPlot::limBelow : QCustomPlot::limAbove);
    plot->layer(layerName)->setMode(QCPLayer::lmBuffered);
    setLayer(layerName);
}

// A chart being destroyed has taken its layers away already but may still send a last event; a
// buffer made anew (after a resize) needs the whole chart drawn.
void ChartOverlay::redraw()
{
    QCPLayer *own = layer();
    if (!own)
        return;
    const QSharedPointer<QCPAbstractPaintBuffer> buffer = LayerPaintBuffer::of(own);
    if (!buffer || buffer->invalidated() || own->mode() != QCPLayer::lmBuffered) {
        own->replot();
        return;
    }
    const QRect dirty = mDrawnArea | shownArea();
    if (dirty.isEmpty())
        return;
    {
        const std::unique_ptr<QCPPainter> painter(buffer->startPainting());
        painter->setClipRect(dirty);
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->fillRect(dirty, Qt::transparent);
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        mDrawnArea = QRect();
        if (realVisibility()) {
            applyDefaultAntialiasingHint(painter.get());
            draw(painter.get());
        }
    }
    buffer->donePainting();
    mParentPlot->update(dirty);
}

QRect ChartOverlay::shownArea() const
{
    return clipRect();
}

void ChartOverlay::draw(QCPPainter *painter)
{
    mDrawnArea = shownArea();
    drawOverlay(painter);
}

QRect ChartOverlay::clipRect() const
{
    return mParentPlot->axisRect()->rect();
}

void ChartOverlay::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, mAntialiased, QCP::aeOther);
}
