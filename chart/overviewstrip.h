// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OVERVIEWSTRIP_H
#define OVERVIEWSTRIP_H

#include <qcustomplot.h>

#include <QImage>
#include <QVector>
#include <QWidget>

class ChartControls;
class ViewHistory;

// "Übersicht": a strip under the chart, aligned with its plot area, that shows the whole view's
// time range with each visible channel as its band of lowest to highest value per pixel column
// and a scale of dates, and the chart's time range as a window in it. Dragging the window or its
// edges, a click beside it, the wheel and a double-click move the chart; each is a view of the
// history. The bands are drawn once per load, hidden channel or size and kept, so that following
// the chart costs the window alone. It takes no keyboard focus: keys stay with the window.
class OverviewStrip : public QWidget
{
    Q_OBJECT

public:
    OverviewStrip(QCustomPlot *plot, ChartControls *controls, ViewHistory *history, QWidget *parent);

    // The graphs' points changed: the bands are drawn again at the next paint.
    void refresh();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // What the mouse holds of the window.
    enum class Grip { None, Window, Lower, Upper };
    // What the kept drawing was made of; another of these draws it again.
    struct Drawn {
        QSize size;
        qreal ratio = 0;
        QRect area;
        QCPRange keys;
        QCPRange values;
        QVector<bool> visible;
        bool operator==(const Drawn &other) const;
    };

    Drawn wanted() const;
    QRect bandArea() const;
    bool hasView() const;
    double xOf(double key) const;
    double keyAt(double x) const;
    Grip gripAt(double x) const;
    static Qt::CursorShape cursorOver(Grip grip);
    void setTimeRange(double lower, double upper);

    void drawKept(const Drawn &drawn);
    void drawBands(QPainter &painter, const Drawn &drawn) const;
    void drawScale(QPainter &painter, const Drawn &drawn) const;
    void drawWindow(QPainter &painter) const;

    QCustomPlot *mPlot;
    ChartControls *mControls;
    ViewHistory *mHistory;
    QImage mKept;
    Drawn mDrawn;
    Grip mGrip = Grip::None;
    // The key under the mouse less the time range's lower bound, while the window is dragged.
    double mGrabOffset = 0;
};

#endif // OVERVIEWSTRIP_H
