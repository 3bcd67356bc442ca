#include "mainwindow.h"
#include "aboutdialog.h"
#include "ui_mainwindow.h"

#include "chartcontrols.h"
#include "chartexport.h"
#include "chartreadout.h"
#include "envelopegraph.h"
#include "logdecoder.h"

#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPen>
#include <QSharedPointer>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <limits>

const QString appVersion = QStringLiteral("V 1.0.2");

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

// Opens the file at path for reading if it is a regular file at the moment it is opened. A FIFO
// that took a file's place after it was looked at would block in a plain open for ever. Reads
// block as usual again, so a slow file system is waited for rather than taken as failing.
bool openRegularFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)
        || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

bool keyLess(const QCPGraphData &a, const QCPGraphData &b)
{
    return a.key < b.key;
}

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

// The points of one load, channel by channel in read order, before they go to the graphs. The
// channels are sized for every record expected at the start, so that decoding writes each
// point in place instead of appending it.
struct MainWindow::LoadedPoints {
    QVector<QCPGraphData> channels[LogDecoder::kChannelCount];
    bool ascending = true; // equal keys count as ascending
    double lastKey = -std::numeric_limits<double>::infinity();

    qint64 count() const { return mCount; }

    void allocate(qint64 records)
    {
        for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
            // Filled by copies of one point: resizing would call the library's constructor
            // for every point.
            channels[channel] = QVector<QCPGraphData>(int(records), QCPGraphData());
            mNext[channel] = channels[channel].data();
        }
        mCapacity = records;
    }

    void append(const LogDecoder::LogRecord &record)
    {
        // Reads stop at the sizes taken when the places were made; this only guards them.
        if (mCount == mCapacity)
            return;
        ascending = ascending && record.key >= lastKey;
        lastKey = record.key;
        for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
            QCPGraphData &point = mNext[channel][mCount];
            point.key = record.key;
            point.value = record.values[channel];
        }
        ++mCount;
    }

    // Gives back the places of records that were expected but not read.
    void trim()
    {
        if (mCount == mCapacity)
            return;
        for (QVector<QCPGraphData> &channel : channels) {
            channel.resize(int(mCount));
            channel.squeeze();
        }
    }

private:
    QCPGraphData *mNext[LogDecoder::kChannelCount] = {};
    qint64 mCount = 0;
    qint64 mCapacity = 0;
};

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , mRecordLimit(kDefaultRecordLimit)
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
    QFileDialog dialog(nullptr, QString(), QString(), QString());
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
    const QString notSaved = tr("Nicht gespeichert: ");
    if (!saved)
        statusBar()->showMessage(notSaved + QFileInfo(fileName).fileName());
    else if (statusBar()->currentMessage().startsWith(notSaved))
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

void MainWindow::loadLogFiles(const QStringList &fileNames)
{
    // Let go of the old points before the new ones take their memory: clearing alone would keep
    // the old storage allocated.
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel)
        ui->customPlot->graph(channel)->data()->set(QVector<QCPGraphData>());
    mStartTime = 0.0;
    mEndTime = 0.0;

    // Sizes are taken once, here: a file that grows while it is read is read up to this size.
    QVector<QFileInfo> files;
    qint64 expected = 0;
    for (const QString &fileName : fileNames) {
        files.append(QFileInfo(fileName));
        if (files.last().isFile())
            expected += LogDecoder::recordCount(files.last().size());
    }

    LoadedPoints points;
    QString failure = tr("Nicht lesbar: ");
    QStringList failed;
    try {
        points.allocate(qMin(expected, mRecordLimit));
        for (const QFileInfo &file : qAsConst(files)) {
            if (!readLogFile(file, points))
                failed.append(file.fileName());
        }
    } catch (const std::bad_alloc &) {
        // More records than this machine's memory holds: say so rather than end the program.
        points = LoadedPoints();
        failure = tr("Zu groß für den Speicher: ");
        failed.clear();
        for (const QFileInfo &file : qAsConst(files))
            failed.append(file.fileName());
    }
    points.trim();
    showPoints(points);

    ui->customPlot->xAxis->setRange(mStartTime, mEndTime);
    ui->customPlot->yAxis->setRange(kTemperatureLower, kTemperatureUpper);
    if (failed.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(failure + failed.join(QStringLiteral(", ")));
    ui->customPlot->replot();
    chartReloaded();
}

// Appends the file's whole records to points; false when the file was not read to its end.
bool MainWindow::readLogFile(const QFileInfo &file, LoadedPoints &points) const
{
    // Anything but a regular file may block in open or never end.
    if (!file.isFile())
        return false;
    QFile log;
    if (!openRegularFile(log, file.filePath()))
        return false;
    const qint64 inFile = LogDecoder::recordCount(file.size());
    if (inFile == 0)
        return true;
    if (!log.seek(LogDecoder::kHeaderSize))
        return false;
    const qint64 wanted = qMin(inFile, mRecordLimit - points.count());
    const qint64 read = LogDecoder::readRecords(
        log, wanted, [&points](const LogDecoder::LogRecord &record) { points.append(record); },
        [this] {
            if (mBlockReadHook)
                mBlockReadHook();
        });
    return read == inFile;
}

// Hands the points to the graphs and fits the time span to the first and last record read.
void MainWindow::showPoints(LoadedPoints &points)
{
    if (points.count() > 0) {
        mStartTime = points.channels[0].first().key;
        mEndTime = points.channels[0].last().key;
    }
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        QVector<QCPGraphData> &data = points.channels[channel];
        // A stable sort keeps points of equal keys in read order.
        if (!points.ascending)
            std::stable_sort(data.begin(), data.end(), keyLess);
        qobject_cast<EnvelopeGraph *>(ui->customPlot->graph(channel))->setPoints(data, true);
        data = QVector<QCPGraphData>();
    }
}

// The read-out, the way back to the whole view, channels on and off, the chart's context menu,
// drops and the Open shortcut.
void MainWindow::setupChartReading()
{
    ui->action_ffnen->setShortcut(QKeySequence::Open);
    setAcceptDrops(true);
    mChartMenu = new QMenu(this);
    mChartMenu->setObjectName(QStringLiteral("chartMenu"));
    mChartMenu->addAction(ui->actionResetView);
    mChartMenu->addAction(ui->actionSaveImage);
    mChartMenu->addAction(ui->actionExportData);
    mChartControls = new ChartControls(ui->customPlot, mChartMenu);
    connect(ui->actionResetView, &QAction::triggered, mChartControls, &ChartControls::resetView);
    mReadout = new ChartReadout(ui->customPlot);
}

// A new load is the new home view, and the read-out of the old points goes.
void MainWindow::chartReloaded()
{
    mChartControls->rememberHomeView();
    mReadout->clear();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!localFiles(event->mimeData()).isEmpty() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Loaded once the drop is over, so the program the files came from is not kept waiting.
    QTimer::singleShot(0, this, [this, files]() { loadLogFiles(files); });
}
