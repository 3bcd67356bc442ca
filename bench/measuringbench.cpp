// SPDX-License-Identifier: GPL-3.0-or-later
#include "measuringbench.h"

#include "benchreport.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <qcustomplot.h>

namespace {

using BenchReport::median;
using BenchReport::print;
using BenchReport::kMillion;
using BenchReport::kTenMillion;

const QString kOption = QStringLiteral("--measuring");
const int kStatisticsRuns = 7;
const int kRedraws = 7;
const int kMarkerSets = 51;
const int kRecordsInNarrowView = 10000;
// Ten seconds apart, 50M records still fit the log's time stamps.
const int kStepSeconds = 10;
// Targets at 10M records.
const double kMostWholeStatisticsMilliseconds = 100;
const double kMostNarrowStatisticsMilliseconds = 5;
const double kMostMarkerShareOfRedraw = 0.25;

struct Figures {
    double wholeStatistics = 0;
    double narrowStatistics = 0;
    double marker = 0;
    double redraw = 0;
    int fullRedrawsBySetting = 0;
};

// From the menu entry to the modal dialog's event loop, the table filled; the dialog then closes.
double statisticsMilliseconds(QAction *statistics)
{
    QVector<double> times;
    for (int run = 0; run < kStatisticsRuns; ++run) {
        QElapsedTimer timer;
        QTimer::singleShot(0, [&]() {
            times.append(timer.nsecsElapsed() / 1e6);
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        timer.start();
        statistics->trigger();
    }
    return median(times);
}

// The chart's context menu asked for by a right-click there, and closed again.
void requestMenu(QCustomPlot *plot, const QPoint &at)
{
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, plot->mapToGlobal(at));
    QApplication::sendEvent(plot, &request);
    if (QWidget *menu = QApplication::activePopupWidget())
        menu->close();
}

// The menu asked for by a right-click, then "Marke B hier setzen" chosen and the chart
// repainted; only the choice and the repaint are timed.
double markerMilliseconds(QCustomPlot *plot, QAction *setMarker)
{
    const QRect area = plot->axisRect()->rect();
    QVector<double> times;
    for (int i = 0; i < kMarkerSets; ++i) {
        requestMenu(plot, QPoint(area.center().x() + (i % 2 ? 1 : -1) * area.width() / 4, area.center().y()));
        QElapsedTimer timer;
        timer.start();
        setMarker->trigger();
        plot->repaint();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// Empty figures when the log did not load whole.
Figures measure(const QString &log, qint64 records)
{
    MainWindow window;
    QCustomPlot *plot = BenchReport::loadedChart(window, log);
    auto *statistics = window.findChild<QAction *>(QStringLiteral("actionStatistics"));
    Figures figures;
    if (plot->graph(0)->dataCount() != records) {
        print(QStringLiteral("loaded %1 records: %2").arg(plot->graph(0)->dataCount()).arg(window.statusBar()->currentMessage()));
        return figures;
    }

    figures.wholeStatistics = statisticsMilliseconds(statistics);
    const QCPRange whole = plot->xAxis->range();
    const double narrowWidth = (kRecordsInNarrowView - 1) * double(kStepSeconds);
    plot->xAxis->setRange(whole.center(), whole.center() + narrowWidth);
    plot->replot(QCustomPlot::rpImmediateRefresh);
    figures.narrowStatistics = statisticsMilliseconds(statistics);
    plot->xAxis->setRange(whole);
    plot->replot(QCustomPlot::rpImmediateRefresh);

    QObject::connect(plot, &QCustomPlot::beforeReplot, [&figures]() { ++figures.fullRedrawsBySetting; });
    requestMenu(plot, plot->axisRect()->center());
    window.findChild<QAction *>(QStringLiteral("actionSetMarkerA"))->trigger();
    figures.marker = markerMilliseconds(plot, window.findChild<QAction *>(QStringLiteral("actionSetMarkerB")));
    QObject::disconnect(plot, &QCustomPlot::beforeReplot, nullptr, nullptr);
    figures.redraw = BenchReport::medianMilliseconds(kRedraws, [plot](int) { plot->replot(QCustomPlot::rpImmediateRefresh); });
    return figures;
}

QString milliseconds(double value)
{
    return QString::number(value, 'f', value < 1 ? 3 : 1) + QStringLiteral(" ms");
}

} // namespace

int MeasuringBench::run(const QVector<qint64> &recordCounts)
{
    QTemporaryDir dir;
    bool allMet = true;
    print(QString());
    print(QStringLiteral("| records | logs | statistics, whole range | statistics, %1 records in view | set a marker "
                         "| full redraw | full redraws while setting | targets met |")
              .arg(kRecordsInNarrowView));
    print(QStringLiteral("|---:|---|---:|---:|---:|---:|---:|---|"));
    for (qint64 records : recordCounts) {
        if (records < kMillion)
            continue;
        const QString log = dir.filePath(QStringLiteral("measuring-%1.log").arg(records));
        if (!LogGenerator::writeLog(log, records, LogGenerator::Shape::Jagged, LogGenerator::kJune2015, kStepSeconds)) {
            print(QStringLiteral("cannot write ") + log);
            return 1;
        }
        const Figures figures = measure(log, records);
        QFile::remove(log);
        const bool met = figures.redraw > 0 && figures.wholeStatistics <= kMostWholeStatisticsMilliseconds
                         && figures.narrowStatistics <= kMostNarrowStatisticsMilliseconds
                         && figures.fullRedrawsBySetting == 0
                         && figures.marker <= kMostMarkerShareOfRedraw * figures.redraw;
        // The targets are set at 10M; other counts are shown for the scaling.
        if (records == kTenMillion)
            allMet = allMet && met;
        print(QStringLiteral("| %1 | jagged | %2 | %3 | %4 | %5 | %6 | %7 |")
                  .arg(QLocale::c().toString(records), milliseconds(figures.wholeStatistics),
                       milliseconds(figures.narrowStatistics), milliseconds(figures.marker),
                       milliseconds(figures.redraw))
                  .arg(figures.fullRedrawsBySetting)
                  .arg(records != kTenMillion ? QStringLiteral("(set at 10M)")
                                              : met ? QStringLiteral("yes") : QStringLiteral("NO")));
    }
    print(QStringLiteral("Targets at 10M: statistics at most %1 ms over the whole range and %2 ms over %3 records in "
                         "view; setting a marker no full redraw and at most %4 of one.")
              .arg(kMostWholeStatisticsMilliseconds)
              .arg(kMostNarrowStatisticsMilliseconds)
              .arg(kRecordsInNarrowView)
              .arg(kMostMarkerShareOfRedraw));
    return allMet ? 0 : 1;
}

int MeasuringBench::runFromArguments(const QStringList &arguments)
{
    if (arguments.size() != 3 || arguments[1] != kOption)
        return -1;
    QVector<qint64> counts;
    for (const QString &count : arguments[2].split(QLatin1Char(',')))
        counts.append(count.toLongLong());
    return run(counts);
}
