// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"
#include "aboutdialog.h"
#include "ui_mainwindow.h"

#include "chart/chartcomparison.h"
#include "chart/chartcontrols.h"
#include "chart/chartexport.h"
#include "chart/chartkeys.h"
#include "chart/chartmarkers.h"
#include "chart/chartreadout.h"
#include "chart/dailyvaluesdialog.h"
#include "chart/overviewstrip.h"
#include "chart/statisticsdialog.h"
#include "chart/timerangedialog.h"
#include "chart/viewhistory.h"
#include "window/following.h"
#include "graph/envelopegraph.h"
#include "window/loadprogress.h"
#include "logs/logdecoder.h"
#include "logs/logfolder.h"
#include "logs/memorybudget.h"
#include "logs/usersettings.h"
#include "window/statuswords.h"

#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPen>
#include <QScopedValueRollback>
#include <QSharedPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <new>

const QString appVersion = QStringLiteral("V " VIEWER_VERSION);

namespace {

struct ChannelStyle {
    const char *name;
    QColor pen;
    QColor brush;
};

// Only the first channel has a pen of its own; the fills step from green to orange.
const ChannelStyle kChannels[] = {
    {"TSA1", QColor(100, 0, 255, 200), QColor(0, 160, 50, 150)},
    {"TSE", QColor(0, 0, 255, 200), QColor(63, 160, 50, 150)},
    {"TW", QColor(0, 0, 255, 200), QColor(127, 160, 50, 150)},
    {"TSV", QColor(0, 0, 255, 200), QColor(191, 160, 50, 150)},
    {"TAM", QColor(0, 0, 255, 200), QColor(255, 160, 50, 150)},
};

const QString kDateTimeFormat = QStringLiteral("dd.MM.yyyy\nhh:mm:ss");
const int kTickLabelPointSize = 8;
const double kTemperatureLower = -10;
const double kTemperatureUpper = 100;

// Five graphs of 16-byte points: 50 million records take 4 GB, from a log of about 2 GB.
const qint64 kDefaultRecordLimit = 50000000;
const qint64 kMachineBudget = -1;
// What a record takes in the chart: a point in each of the five graphs.
const qint64 kPointBytesPerRecord = LogDecoder::kChannelCount * qint64(sizeof(QCPGraphData));
const QString kOverviewSetting = QStringLiteral("overview");

// The local files among a drag's URLs, in its order; other URLs are passed over.
QStringList localFiles(const QMimeData *data)
{
    QStringList files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , mRecordLimit(kDefaultRecordLimit)
    , mMemoryBudget(kMachineBudget)
{
    ui->setupUi(this);
    connect(ui->action_ffnen, SIGNAL(triggered(bool)), this, SLOT(open()));
    // The one About dialog lives as a hidden child; "Über" only shows it again.
    auto *about = new AboutDialog(this, appVersion);
    connect(ui->action_ber, SIGNAL(triggered(bool)), about, SLOT(show()));
    connect(ui->actionSaveImage, &QAction::triggered, this, &MainWindow::saveImage);
    connect(ui->actionExportData, &QAction::triggered, this, &MainWindow::exportData);

    setWindowTitle(QStringLiteral("Velkarn Oriq II  (") + appVersion + QStringLiteral(")"));
    setGeometry(QRect(400, 250, 542, 390));
    statusBar()->clearMessage();
    setupDateDemo(ui->customPlot);
    setupChartReading();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::setupDateDemo(QCustomPlot *customPlot)
{
    QPen pen;
    customPlot->setLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
    mStartTime = 0.0;
    mEndTime = 0.0;

    for (const ChannelStyle &channel : kChannels) {
        // Our own graph class draws millions of points at the cost of the pixels they cover.
        QCPGraph *graph = new EnvelopeGraph(customPlot->xAxis, customPlot->yAxis);
        graph->setName(QString::fromLatin1(channel.name));
        pen.setColor(channel.pen);
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setPen(pen);
        graph->setBrush(QBrush(channel.brush, Qt::SolidPattern));
    }

    QSharedPointer<QCPAxisTickerDateTime> dateTicker(new QCPAxisTickerDateTime);
    dateTicker->setDateTimeFormat(kDateTimeFormat);
    customPlot->xAxis->setTicker(dateTicker);

    const QFont tickFont(QFont().family(), kTickLabelPointSize);
    customPlot->xAxis->setTickLabelFont(tickFont);
    customPlot->yAxis->setTickLabelFont(tickFont);

    customPlot->xAxis->setLabel(QStringLiteral("Date"));
    customPlot->yAxis->setLabel(QStringLiteral("°C"));

    // Equal bounds are ignored by the axis: the time axis keeps its initial range until a load.
    customPlot->xAxis->setRange(mStartTime, mEndTime);
    customPlot->yAxis->setRange(kTemperatureLower, kTemperatureUpper);

    customPlot->legend->setVisible(true);
    customPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
}

void MainWindow::open()
{
    if (mLoading)
        return;
    QFileDialog dialog(nullptr, QString(), LogFolder::last(), QString());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() == 0)
        return;
    loadLogFiles(dialog.selectedFiles());
}

void MainWindow::saveImage()
{
    const QString fileName = askSaveName({tr("PNG (*.png)"), tr("PDF (*.pdf)"), tr("JPEG (*.jpg *.jpeg)")},
                                         {QStringLiteral("png"), QStringLiteral("pdf"), QStringLiteral("jpg")});
    if (!fileName.isEmpty())
        reportIfNotSaved(ChartExport::savePicture(ui->customPlot, fileName), fileName);
}

void MainWindow::exportData()
{
    const QString fileName = askSaveName({tr("CSV (*.csv)")}, {QStringLiteral("csv")});
    if (!fileName.isEmpty())
        reportIfNotSaved(ChartExport::saveRecords(ui->customPlot, fileName), fileName);
}

// Asks for a file to write, confirming before an existing one is replaced; a name typed without
// a suffix gets that of the chosen filter. Empty when cancelled.
QString MainWindow::askSaveName(const QStringList &nameFilters, const QStringList &suffixes)
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(nameFilters);
    dialog.setDefaultSuffix(suffixes.first());
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString &filter) {
        dialog.setDefaultSuffix(suffixes.value(nameFilters.indexOf(filter), suffixes.first()));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

// A failure is named; a save that works takes back the word of an earlier one that failed and
// leaves any other message standing.
void MainWindow::reportIfNotSaved(bool saved, const QString &fileName)
{
    if (!saved)
        statusBar()->showMessage(StatusWords::notSaved(fileName));
    else if (StatusWords::isNotSaved(statusBar()->currentMessage()))
        statusBar()->clearMessage();
}

void MainWindow::setRecordLimit(qint64 records)
{
    mRecordLimit = records;
}

void MainWindow::setBlockReadHook(std::function<void()> hook)
{
    mBlockReadHook = std::move(hook);
}

void MainWindow::setOrderStepHook(std::function<void()> hook)
{
    mOrderStepHook = std::move(hook);
}

void MainWindow::setMemoryBudget(qint64 bytes)
{
    mMemoryBudget = bytes;
}

void MainWindow::setDrawnAfterLoad(bool drawn)
{
    mDrawnAfterLoad = drawn;
}

QString MainWindow::loadLogFiles(const QStringList &fileNames)
{
    // Events are handled while a load runs: a drop or a queued load must not start a second one
    // inside it.
    if (mLoading)
        return QString();
    const QScopedValueRollback<bool> loading(mLoading, true);
    mFollowing->loadStarts();
    if (mDailyValues)
        mDailyValues->loadStarts();

    // Let go of the old points before the new ones take their memory: clearing alone would keep
    // the old storage allocated.
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        ui->customPlot->graph(channel)->data()->set(QVector<QCPGraphData>());
    mStartTime = 0.0;
    mEndTime = 0.0;

    LogLoader loader(fileNames, mRecordLimit);
    ShownSummaries summaries;
    if (mDrawnAfterLoad) {
        // In large pages, as the points are: the load fills these on this thread, and their small
        // pages' faults took a quarter of a 10M open.
        for (MinMaxSummary &summary : summaries.channels)
            summary.reserve(int(loader.plannedRecords()), LogLoader::askForLargePages);
        loader.setWhileShowing(summarisingInto(summaries));
    }
    QString problems;
    {
        LoadProgress progress(this, [&loader] { loader.cancel(); });
        problems = readLogFiles(loader, progress);
        showPoints(loader, progress, summaries);
    }

    // The load is finished here: the axes are set, and the chart is drawn once.
    ui->customPlot->xAxis->setRange(mStartTime, mEndTime);
    ui->customPlot->yAxis->setRange(kTemperatureLower, kTemperatureUpper);
    if (problems.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(problems);
    if (mDrawnAfterLoad)
        ui->customPlot->replot();
    chartReloaded();
    LogFolder::remember(fileNames);
    mFollowing->loadEnded(fileNames, loader);
    return problems;
}

// The graphs' summaries built while a load writes the points, each stretch by the thread that
// wrote it while the points are in its caches.
LogLoader::WhileShowing MainWindow::summarisingInto(ShownSummaries &summaries)
{
    LogLoader::WhileShowing whileShowing;
    whileShowing.room = [&summaries](int channel, qint64 from, qint64 end) {
        summaries.channels[size_t(channel)].makeRoom(int(from), int(end));
    };
    whileShowing.written = [&summaries](int channel, const QCPGraphData *points, qint64 from, qint64 to) {
        if (summaries.channels[size_t(channel)].fill(points, int(from), int(to)))
            summaries.gaps[size_t(channel)] = true;
    };
    whileShowing.shown = [&summaries](int channel, const QCPGraphData *points, qint64 from, qint64 count) {
        const bool gaps = summaries.gaps[size_t(channel)].exchange(false);
        summaries.channels[size_t(channel)].extendFilled(points, int(from), int(count), gaps);
        summaries.counts[size_t(channel)] = count;
    };
    return whileShowing;
}

// Reads every file the loader was given; returns the words for the status bar, empty when
// every file was read to its end.
QString MainWindow::readLogFiles(LogLoader &loader, LoadProgress &progress)
{
    const QString tooLarge = StatusWords::tooLarge(loader.fileNames());
    const qint64 budget = mMemoryBudget < 0 ? MemoryBudget::available() : mMemoryBudget;
    if (!loader.fits(budget))
        return tooLarge;
    try {
        loader.reserve();
        for (int file = 0; file < loader.fileCount(); ++file)
            readLogFile(file, loader, progress);
        loader.finish([&] {
            if (mOrderStepHook)
                mOrderStepHook();
            progress.update(loader.shareDone());
        });
    } catch (const std::bad_alloc &) {
        // More records than this machine's memory holds: say so rather than end the program.
        loader.discard();
        return tooLarge;
    }
    QStringList unreadable;
    QStringList cancelled;
    for (int file = 0; file < loader.fileCount(); ++file) {
        const LogLoader::FileRead outcome = loader.outcome(file);
        if (outcome == LogLoader::FileRead::Failed)
            unreadable.append(loader.fileName(file));
        else if (outcome == LogLoader::FileRead::Cancelled)
            cancelled.append(loader.fileName(file));
    }
    QStringList problems;
    if (!unreadable.isEmpty())
        problems.append(StatusWords::unreadable(unreadable));
    if (!cancelled.isEmpty())
        problems.append(StatusWords::cancelled(cancelled));
    return problems.join(QStringLiteral("; "));
}

void MainWindow::readLogFile(int file, LogLoader &loader, LoadProgress &progress) const
{
    loader.readFile(file, [&] {
        if (mBlockReadHook)
            mBlockReadHook();
        progress.update(loader.shareDone());
    });
}

// Hands the points to the graphs and fits the time span to the first and last record read.
// The graphs take the summaries built while their points were written, where those reached the
// last point; else they summarise their points at once, side by side on the machine's cores, with
// the window's turn while they do, so that the first drawing does not do it for all five in one go.
void MainWindow::showPoints(LogLoader &loader, LoadProgress &progress, ShownSummaries &summaries)
{
    const bool summarised = std::all_of(summaries.counts.begin(), summaries.counts.end(),
                                        [&loader](qint64 count) { return count == loader.recordCount(); });
    if (loader.recordCount() > 0) {
        mStartTime = loader.firstKey();
        mEndTime = loader.lastKey();
    }
    QVector<EnvelopeGraph *> graphs;
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        auto *graph = qobject_cast<EnvelopeGraph *>(ui->customPlot->graph(channel));
        graph->setPoints(loader.takeChannel(channel), true);
        if (summarised)
            graph->adoptSummary(std::move(summaries.channels[size_t(channel)]));
        graphs.append(graph);
    }
    if (mDrawnAfterLoad && !summarised)
        EnvelopeGraph::summariseSideBySide(graphs, [&progress] { progress.update(1); });
    progress.update(1);
}

// The read-out, the way back to the whole view, channels on and off, the chart's context menu
// with the markers and the statistics, its keys, drops and the Open shortcut.
void MainWindow::setupChartReading()
{
    ui->action_ffnen->setShortcut(QKeySequence::Open);
    setAcceptDrops(true);
    auto *chartMenu = new QMenu(this);
    chartMenu->setObjectName(QStringLiteral("chartMenu"));
    chartMenu->addAction(ui->actionResetView);
    chartMenu->addActions({ui->actionViewBack, ui->actionViewForward, ui->actionTimeRange, ui->actionOverview});
    chartMenu->addMenu((new ChartComparison(ui->customPlot))->menu());
    chartMenu->addAction(ui->actionSaveImage);
    chartMenu->addAction(ui->actionExportData);
    mChartControls = new ChartControls(ui->customPlot, chartMenu);
    connect(ui->actionResetView, &QAction::triggered, mChartControls, &ChartControls::resetView);
    mHistory = new ViewHistory(ui->customPlot);
    connect(mChartControls, &ChartControls::viewReset, mHistory, &ViewHistory::settle);
    new ChartKeys(ui->customPlot, mChartControls, mHistory);
    setupViewFinding();
    mReadout = new ChartReadout(ui->customPlot);
    mMarkers = new ChartMarkers(ui->customPlot);
    chartMenu->addSeparator();
    chartMenu->addActions(mMarkers->menuActions());
    chartMenu->addSeparator();
    QAction *statistics = chartMenu->addAction(tr("Statistik..."));
    statistics->setObjectName(QStringLiteral("actionStatistics"));
    connect(statistics, &QAction::triggered, this, [this]() { StatisticsDialog(ui->customPlot, this).exec(); });
    mDailyValuesAction = chartMenu->addAction(tr("Tageswerte..."));
    mDailyValuesAction->setObjectName(QStringLiteral("actionDailyValues"));
    mDailyValuesAction->setEnabled(false);
    connect(mDailyValuesAction, &QAction::triggered, this, [this]() { dailyValues()->showOrRaise(); });
    setupFollowing(chartMenu);
}

// Following the last load's files; a file changed underneath is loaded again once the look
// that found it is over.
void MainWindow::setupFollowing(QMenu *chartMenu)
{
    mFollowing = new Following(
        ui->customPlot, mChartControls, statusBar(), [this]() { return recordsToAdd(); },
        [this](const QStringList &files) { QTimer::singleShot(0, this, [this, files]() { loadLogFiles(files); }); });
    chartMenu->insertAction(ui->actionSaveImage, mFollowing->action());
    connect(mFollowing, &Following::recordsAdded, mOverview, &OverviewStrip::refresh);
    connect(mFollowing, &Following::recordsAdded, this, [this](double fromKey) {
        mDailyValuesAction->setEnabled(true);
        if (mDailyValues)
            mDailyValues->recordsJoined(fromKey);
    });
}

// The one "Tageswerte" dialog, made when first asked for.
DailyValuesDialog *MainWindow::dailyValues()
{
    if (!mDailyValues) {
        mDailyValues = new DailyValuesDialog(ui->customPlot, mHistory, this);
        connect(mDailyValues, &DailyValuesDialog::saved, this, &MainWindow::reportIfNotSaved);
    }
    return mDailyValues;
}

// Records the chart may still take: within the record limit and the memory to be had, as a load
// weighs them. A budget set for loads counts the chart's records too.
qint64 MainWindow::recordsToAdd() const
{
    const qint64 shown = ui->customPlot->graph(0)->dataCount();
    const qint64 withinLimit = mRecordLimit - shown;
    if (mMemoryBudget >= 0)
        return qMin(withinLimit, mMemoryBudget / kPointBytesPerRecord - shown);
    const qint64 available = MemoryBudget::available();
    return available < 0 ? withinLimit : qMin(withinLimit, available / kPointBytesPerRecord);
}

// Back and forward through views, a time range by date, and the overview under the chart, shown
// as the user last left it. The keys the menu shows are the chart's keys; the actions do not
// take them themselves.
void MainWindow::setupViewFinding()
{
    ui->actionViewBack->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Backspace)});
    ui->actionViewForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    for (QAction *action : {ui->actionViewBack, ui->actionViewForward})
        action->setShortcutContext(Qt::WidgetShortcut);
    connect(ui->actionViewBack, &QAction::triggered, mHistory, &ViewHistory::back);
    connect(ui->actionViewForward, &QAction::triggered, mHistory, &ViewHistory::forward);
    connect(mHistory, &ViewHistory::changed, this, [this]() {
        ui->actionViewBack->setEnabled(mHistory->canGoBack());
        ui->actionViewForward->setEnabled(mHistory->canGoForward());
    });
    mHistory->restart(); // the entries start disabled
    connect(ui->actionTimeRange, &QAction::triggered, this, [this]() {
        if (TimeRangeDialog::changeTimeRange(ui->customPlot, mChartControls->homeKeys(), this))
            mHistory->settle();
    });
    mOverview = new OverviewStrip(ui->customPlot, mChartControls, mHistory, ui->centralWidget);
    ui->verticalLayout->addWidget(mOverview);
    const bool overview = UserSettings::flag(kOverviewSetting);
    ui->actionOverview->setChecked(overview);
    mOverview->setVisible(overview);
    connect(ui->actionOverview, &QAction::toggled, this, [this](bool on) {
        mOverview->setVisible(on);
        UserSettings::setFlag(kOverviewSetting, on);
    });
}

// A new load is the new home view and starts a new history; the read-out and markers of the old
// points go.
void MainWindow::chartReloaded()
{
    mChartControls->rememberHomeView();
    mHistory->restart();
    mOverview->refresh();
    mReadout->clear();
    mMarkers->clear();
    mDailyValuesAction->setEnabled(ui->customPlot->graph(0)->dataCount() > 0);
    if (mDailyValues)
        mDailyValues->loadEnded();
}

// While a load runs, a drop is not taken: it would be refused when its turn came.
void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!mLoading && !localFiles(event->mimeData()).isEmpty() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList files = localFiles(event->mimeData());
    if (mLoading || files.isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Loaded once the drop is over, so the program the files came from is not kept waiting.
    QTimer::singleShot(0, this, [this, files]() { loadLogFiles(files); });
}
