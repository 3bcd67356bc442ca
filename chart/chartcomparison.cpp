// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartcomparison.h"

#include "graph/envelopegraph.h"

#include <QActionGroup>
#include <QDateTime>
#include <QFontMetricsF>
#include <QMenu>

#include <cmath>

namespace {

const double kDaySeconds = 86400;
const double kWeekSeconds = 7 * kDaySeconds;
// A lower bound beyond any date: the year taken as 365 days.
const double kYearSeconds = 365 * kDaySeconds;
const double kLatestDatedKey = 1e14;
// The earlier period's line: the channel's colour this much darker, dashed.
const int kDarkerBy = 160;
const QColor kCaptionColour(60, 60, 60);
// Over the lines it may lie on, as the read-out's box.
const QColor kCaptionBackground(255, 255, 255, 230);
const double kCaptionGap = 4;
const double kCaptionPadding = 2;

struct PeriodEntry {
    ChartComparison::Period period;
    const char *name;       // as the menu writes it
    const char *objectName; // of its menu entry
};

const PeriodEntry kPeriods[] = {
    {ChartComparison::Period::None, "Nichts", "actionCompareNone"},
    {ChartComparison::Period::Day, "Vortag", "actionCompareDay"},
    {ChartComparison::Period::Week, "Vorwoche", "actionCompareWeek"},
    {ChartComparison::Period::Year, "Vorjahr", "actionCompareYear"},
};

QPen comparisonPen(const QCPGraph *graph)
{
    QColor colour = graph->brush().style() == Qt::NoBrush ? graph->pen().color() : graph->brush().color();
    colour.setAlpha(255);
    return QPen(colour.darker(kDarkerBy), graph->pen().widthF(), Qt::DashLine);
}

} // namespace

ChartComparison::Period ChartComparison::periodNamed(const QString &word)
{
    for (const PeriodEntry &entry : kPeriods) {
        if (entry.period != Period::None && word.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.period;
    }
    return Period::None;
}

QString ChartComparison::nameOf(Period period)
{
    for (const PeriodEntry &entry : kPeriods) {
        if (entry.period == period && period != Period::None)
            return QString::fromUtf8(entry.name);
    }
    return QString();
}

double ChartComparison::shiftFor(Period period, double lowerKey)
{
    switch (period) {
    case Period::None:
        return 0;
    case Period::Day:
        return kDaySeconds;
    case Period::Week:
        return kWeekSeconds;
    case Period::Year:
        break;
    }
    if (!(std::abs(lowerKey) < kLatestDatedKey))
        return kYearSeconds;
    // Whole milliseconds, as local times hold them; the bound's fraction below cancels out.
    const qint64 bound = qint64(std::floor(lowerKey * 1000));
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(bound, Qt::LocalTime);
    const QDateTime yearBefore(local.date().addYears(-1), local.time(), Qt::LocalTime);
    if (!yearBefore.isValid())
        return kYearSeconds;
    return (bound - yearBefore.toMSecsSinceEpoch()) / 1000.0;
}

ChartComparison *ChartComparison::of(const QCustomPlot *plot)
{
    return plot->findChild<ChartComparison *>(QString(), Qt::FindDirectChildrenOnly);
}

ChartComparison::ChartComparison(QCustomPlot *plot)
    : QCPLayerable(plot, plot->graphCount() > 0 ? plot->graph(0)->layer()->name() : QString())
{
    setVisible(false);
    makeMenu();
    connect(plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this, &ChartComparison::updateShift);
}

void ChartComparison::makeMenu()
{
    mMenu = new QMenu(tr("Vergleichen mit"), mParentPlot);
    mMenu->setObjectName(QStringLiteral("menuCompare"));
    auto *group = new QActionGroup(mMenu);
    for (const PeriodEntry &entry : kPeriods) {
        QAction *action = mMenu->addAction(QString::fromUtf8(entry.name));
        action->setObjectName(QLatin1String(entry.objectName));
        action->setCheckable(true);
        action->setChecked(entry.period == mPeriod);
        group->addAction(action);
        const Period period = entry.period;
        connect(action, &QAction::triggered, this, [this, period]() {
            setPeriod(period);
            mParentPlot->replot();
        });
    }
}

void ChartComparison::setPeriod(Period period)
{
    mPeriod = period;
    setVisible(period != Period::None);
    for (QAction *action : mMenu->actions())
        action->setChecked(action->objectName() == QLatin1String(kPeriods[int(period)].objectName));
    updateShift();
}

// Each graph compares with the period taken from the present time range, or with none.
void ChartComparison::updateShift()
{
    mShift = shiftFor(mPeriod, mParentPlot->xAxis->range().lower);
    for (int i = 0; i < mParentPlot->graphCount(); ++i) {
        auto *graph = qobject_cast<EnvelopeGraph *>(mParentPlot->graph(i));
        if (!graph)
            continue;
        if (mPeriod == Period::None)
            graph->removeComparison();
        else
            graph->setComparison(mShift, comparisonPen(graph));
    }
}

QRect ChartComparison::clipRect() const
{
    return mParentPlot->axisRect()->rect();
}

void ChartComparison::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, mAntialiased, QCP::aeOther);
}

// Below the legend, its right edge on the legend's; in the plot area's top right corner without
// a legend.
QRectF ChartComparison::captionRect(const QSizeF &text) const
{
    const QRectF area = mParentPlot->axisRect()->rect();
    const QCPLegend *legend = mParentPlot->legend;
    const bool belowLegend = legend && legend->visible();
    const double right = belowLegend ? legend->outerRect().right() : area.right() - kCaptionGap;
    const double top = (belowLegend ? legend->outerRect().bottom() : area.top()) + kCaptionGap;
    const double width = text.width() + 2 * kCaptionPadding;
    return QRectF(right - width, top, width, text.height() + 2 * kCaptionPadding);
}

// The lines over every graph, then the caption.
void ChartComparison::draw(QCPPainter *painter)
{
    EnvelopeGraph::drawComparisons(painter, mParentPlot);
    const QString caption = QStringLiteral("gestrichelt: ") + nameOf(mPeriod);
    const QFont font = mParentPlot->legend ? mParentPlot->legend->font() : mParentPlot->font();
    if (mCaption.text() != caption || mCaptionFont != font) {
        const QFontMetricsF metrics(font);
        mCaption = QStaticText(caption);
        mCaption.setTextFormat(Qt::PlainText);
        mCaptionFont = font;
        mCaptionSize = QSizeF(metrics.horizontalAdvance(caption), metrics.height());
    }
    const QRectF box = captionRect(mCaptionSize);
    painter->fillRect(box, kCaptionBackground);
    painter->setFont(font);
    painter->setPen(kCaptionColour);
    painter->drawStaticText(box.topLeft() + QPointF(kCaptionPadding, kCaptionPadding), mCaption);
}
