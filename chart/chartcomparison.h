// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTCOMPARISON_H
#define CHARTCOMPARISON_H

#include <qcustomplot.h>

#include <QStaticText>
#include <QString>

class QMenu;

// An earlier period drawn over the chart: each visible envelope graph's records moved forward by
// the period as a thin dashed line in a darker shade of its channel's colour, over all graphs and
// fills, and a caption under the legend saying what the dashes are. With no period chosen it
// draws nothing at all.
class ChartComparison : public QCPLayerable
{
    Q_OBJECT

public:
    enum class Period { None, Day, Week, Year };

    // The period a word names, as the menu writes it, in any case ("vortag"); None for any other.
    static Period periodNamed(const QString &word);
    // "Vortag", "Vorwoche", "Vorjahr"; empty for None.
    static QString nameOf(Period period);
    // Seconds by which the period's records move forward to lie over a view whose time axis starts
    // at lowerKey (seconds since 1970 UTC): a day, a week, or from the same local date and time a
    // calendar year before (29 February: the 28th) to that bound.
    static double shiftFor(Period period, double lowerKey);
    // The chart's comparison, if it has one.
    static ChartComparison *of(const QCustomPlot *plot);

    // On the graphs' layer, after them; the chart owns it.
    explicit ChartComparison(QCustomPlot *plot);

    // "Vergleichen mit": one checkable entry a period, "Nichts" checked; choosing one redraws.
    QMenu *menu() const { return mMenu; }
    void setPeriod(Period period);
    Period period() const { return mPeriod; }
    // The shift for the present time range; 0 with no period.
    double shift() const { return mShift; }

protected:
    QRect clipRect() const override;
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    void makeMenu();
    void updateShift();
    QRectF captionRect(const QSizeF &text) const;

    QMenu *mMenu = nullptr;
    Period mPeriod = Period::None;
    double mShift = 0;
    // The caption laid out once for its words and font, not again for every redraw.
    QStaticText mCaption;
    QFont mCaptionFont;
    QSizeF mCaptionSize;
};

#endif // CHARTCOMPARISON_H
