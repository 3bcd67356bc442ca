// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/dailyvaluesdialog.h"

#include "chart/chartreading.h"
#include "chart/dailytablemodel.h"
#include "chart/viewhistory.h"
#include "logs/logfolder.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>
#include <qcustomplot.h>

namespace {

const QString kSaveName = QStringLiteral("tageswerte.csv");
// Dates on the axis and in the copied table's first line.
const QString kDateFormat = QStringLiteral("dd.MM.yyyy");
const QColor kMeanColour(30, 30, 30);
// How much darker the frame of a day the chart's time range touches is than its bar.
const int kTouchedDarker = 250;
// A bar's width, in days.
const double kBarWidth = 0.7;
const double kSecondsPerDay = 86400;
const int kChartHeight = 180;
const int kTickLabelPointSize = 8;
// Room above and below the bars, a share of their span.
const double kTemperatureMargin = 0.05;
const int kInitialHeight = 620;
// Of the screen's height, what the dialog takes at most at first, its frame outside.
const double kMostScreenShare = 0.9;
const int kCellPadding = 6;

// Date ticks a day apart at least: a bar is a day, and finer ticks would repeat its date.
class DayTicker : public QCPAxisTickerDateTime
{
protected:
    double getTickStep(const QCPRange &range) override
    {
        return qMax(kSecondsPerDay, QCPAxisTickerDateTime::getTickStep(range));
    }
};

// Thousands of days' outlines drawn a pixel wide, by the painter's quick path for thin lines; a
// wider pen is stroked as a shape, many times slower.
QPen thinPen(const QColor &colour)
{
    QPen pen(colour, 1);
    pen.setCosmetic(true);
    return pen;
}

} // namespace

DailyValuesDialog::DailyValuesDialog(QCustomPlot *plot, ViewHistory *history, QWidget *parent)
    : QDialog(parent)
    , mPlot(plot)
    , mHistory(history)
    , mModel(new DailyTableModel(mDays, this))
    , mChannel(new QComboBox(this))
    , mTable(new QTableView(this))
    , mChart(new QCustomPlot(this))
{
    setObjectName(QStringLiteral("dailyValuesDialog"));
    setWindowTitle(tr("Tageswerte"));
    setModal(false);

    mChannel->setObjectName(QStringLiteral("dailyChannel"));
    for (int graph = 0; graph < plot->graphCount(); ++graph)
        mChannel->addItem(plot->graph(graph)->name());
    connect(mChannel, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &DailyValuesDialog::showChannel);
    auto *chooser = new QHBoxLayout;
    chooser->addWidget(new QLabel(tr("Kanal"), this));
    chooser->addWidget(mChannel);
    chooser->addStretch();

    mTable->setObjectName(QStringLiteral("dailyTable"));
    mTable->setModel(mModel);
    mTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    mTable->verticalHeader()->hide();
    sizeColumns();
    connect(mTable, &QTableView::doubleClicked, this, [this](const QModelIndex &index) { openDay(index.row()); });

    setupChart();

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *copy = buttons->addButton(tr("Kopieren"), QDialogButtonBox::ActionRole);
    QPushButton *save = buttons->addButton(tr("Speichern..."), QDialogButtonBox::ActionRole);
    buttons->addButton(tr("Schließen"), QDialogButtonBox::RejectRole);
    connect(copy, &QPushButton::clicked, this, [this]() { QApplication::clipboard()->setText(copiedText()); });
    connect(save, &QPushButton::clicked, this, &DailyValuesDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(chooser);
    layout->addWidget(mTable, 1);
    layout->addWidget(mChart);
    layout->addWidget(buttons);
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    resize(sizeHint().width(), qMin(kInitialHeight, int(screen->availableGeometry().height() * kMostScreenShare)));

    connect(plot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
            &DailyValuesDialog::markTouchedDays);
    connect(history, &ViewHistory::changed, this, &DailyValuesDialog::bringTouchedIntoSight);
}

// From the widest cells in bold and one row's height, so that no row is made to measure them;
// the dialog as wide as the table.
void DailyValuesDialog::sizeColumns()
{
    QFont bold = mTable->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    mTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mTable->verticalHeader()->setDefaultSectionSize(metrics.height() + kCellPadding);
    mTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const QStringList widest = DailyTableModel::widestRow();
    const QStringList header = DailyTableModel::header();
    int width = 2 * mTable->frameWidth() + mTable->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < widest.size(); ++column) {
        const int text = qMax(metrics.horizontalAdvance(widest[column]), metrics.horizontalAdvance(header[column]));
        mTable->horizontalHeader()->resizeSection(column, text + 2 * kCellPadding);
        width += text + 2 * kCellPadding;
    }
    mTable->setMinimumWidth(width);
}

void DailyValuesDialog::setupChart()
{
    mChart->setObjectName(QStringLiteral("dailyChart"));
    // Nothing is drawn on the overlay: without a buffer of its own, the chart keeps one image less.
    mChart->layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    mChart->setMinimumHeight(kChartHeight);
    QSharedPointer<QCPAxisTickerDateTime> dates(new DayTicker);
    dates->setDateTimeFormat(kDateFormat);
    mChart->xAxis->setTicker(dates);
    const QFont tickFont(QFont().family(), kTickLabelPointSize);
    mChart->xAxis->setTickLabelFont(tickFont);
    mChart->yAxis->setTickLabelFont(tickFont);
    mChart->yAxis->setLabel(QStringLiteral("°C"));
    mChart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    mChart->axisRect()->setRangeDrag(Qt::Horizontal);
    mChart->axisRect()->setRangeZoom(Qt::Horizontal);

    mBars = new QCPFinancial(mChart->xAxis, mChart->yAxis);
    mMeans = new QCPFinancial(mChart->xAxis, mChart->yAxis);
    for (QCPFinancial *days : {mBars, mMeans}) {
        // Thousands of days in a few hundred pixels: drawn straight, not smoothed.
        days->setAntialiased(false);
        days->setWidthType(QCPFinancial::wtPlotCoords);
        days->setWidth(kBarWidth * kSecondsPerDay);
        days->setTwoColored(false);
        days->setChartStyle(QCPFinancial::csCandlestick);
    }
    mMeans->setChartStyle(QCPFinancial::csOhlc);
    mMeans->setPen(thinPen(kMeanColour));
    // The days the chart's time range touches are the bars' selection, drawn with a darker frame.
    mBars->setSelectable(QCP::stDataRange);
    connect(mChart, &QCustomPlot::plottableDoubleClick, this, [this](QCPAbstractPlottable *days, int index) {
        const auto *bars = static_cast<QCPFinancial *>(days);
        if (index >= 0 && index < bars->data()->size())
            openDay(mDays.dayOf(bars->data()->at(index)->key));
    });
}

void DailyValuesDialog::showOrRaise()
{
    if (!isVisible()) {
        {
            const QSignalBlocker quiet(mChannel);
            mChannel->setCurrentIndex(selectedChannel());
        }
        show();
        if (mStale)
            findDays();
        else
            showChannel();
    }
    raise();
    activateWindow();
}

void DailyValuesDialog::loadStarts()
{
    // The days point into the graphs' points, which the load is about to replace.
    mDays = DailyValues();
    mModel->showDays();
    mStale = true;
}

void DailyValuesDialog::loadEnded()
{
    if (isVisible())
        findDays();
}

void DailyValuesDialog::recordsJoined(double fromKey)
{
    if (!isVisible()) {
        mStale = true;
        return;
    }
    const QScrollBar *scroll = mTable->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    const int from = mDays.recordsJoined(channels(), mPlot->graph(0)->dataCount(), fromKey);
    mModel->daysChanged(from);
    drawBars(from);
    fitTemperatures();
    markTouchedDays();
    if (atEnd)
        mTable->scrollToBottom();
}

QVector<DailyValues::Channel> DailyValuesDialog::channels() const
{
    return DailyValues::channelsOf(mPlot);
}

int DailyValuesDialog::selectedChannel() const
{
    for (int graph = 0; graph < mPlot->graphCount(); ++graph) {
        if (mPlot->graph(graph)->selected())
            return graph;
    }
    return 0;
}

int DailyValuesDialog::channel() const
{
    return qMax(0, mChannel->currentIndex());
}

void DailyValuesDialog::findDays()
{
    mDays = DailyValues(channels(), 0, mPlot->graphCount() > 0 ? mPlot->graph(0)->dataCount() : 0);
    mStale = false;
    mModel->showDays();
    if (mDays.dayCount() > 0)
        mChart->xAxis->setRange(mDays.start(0), mDays.start(mDays.dayCount()));
    showChannel();
    bringTouchedIntoSight();
}

void DailyValuesDialog::showChannel()
{
    mModel->showChannel(channel());
    // The channel's fill colour, opaque.
    const QColor colour(mPlot->graph(channel())->brush().color().rgb());
    mBars->setBrush(colour);
    mBars->setPen(thinPen(colour));
    mBars->selectionDecorator()->setPen(thinPen(colour.darker(kTouchedDarker)));
    mBars->selectionDecorator()->setBrush(colour);
    drawBars(0);
    fitTemperatures();
    markTouchedDays();
}

// The bars and means of the days from fromDay on are drawn anew.
void DailyValuesDialog::drawBars(int fromDay)
{
    const double from = fromDay < mDays.dayCount() ? mDays.start(fromDay) : qInf();
    mBars->data()->removeAfter(from);
    mMeans->data()->removeAfter(from);
    QVector<QCPFinancialData> bars;
    QVector<QCPFinancialData> means;
    double start = from;
    for (int day = fromDay; day < mDays.dayCount(); ++day) {
        const double end = mDays.start(day + 1);
        if (const int count = mDays.records(day)) {
            const DailyValues::Values values = mDays.values(day, channel());
            const double middle = (start + end) / 2;
            const double mean = values.sum / count;
            bars.append(QCPFinancialData(middle, values.low, values.high, values.low, values.high));
            means.append(QCPFinancialData(middle, mean, mean, mean, mean));
        }
        start = end;
    }
    mBars->data()->add(bars, true);
    mMeans->data()->add(means, true);
    mChart->replot(QCustomPlot::rpQueuedReplot);
}

void DailyValuesDialog::fitTemperatures()
{
    bool found = false;
    const QCPRange values = mBars->getValueRange(found);
    if (!found)
        return;
    const double margin = qMax(1.0, values.size() * kTemperatureMargin);
    mChart->yAxis->setRange(values.lower - margin, values.upper + margin);
}

// Bold in the table and framed in the chart: the days that share more than an instant with the
// chart's time range.
void DailyValuesDialog::markTouchedDays()
{
    if (!isVisible() || mDays.dayCount() == 0)
        return;
    const QCPRange range = mPlot->xAxis->range();
    const int first = qMax(0, mDays.dayOf(range.lower));
    int last = qMin(mDays.dayCount() - 1, mDays.dayOf(range.upper));
    if (last > first && mDays.start(last) >= range.upper)
        --last;
    mModel->setTouched(first, last);
    const QCPFinancialDataContainer &bars = *mBars->data();
    const double from = first < mDays.dayCount() ? mDays.start(first) : qInf();
    const double to = last + 1 < mDays.dayCount() ? mDays.start(last + 1) : qInf();
    const int begin = int(bars.findBegin(from, false) - bars.constBegin());
    const int end = int(bars.findEnd(to, false) - bars.constBegin());
    mBars->setSelection(QCPDataSelection(QCPDataRange(begin, qMax(begin, end))));
    mChart->replot(QCustomPlot::rpQueuedReplot);
}

void DailyValuesDialog::bringTouchedIntoSight()
{
    if (isVisible() && mModel->firstTouched() < mModel->rowCount())
        mTable->scrollTo(mModel->index(mModel->firstTouched(), 0));
}

// The chart shows the day, midnight to midnight, the temperature axis as it was: one view of
// the history.
void DailyValuesDialog::openDay(int day)
{
    if (day < 0 || day >= mDays.dayCount())
        return;
    mHistory->settle();
    mPlot->xAxis->setRange(mDays.start(day), mDays.start(day + 1));
    mHistory->settle();
    mPlot->replot();
}

void DailyValuesDialog::save()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("CSV (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(LogFolder::last());
    dialog.selectFile(kSaveName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString fileName = dialog.selectedFiles().first();
    emit saved(mDays.saveCsv(fileName, ChartReading::channelNames(mPlot)), fileName);
}

QString DailyValuesDialog::copiedText() const
{
    QString text = tr("Tageswerte ") + mChannel->currentText();
    if (mDays.dayCount() > 0) {
        text += tr(", %1 bis %2")
                    .arg(mDays.date(0).toString(kDateFormat), mDays.date(mDays.dayCount() - 1).toString(kDateFormat));
    }
    text += QLatin1Char('\n') + DailyTableModel::header().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int day = 0; day < mDays.dayCount(); ++day)
        text += mModel->rowTexts(day).join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}
