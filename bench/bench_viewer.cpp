// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and drawing big logs: the program's own path against the straightforward reference,
// side by side in one run on generated logs. Every case runs in a child process of its own, so
// that its peak memory is its own and one case's caches do not help the next.
//
//   bench_viewer [--records 100000,1000000,10000000 | --long-loads | --measuring 50000000 | --following |
//                 --daily-values]
//   bench_viewer --size 1920x1080 [--scale 2] [--records 1000000,10000000]
//   bench_viewer --views 1000000,10000000 [--size 1920x1080 [--scale 2]]
//   bench_viewer --comparison 1000000,10000000 [--size 1920x1080 [--scale 2]]
//   --threads N with any of the above: the threads the program draws (and loads) with, all
//   cores by default; the redraws are measured at one thread as well, side by side.
//   bench_viewer --command-line

#include "benchreport.h"
#include "commandlinebench.h"
#include "comparisonbench.h"
#include "csvbench.h"
#include "dailyvaluesbench.h"
#include "followbench.h"
#include "loggenerator.h"
#include "longloadbench.h"
#include "mainwindow.h"
#include "measuringbench.h"
#include "readoutbench.h"
#include "referencepath.h"
#include "viewfindingbench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QMouseEvent>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace {

using BenchReport::median;
using BenchReport::print;
using BenchReport::Check;
using BenchReport::printChecks;
using BenchReport::sendMouse;
using BenchReport::View;
using BenchReport::views;
using BenchReport::kMillion;
using BenchReport::kTenMillion;
using LogGenerator::Shape;

const qint64 kDefaultRecords[] = {100000, 1000000, 10000000};
// Repetitions of a timed step stop after this much time or kMostRepetitions, whichever first.
const double kTimeBudgetSeconds = 3.0;
const int kMostRepetitions = 7;
const int kWheelRepetitions = 15;
// The view a wheel notch at the plot area's middle reaches, among views().
const int kNotchView = 1;
const double kZoomShare = 0.01;
const int kDragStepPixels = 5;
const int kWholeRangeDragSteps = 20;
// The window's size for the cases, unless --size names another.
const QSize kSmallWindow(542, 390);
const qint64 kScreenRecords[] = {1000000, 10000000};
// The five channels' floor: one column per device pixel from the zero line up to a wave this
// many device pixels high at most, each a pixel higher than the one before.
const int kFloorChannels = 5;
const double kFloorWavePeriod = 40;

// Targets, ratios of reference time to ours, or of ours to ours.
const double kOpenSpeedUp = 6;
const double kOpenScaling = 12;
const double kRedrawSpeedUpJagged = 15;
const double kRedrawSpeedUpSmooth = 10;
const double kRedrawScaling = 1.5;
const double kZoomSpeedUp = 3;
const double kBytesPerRecordAboveEmpty = 90;
const double kMostViewOverWhole = 2;
const double kViewSpeedUp = 15;
const double kMostDragStepOverWhole = 2;
const double kMostViewOverFloor = 2;
const double kMostSelectedOverUnselected = 1.5;
const double kMostClickSelectSeconds = 0.005;
const double kMostWheelOverRedraw = 1.2;
const double kMostThreadedViewOverFloor = 0.6;
const double kLeastThreadSpeedUp = 1.6;
const double kMostOpenOverFirstTouch = 1.3;
// The threads a case's process draws with, handed down from the parent; unset means all.
const char kThreadsVariable[] = "VIEWER_BENCH_THREADS";

qint64 peakMemoryBytes()
{
    return BenchReport::statusBytes("VmHWM:");
}

// Median seconds of a step, repeated while the time budget lasts.
template <typename Step>
double medianSeconds(Step step, int mostRepetitions = kMostRepetitions)
{
    QVector<double> seconds;
    double spent = 0;
    while (seconds.size() < mostRepetitions && (seconds.isEmpty() || spent < kTimeBudgetSeconds)) {
        QElapsedTimer timer;
        timer.start();
        step();
        seconds.append(timer.nsecsElapsed() / 1e9);
        spent += seconds.last();
    }
    return median(seconds);
}

// ---- child side: one case, results printed as "name value" lines ----

QCustomPlot *shownChart(MainWindow &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        print(QStringLiteral("window not shown"));
    auto *plot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    plot->replot(QCustomPlot::rpImmediateRefresh);
    return plot;
}

// Seconds from sending an event to the chart to its redraw done, the redraw it queues and the
// repaint included; gives up after the time budget when no redraw comes.
template <typename Send>
double secondsToRedraw(QCustomPlot *plot, Send send)
{
    bool replotted = false;
    QObject context;
    QObject::connect(plot, &QCustomPlot::afterReplot, &context, [&replotted]() { replotted = true; });
    QElapsedTimer timer;
    timer.start();
    send();
    while (!replotted && timer.nsecsElapsed() < kTimeBudgetSeconds * 1e9)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

// Median seconds of a step of a drag with the mouse from the plot area's right edge to its left
// edge, which takes the whole range out of view: each move event, the redraw it queues and the
// repaint.
double dragStepSeconds(QCustomPlot *plot)
{
    const QRect area = plot->axisRect()->rect();
    const int y = area.center().y();
    sendMouse(plot, QEvent::MouseButtonPress, QPoint(area.right(), y), Qt::LeftButton);
    QVector<double> seconds;
    for (int step = 1; step <= kWholeRangeDragSteps; ++step) {
        const QPoint at(area.right() - step * area.width() / kWholeRangeDragSteps, y);
        seconds.append(secondsToRedraw(plot, [&]() { sendMouse(plot, QEvent::MouseMove, at, Qt::LeftButton); }));
    }
    sendMouse(plot, QEvent::MouseButtonRelease, QPoint(area.left(), y), Qt::NoButton);
    return median(seconds);
}

// What the painter can do at this size: the five channels as translucent columns one device
// pixel wide from the zero line up to a wave, each with its line a pixel across the column's top,
// into a pixmap of the plot area.
double floorSeconds(QCustomPlot *plot)
{
    const double ratio = plot->devicePixelRatioF();
    const QRect area = plot->axisRect()->rect();
    QPixmap pixmap(qRound(area.width() * ratio), qRound(area.height() * ratio));
    const int zero = qRound((plot->yAxis->coordToPixel(0) - area.top()) * ratio);
    return medianSeconds([&]() {
        pixmap.fill(Qt::white);
        QPainter painter(&pixmap);
        for (int channel = 0; channel < kFloorChannels; ++channel) {
            const QColor brush = plot->graph(channel)->brush().color();
            const QColor pen = plot->graph(channel)->pen().color();
            for (int x = 0; x < pixmap.width(); ++x) {
                const int top = qRound(zero * (0.5 - 0.5 * std::sin(x / kFloorWavePeriod))) + channel;
                painter.fillRect(x, top, 1, zero - top, brush);
                painter.fillRect(x, top, 1, 1, pen);
            }
        }
    });
}

// What merely having the points costs: the bytes of as many points as the chart holds taken
// fresh and written once, a slice per thread; the better of two.
double firstTouchSeconds(QCustomPlot *plot)
{
    const size_t bytes = size_t(plot->graph(0)->dataCount()) * sizeof(QCPGraphData) * size_t(plot->graphCount());
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < 2; ++run) {
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<char[]> memory(new char[bytes]);
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&memory, bytes, threads, t]() {
                std::memset(memory.get() + bytes * size_t(t) / size_t(threads), t + 1,
                            bytes * size_t(t + 1) / size_t(threads) - bytes * size_t(t) / size_t(threads));
            });
        }
        for (std::thread &writer : writers)
            writer.join();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

// Where a click lands on the middle graph's line, halfway across the plot area.
QPoint pointOnMiddleGraph(QCustomPlot *plot)
{
    const QRect area = plot->axisRect()->rect();
    const QCPGraph *graph = plot->graph(plot->graphCount() / 2);
    const double key = plot->xAxis->pixelToCoord(area.center().x());
    auto at = graph->data()->findBegin(key, false);
    if (at == graph->data()->constEnd())
        return area.center();
    return QPoint(area.center().x(), qRound(plot->yAxis->coordToPixel(at->value)));
}

// The press and release of a click that selects the middle graph, without the redraw it queues.
double clickSelectSeconds(QCustomPlot *plot)
{
    const QPoint at = pointOnMiddleGraph(plot);
    const double seconds = medianSeconds([&]() {
        sendMouse(plot, QEvent::MouseButtonPress, at, Qt::LeftButton);
        sendMouse(plot, QEvent::MouseButtonRelease, at, Qt::NoButton);
    });
    QCoreApplication::processEvents();
    return seconds;
}

// One wheel notch at the middle of the plot area, from the event to the redraw done, and the
// redraw of the view it reaches, taken by turns so that both meet the same caches and the same
// machine: medians of a few milliseconds each move with whatever else runs.
struct WheelNotch {
    double seconds;
    double redrawSeconds;
};

WheelNotch wheelNotch(QCustomPlot *plot)
{
    const QCPRange keys = plot->xAxis->range();
    const QCPRange values = plot->yAxis->range();
    const QPointF at = QRectF(plot->axisRect()->rect()).center();
    auto reset = [&]() {
        plot->xAxis->setRange(keys);
        plot->yAxis->setRange(values);
    };
    QVector<double> wheels;
    QVector<double> redraws;
    for (int i = 0; i < kWheelRepetitions; ++i) {
        reset();
        QWheelEvent wheel(at, plot->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, QWheelEvent::DefaultDeltasPerStep),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        wheels.append(secondsToRedraw(plot, [&]() { QApplication::sendEvent(plot, &wheel); }));
        reset();
        views()[kNotchView].apply(plot);
        QElapsedTimer timer;
        timer.start();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        redraws.append(timer.nsecsElapsed() / 1e9);
    }
    reset();
    return {median(wheels), median(redraws)};
}

// The whole range and each view reached from it in one gesture.
void viewCases(QCustomPlot *plot, const QString &prefix)
{
    auto redraw = [plot]() { plot->replot(QCustomPlot::rpImmediateRefresh); };
    print(prefix + QStringLiteral("redraw %1").arg(medianSeconds(redraw)));
    const QCPRange whole = plot->xAxis->range();
    const QCPRange temperatures = plot->yAxis->range();
    for (const View &view : views()) {
        view.apply(plot);
        print(prefix + QStringLiteral("%1 %2").arg(view.key).arg(medianSeconds(redraw)));
        plot->xAxis->setRange(whole);
        plot->yAxis->setRange(temperatures);
    }
}

void redrawCases(QCustomPlot *plot, const QString &prefix)
{
    auto redraw = [plot]() { plot->replot(QCustomPlot::rpImmediateRefresh); };
    viewCases(plot, prefix);
    const QCPRange whole = plot->xAxis->range();
    const QCPRange temperatures = plot->yAxis->range();
    auto goHome = [&]() {
        plot->xAxis->setRange(whole);
        plot->yAxis->setRange(temperatures);
    };
    redraw();
    print(prefix + QStringLiteral("drag %1").arg(dragStepSeconds(plot)));
    goHome();

    // A drag of the chart zoomed to 1 % of the range: every redraw moves it a few pixels.
    const double width = whole.size() * kZoomShare;
    plot->xAxis->setRange(whole.center() - width / 2, whole.center() + width / 2);
    redraw();
    const double step = width * kDragStepPixels / plot->axisRect()->width();
    auto drag = [&]() {
        plot->xAxis->moveRange(step);
        redraw();
    };
    print(prefix + QStringLiteral("zoom %1").arg(medianSeconds(drag)));
    goHome();
}

// The hit tests of a wheel notch and of a click that selects.
void hitCases(QCustomPlot *plot)
{
    const WheelNotch notch = wheelNotch(plot);
    print(QStringLiteral("wheel %1").arg(notch.seconds));
    print(QStringLiteral("wheel-redraw %1").arg(notch.redrawSeconds));
    print(QStringLiteral("click %1").arg(clickSelectSeconds(plot)));
}

// A selected curve, and the floor the views are held to.
void screenCases(QCustomPlot *plot)
{
    print(QStringLiteral("floor %1").arg(floorSeconds(plot)));
    if (plot->selectedGraphs().size() != 1) {
        print(QStringLiteral("the click selected no single curve"));
        QCPGraph *graph = plot->graph(plot->graphCount() / 2);
        graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
    }
    viewCases(plot, QStringLiteral("selected-"));
}

int runCase(const QString &name, const QString &log, const QSize &size)
{
    MainWindow window;
    window.resize(size);
    QCustomPlot *plot = shownChart(window);
    const QStringList files{log};
    if (name == QLatin1String("empty")) {
        print(QStringLiteral("peak %1").arg(peakMemoryBytes()));
    } else if (name == QLatin1String("open")) {
        QElapsedTimer timer;
        timer.start();
        window.loadLogFiles(files);
        QCoreApplication::processEvents();
        const double first = timer.nsecsElapsed() / 1e9;
        print(QStringLiteral("peak %1").arg(peakMemoryBytes()));
        const double more = medianSeconds([&]() {
            window.loadLogFiles(files);
            QCoreApplication::processEvents();
        }, 2);
        print(QStringLiteral("open %1").arg(qMin(first, more)));
        print(QStringLiteral("touch %1").arg(firstTouchSeconds(window.findChild<QCustomPlot *>(QStringLiteral("customPlot")))));
    } else if (name == QLatin1String("reference-open")) {
        ReferencePath::useStockGraphs(plot);
        QElapsedTimer timer;
        timer.start();
        ReferencePath::openLogs(plot, files);
        QCoreApplication::processEvents();
        print(QStringLiteral("open %1").arg(timer.nsecsElapsed() / 1e9));
        print(QStringLiteral("peak %1").arg(peakMemoryBytes()));
    } else if (name == QLatin1String("draw")) {
        window.loadLogFiles(files);
        redrawCases(plot, QString());
        hitCases(plot);
        if (size != kSmallWindow)
            screenCases(plot);
    } else if (name == QLatin1String("reference-draw")) {
        // Drawing alone is compared: the reference draws the very points our loader read.
        window.loadLogFiles(files);
        ReferencePath::useStockGraphs(plot);
        plot->replot();
        redrawCases(plot, QString());
    } else {
        return 2;
    }
    return 0;
}

// ---- parent side ----

// Reads the file once, so that every case finds it in the page cache, as a log just copied or
// viewed would be; the cases then time the viewer, not the disk.
bool readThrough(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (file.read(block.data(), block.size()) > 0) {
    }
    return file.atEnd();
}

// A generated log in the folder, read once; empty when it cannot be written.
// Writes a log of each record count, smooth ones first, into a temporary folder, one at a time,
// and hands it to measure before it goes again; false when a log could not be written.
bool forEachLog(const QVector<qint64> &recordCounts,
                const std::function<void(Shape, qint64, const QString &)> &measure)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        print(QStringLiteral("no temporary folder"));
        return false;
    }
    for (Shape shape : {Shape::Smooth, Shape::Jagged}) {
        for (qint64 records : recordCounts) {
            const QString log = dir.filePath(QStringLiteral("%1-%2.log").arg(LogGenerator::shapeName(shape)).arg(records));
            if (!LogGenerator::writeLog(log, records, shape) || !readThrough(log)) {
                print(QStringLiteral("cannot write ") + log);
                return false;
            }
            measure(shape, records, log);
            QFile::remove(log);
        }
    }
    return true;
}

using Results = QMap<QString, double>;

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// threads, where given, is the case's thread count instead of the run's.
Results runChild(const QString &caseName, const QString &log, const QSize &size = kSmallWindow, int threads = 0)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (threads > 0) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(kThreadsVariable), QString::number(threads));
        child.setProcessEnvironment(environment);
    }
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--case"), caseName, log, sizeText(size)});
    child.waitForFinished(-1);
    Results results;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() == 2)
            results.insert(QString::fromLatin1(parts[0]), parts[1].toDouble());
    }
    if (child.exitCode() != 0 || results.isEmpty())
        print(QStringLiteral("case %1 on %2 failed").arg(caseName, log));
    return results;
}

QString machine()
{
    QString cpu;
    QFile cpuInfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuInfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuInfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    QString memory;
    QFile memInfo(QStringLiteral("/proc/meminfo"));
    if (memInfo.open(QIODevice::ReadOnly))
        memory = QString::fromLatin1(memInfo.readLine().simplified());
    return QStringLiteral("%1, %2 cores, %3; %4 %5; Qt %6, QCustomPlot %7")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(memory, QSysInfo::kernelType(), QSysInfo::kernelVersion(), QString::fromLatin1(qVersion()),
             QString::fromLatin1(QCUSTOMPLOT_VERSION_STR));
}

QString figure(double value, const QString &unit)
{
    if (unit == QLatin1String("ms"))
        return QString::number(value * 1000, 'f', 1) + QStringLiteral(" ms");
    if (unit == QLatin1String("s"))
        return QString::number(value, 'f', 3) + QStringLiteral(" s");
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + unit;
}

int runBenchmark(const QVector<qint64> &recordCounts)
{
    print(QStringLiteral("Machine: ") + machine());
    const qint64 emptyPeak = qint64(runChild(QStringLiteral("empty"), QString()).value(QStringLiteral("peak")));
    print(QStringLiteral("Empty program's peak memory: %1 MiB").arg(emptyPeak / 1048576.0, 0, 'f', 1));
    print(QString());
    print(QStringLiteral("| records | logs | figure | ours | reference | ratio |"));
    print(QStringLiteral("|---:|---|---|---:|---:|---:|"));

    QMap<QString, Results> ours; // by "shape records"
    QVector<Check> checks;
    const bool written = forEachLog(recordCounts, [&](Shape shape, qint64 records, const QString &log) {
        const QString name = LogGenerator::shapeName(shape);
        Results mine = runChild(QStringLiteral("open"), log);
        mine.insert(runChild(QStringLiteral("draw"), log));
        Results reference = runChild(QStringLiteral("reference-open"), log);
        reference.insert(runChild(QStringLiteral("reference-draw"), log));
        ours.insert(QStringLiteral("%1 %2").arg(name).arg(records), mine);

        auto row = [&](const QString &label, const QString &key, const QString &unit) {
            const double a = mine.value(key);
            const double b = reference.value(key);
            print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6× |")
                      .arg(QLocale::c().toString(records), name, label, figure(a, unit), figure(b, unit))
                      .arg(b / a, 0, 'f', 1));
            return b / a;
        };
        const double open = row(QStringLiteral("open, file list to chart drawn"), QStringLiteral("open"), QStringLiteral("s"));
        if (records == kTenMillion) {
            const double single = runChild(QStringLiteral("open"), log, kSmallWindow, 1).value(QStringLiteral("open"));
            const double touch = mine.value(QStringLiteral("touch"));
            const int threads = QThreadPool::globalInstance()->maxThreadCount();
            print(QStringLiteral("| %1 | %2 | open, at %3 threads (ours) and at 1 thread (reference) | %4 | %5 | %6× |")
                      .arg(QLocale::c().toString(records), name)
                      .arg(threads)
                      .arg(figure(mine.value(QStringLiteral("open")), QStringLiteral("s")), figure(single, QStringLiteral("s")))
                      .arg(single / mine.value(QStringLiteral("open")), 0, 'f', 2));
            print(QStringLiteral("| %1 | %2 | first touch of the points' bytes, %3 threads | %4 | | |")
                      .arg(QLocale::c().toString(records), name)
                      .arg(threads)
                      .arg(figure(touch, QStringLiteral("s"))));
            checks.append({QStringLiteral("open 10M %1 / first touch").arg(name), mine.value(QStringLiteral("open")) / touch,
                           kMostOpenOverFirstTouch, false});
            checks.append({QStringLiteral("open 10M %1, %2 threads, times faster than 1").arg(name).arg(threads),
                           single / mine.value(QStringLiteral("open")), kLeastThreadSpeedUp, true});
        }
        const double redraw = row(QStringLiteral("redraw, whole range"), QStringLiteral("redraw"), QStringLiteral("ms"));
        const double zoom = row(QStringLiteral("redraw, 1 % of the range"), QStringLiteral("zoom"), QStringLiteral("ms"));
        // The views' targets are set at 1M jagged and 10M smooth.
        const bool viewTargets = (shape == Shape::Jagged && records == kMillion)
                                 || (shape == Shape::Smooth && records == kTenMillion);
        const QString data = QStringLiteral("%1M %2").arg(records / kMillion).arg(name);
        for (const View &view : views()) {
            const double speedUp = row(view.label, view.key, QStringLiteral("ms"));
            if (!viewTargets)
                continue;
            checks.append({QStringLiteral("%1 %2 / whole range").arg(view.key, data),
                           mine.value(view.key) / mine.value(QStringLiteral("redraw")), kMostViewOverWhole, false});
            checks.append({QStringLiteral("%1 %2, times faster").arg(view.key, data), speedUp, kViewSpeedUp, true});
        }
        row(QStringLiteral("drag across the whole range in %1 steps, median step").arg(kWholeRangeDragSteps),
            QStringLiteral("drag"), QStringLiteral("ms"));
        if (shape == Shape::Jagged && records == kMillion)
            checks.append({QStringLiteral("drag step %1 / whole range").arg(data),
                           mine.value(QStringLiteral("drag")) / mine.value(QStringLiteral("redraw")),
                           kMostDragStepOverWhole, false});
        const double ourBytes = (mine.value(QStringLiteral("peak")) - emptyPeak) / records;
        const double referenceBytes = (reference.value(QStringLiteral("peak")) - emptyPeak) / records;
        print(QStringLiteral("| %1 | %2 | peak memory above the empty program, per record | %3 | %4 | %5× |")
                  .arg(QLocale::c().toString(records), name, figure(ourBytes, QStringLiteral("B")),
                       figure(referenceBytes, QStringLiteral("B")))
                  .arg(referenceBytes / ourBytes, 0, 'f', 2));

        if (records == kMillion) {
            checks.append({QStringLiteral("open 1M %1, times faster").arg(name), open, kOpenSpeedUp, true});
            const double wanted = shape == Shape::Jagged ? kRedrawSpeedUpJagged : kRedrawSpeedUpSmooth;
            checks.append({QStringLiteral("redraw 1M %1, times faster").arg(name), redraw, wanted, true});
        }
        if (records >= kMillion) {
            const double click = mine.value(QStringLiteral("click"));
            const double wheel = mine.value(QStringLiteral("wheel")) / mine.value(QStringLiteral("wheel-redraw"));
            print(QStringLiteral("| %1 | %2 | click that selects a curve, press and release | %3 | | |")
                      .arg(QLocale::c().toString(records), name, figure(click, QStringLiteral("ms"))));
            print(QStringLiteral("| %1 | %2 | wheel notch, event to redraw done, × the notch's redraw | %3 | | |")
                      .arg(QLocale::c().toString(records), name)
                      .arg(wheel, 0, 'f', 2));
            checks.append({QStringLiteral("click select %1, ms").arg(data), click * 1000, kMostClickSelectSeconds * 1000, false});
            checks.append({QStringLiteral("wheel notch %1 / its redraw").arg(data), wheel, kMostWheelOverRedraw, false});
        }
        if (records == kTenMillion) {
            checks.append({QStringLiteral("redraw at 1 % of 10M %1, times faster").arg(name), zoom, kZoomSpeedUp, true});
            checks.append({QStringLiteral("peak memory 10M %1, bytes per record").arg(name), ourBytes,
                           kBytesPerRecordAboveEmpty, false});
        }
    });
    if (!written)
        return 1;

    for (Shape shape : {Shape::Smooth, Shape::Jagged}) {
        const QString name = LogGenerator::shapeName(shape);
        const Results one = ours.value(QStringLiteral("%1 %2").arg(name).arg(kMillion));
        const Results ten = ours.value(QStringLiteral("%1 %2").arg(name).arg(kTenMillion));
        if (one.isEmpty() || ten.isEmpty())
            continue;
        checks.append({QStringLiteral("open 10M %1 / open 1M").arg(name),
                       ten.value(QStringLiteral("open")) / one.value(QStringLiteral("open")), kOpenScaling, false});
        checks.append({QStringLiteral("redraw 10M %1 / redraw 1M").arg(name),
                       ten.value(QStringLiteral("redraw")) / one.value(QStringLiteral("redraw")), kRedrawScaling, false});
    }

    print(QString());
    if (checks.isEmpty()) {
        print(QStringLiteral("No target is set for these record counts (they are set for 1M and 10M)."));
        return 0;
    }
    bool allMet = true;
    printChecks(checks, &allMet);
    return allMet ? 0 : 1;
}

// The chart in a window of the given size, at the device pixel ratio the process runs with:
// each view against the floor measured in the same case, the selected curve against the same
// view unselected, a click that selects and a wheel notch.
int runScreenBenchmark(const QVector<qint64> &recordCounts, const QSize &size, double scale)
{
    print(QStringLiteral("Machine: ") + machine());
    print(QStringLiteral("Window %1 at %2 device pixels per point").arg(sizeText(size)).arg(scale));
    QStringList keys{QStringLiteral("redraw")};
    QStringList labels{QStringLiteral("redraw, whole range")};
    for (const View &view : views()) {
        keys.append(view.key);
        labels.append(view.label);
    }
    print(QString());
    print(QStringLiteral("| records | logs | figure | unselected | × floor | selected | × unselected |"));
    print(QStringLiteral("|---:|---|---|---:|---:|---:|---:|"));
    QVector<Check> checks;
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QStringList threadRows{
        QStringLiteral("| records | logs | figure | %1 threads | × floor | 1 thread | × faster |").arg(threads),
        QStringLiteral("|---:|---|---|---:|---:|---:|---:|")};
    const bool written = forEachLog(recordCounts, [&](Shape shape, qint64 records, const QString &log) {
        const QString name = LogGenerator::shapeName(shape);
        const Results mine = runChild(QStringLiteral("draw"), log, size);
        const Results single = runChild(QStringLiteral("draw"), log, size, 1);
        const QString data = QStringLiteral("%1M %2").arg(records / kMillion).arg(name);
        const QString count = QLocale::c().toString(records);
        const double floor = mine.value(QStringLiteral("floor"));
        print(QStringLiteral("| %1 | %2 | floor: five translucent column fills and their lines | %3 | 1.0× | | |")
                  .arg(count, name, figure(floor, QStringLiteral("ms"))));
        for (int i = 0; i < keys.size(); ++i) {
            const double plain = mine.value(keys[i]);
            const double selected = mine.value(QStringLiteral("selected-") + keys[i]);
            print(QStringLiteral("| %1 | %2 | %3 | %4 | %5× | %6 | %7× |")
                      .arg(count, name, labels[i], figure(plain, QStringLiteral("ms")))
                      .arg(plain / floor, 0, 'f', 2)
                      .arg(figure(selected, QStringLiteral("ms")))
                      .arg(selected / plain, 0, 'f', 2));
            checks.append({QStringLiteral("%1 %2 / floor").arg(keys[i], data), plain / floor, kMostViewOverFloor, false});
            checks.append({QStringLiteral("%1 %2 selected / unselected").arg(keys[i], data), selected / plain,
                           kMostSelectedOverUnselected, false});
            for (const QString &prefix : {QString(), QStringLiteral("selected-")}) {
                const QString key = prefix + keys[i];
                const QString label = prefix.isEmpty() ? labels[i] : labels[i] + QStringLiteral(", one curve selected");
                const double many = mine.value(key);
                const double one = single.value(key);
                threadRows.append(QStringLiteral("| %1 | %2 | %3 | %4 | %5× | %6 | %7× |")
                                      .arg(count, name, label, figure(many, QStringLiteral("ms")))
                                      .arg(many / floor, 0, 'f', 2)
                                      .arg(figure(one, QStringLiteral("ms")))
                                      .arg(one / many, 0, 'f', 2));
                checks.append({QStringLiteral("%1 %2 at %3 threads / floor").arg(key, data).arg(threads), many / floor,
                               kMostThreadedViewOverFloor, false});
                checks.append({QStringLiteral("%1 %2, %3 threads, times faster than 1").arg(key, data).arg(threads),
                               one / many, kLeastThreadSpeedUp, true});
            }
        }
        const double drag = mine.value(QStringLiteral("drag"));
        print(QStringLiteral("| %1 | %2 | drag across the whole range in %3 steps, median step | %4 | %5× | | |")
                  .arg(count, name)
                  .arg(kWholeRangeDragSteps)
                  .arg(figure(drag, QStringLiteral("ms")))
                  .arg(drag / floor, 0, 'f', 2));
        const double click = mine.value(QStringLiteral("click"));
        const double wheel = mine.value(QStringLiteral("wheel"));
        const double notch = mine.value(QStringLiteral("wheel-redraw"));
        print(QStringLiteral("| %1 | %2 | click that selects a curve, press and release | %3 | | | |")
                  .arg(count, name, figure(click, QStringLiteral("ms"))));
        print(QStringLiteral("| %1 | %2 | wheel notch, event to redraw done | %3 | %4× the notch's redraw | | |")
                  .arg(count, name, figure(wheel, QStringLiteral("ms")))
                  .arg(wheel / notch, 0, 'f', 2));
        checks.append({QStringLiteral("drag step %1 / whole range").arg(data),
                       drag / mine.value(QStringLiteral("redraw")), kMostDragStepOverWhole, false});
        checks.append({QStringLiteral("wheel notch %1 / its redraw").arg(data), wheel / notch, kMostWheelOverRedraw, false});
        if (records == kTenMillion)
            checks.append({QStringLiteral("click select %1, ms").arg(data), click * 1000,
                           kMostClickSelectSeconds * 1000, false});
    });
    if (!written)
        return 1;
    print(QString());
    for (const QString &row : threadRows)
        print(row);
    print(QString());
    bool allMet = true;
    printChecks(checks, &allMet);
    return allMet ? 0 : 1;
}

QSize sizeFrom(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

// The device pixel ratio is the whole process's, set before the application starts; the cases'
// processes inherit it.
void takeScale(int argc, char *argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--scale") == 0)
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    takeScale(argc, argv);
    QApplication app(argc, argv);
    const int threads = qEnvironmentVariableIntValue(kThreadsVariable);
    if (threads > 0)
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
    // The program's pictures sit in the static library; this links them in, as main.cpp does.
    Q_INIT_RESOURCE(resources);
    QStringList arguments = app.arguments();
    if (arguments.size() == 5 && arguments[1] == QLatin1String("--case"))
        return runCase(arguments[2], arguments[3], sizeFrom(arguments[4]));
    const int longLoads = LongLoadBench::runFromArguments(arguments);
    if (longLoads >= 0)
        return longLoads;
    const int measuring = MeasuringBench::runFromArguments(arguments);
    if (measuring >= 0)
        return measuring;
    const int commandLine = CommandLineBench::runFromArguments(arguments);
    if (commandLine >= 0)
        return commandLine;
    const int following = FollowBench::runFromArguments(arguments);
    if (following >= 0)
        return following;
    const int dailyValues = DailyValuesBench::runFromArguments(arguments);
    if (dailyValues >= 0)
        return dailyValues;

    auto option = [&arguments](const char *name) {
        const int at = arguments.indexOf(QLatin1String(name));
        if (at < 0 || at + 1 >= arguments.size())
            return QString();
        const QString value = arguments.takeAt(at + 1);
        arguments.removeAt(at);
        return value;
    };
    const QString records = option("--records");
    const QString size = option("--size");
    const QString scale = option("--scale");
    const QString views = option("--views");
    const QString comparison = option("--comparison");
    const QString threadCount = option("--threads");
    if (!threadCount.isEmpty()) {
        // Every case's process, and this one, draws and loads with this many.
        qputenv(kThreadsVariable, threadCount.toLatin1());
        QThreadPool::globalInstance()->setMaxThreadCount(std::max(1, threadCount.toInt()));
    }
    const QSize window = size.isEmpty() ? kSmallWindow : sizeFrom(size);
    QVector<qint64> recordCounts;
    const QString counts = !views.isEmpty() ? views : !comparison.isEmpty() ? comparison : records;
    for (const QString &count : counts.split(QLatin1Char(','), Qt::SkipEmptyParts))
        recordCounts.append(count.toLongLong());
    if (arguments.size() != 1 || window.isEmpty() || recordCounts.contains(0) || (!scale.isEmpty() && scale.toDouble() <= 0)
        || (!threadCount.isEmpty() && threadCount.toInt() <= 0)) {
        print(QStringLiteral("usage: bench_viewer [--records 100000,1000000,10000000 | --long-loads | --measuring 50000000 | --following\n"
                             "                    | --daily-values]\n"
                             "       bench_viewer --size 1920x1080 [--scale 2] [--records 1000000,10000000]\n"
                             "       bench_viewer --views 1000000,10000000 [--size 1920x1080 [--scale 2]]\n"
                             "       bench_viewer --comparison 1000000,10000000 [--size 1920x1080 [--scale 2]]\n"
                             "       any of these with [--threads N]\n"
                             "       bench_viewer --command-line"));
        return 2;
    }
    if (!views.isEmpty())
        return ViewFindingBench::run(recordCounts, window);
    if (!comparison.isEmpty())
        return ComparisonBench::run(recordCounts, window);
    if (window != kSmallWindow) {
        if (recordCounts.isEmpty())
            recordCounts = QVector<qint64>(std::begin(kScreenRecords), std::end(kScreenRecords));
        return runScreenBenchmark(recordCounts, window, scale.isEmpty() ? 1 : scale.toDouble())
               | ReadoutBench::run(recordCounts, window) | ComparisonBench::run(recordCounts, window)
               | ViewFindingBench::run(recordCounts, window);
    }
    if (recordCounts.isEmpty())
        recordCounts = QVector<qint64>(std::begin(kDefaultRecords), std::end(kDefaultRecords));
    int result = runBenchmark(recordCounts) | ReadoutBench::run(recordCounts, window)
                 | ComparisonBench::run(recordCounts, window) | MeasuringBench::run(recordCounts)
                 | ViewFindingBench::run(recordCounts, window) | runCsvBenchmark();
    // Long loads, following and the days only in the full run: they need logs of their own.
    if (records.isEmpty() && scale.isEmpty())
        result |= LongLoadBench::run() | FollowBench::run() | DailyValuesBench::run();
    return result;
}
