// SPDX-License-Identifier: GPL-3.0-or-later
#include "comparisonbench.h"

#include "benchreport.h"
#include "chart/chartcomparison.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <functional>

namespace {

using BenchReport::Check;
using BenchReport::kMillion;
using BenchReport::kTenMillion;
using BenchReport::median;
using BenchReport::medianMilliseconds;
using BenchReport::print;
using Period = ChartComparison::Period;

// Enough pairs that the medians hold still while the shared machine drifts.
const int kRedrawPairs = 25;
const int kMoves = 301;
const int kMoveStepPixels = 7;
const double kMostComparedOverPlain = 1.5;
const double kMostMoveMilliseconds = 1.0;
const int kRedrawsToChoose = 1;
const QSize kFirstWindow(542, 390);

// The benchmark's views from the whole range, and the whole range with the middle curve selected.
QVector<BenchReport::View> cases()
{
    QVector<BenchReport::View> all{{QStringLiteral("whole range"), QString(), [](QCustomPlot *) {}}};
    all += BenchReport::views();
    all.append({QStringLiteral("selected"), QString(), [](QCustomPlot *plot) {
                    QCPGraph *graph = plot->graph(plot->graphCount() / 2);
                    graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
                }});
    return all;
}

struct Pair {
    double plain;
    double compared;
};

// Redraws of the view without a comparison and with last week's, by turns, so that both meet
// the same caches and the same machine; medians in milliseconds.
Pair redrawsByTurns(QCustomPlot *plot, ChartComparison *comparison)
{
    QVector<double> plain;
    QVector<double> compared;
    for (int i = 0; i < kRedrawPairs; ++i) {
        for (Period period : {Period::None, Period::Week}) {
            comparison->setPeriod(period);
            QElapsedTimer timer;
            timer.start();
            plot->replot(QCustomPlot::rpImmediateRefresh);
            (period == Period::None ? plain : compared).append(timer.nsecsElapsed() / 1e6);
        }
    }
    comparison->setPeriod(Period::None);
    return {median(plain), median(compared)};
}

double moveMilliseconds(QCustomPlot *plot)
{
    const QRect area = plot->axisRect()->rect();
    return medianMilliseconds(kMoves, [&](int i) {
        const QPoint at(area.left() + (i * kMoveStepPixels) % area.width(), area.center().y());
        QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QCoreApplication::processEvents();
    });
}

// The redraws that choosing "Vorwoche" in the menu brings, queued ones included.
int redrawsToChoose(QMainWindow &window, QCustomPlot *plot)
{
    QSignalSpy redraws(plot, &QCustomPlot::beforeReplot);
    window.findChild<QAction *>(QStringLiteral("actionCompareWeek"))->trigger();
    QCoreApplication::processEvents();
    return redraws.count();
}

} // namespace

int ComparisonBench::run(const QVector<qint64> &recordCounts, const QSize &windowSize)
{
    const bool firstWindow = windowSize == kFirstWindow;
    QTemporaryDir dir;
    QVector<Check> checks;
    print(QString());
    print(QStringLiteral("| records | logs | figure | without | with \"Vorwoche\" | with / without |"));
    print(QStringLiteral("|---:|---|---|---:|---:|---:|"));
    for (LogGenerator::Shape shape : {LogGenerator::Shape::Smooth, LogGenerator::Shape::Jagged}) {
        for (qint64 records : {kMillion, kTenMillion}) {
            if (!recordCounts.contains(records))
                continue;
            const QString name = LogGenerator::shapeName(shape);
            const QString log = dir.filePath(QStringLiteral("comparison-%1-%2.log").arg(name).arg(records));
            if (!LogGenerator::writeLog(log, records, shape)) {
                print(QStringLiteral("cannot write ") + log);
                return 1;
            }
            MainWindow window;
            window.resize(windowSize);
            QCustomPlot *plot = BenchReport::loadedChart(window, log);
            ChartComparison *comparison = ChartComparison::of(plot);
            const QString count = QLocale::c().toString(records);
            const QString data = QStringLiteral("%1M %2").arg(records / kMillion).arg(name);
            const QCPRange keys = plot->xAxis->range();
            const QCPRange values = plot->yAxis->range();
            for (const BenchReport::View &view : cases()) {
                view.apply(plot);
                const Pair pair = redrawsByTurns(plot, comparison);
                plot->xAxis->setRange(keys);
                plot->yAxis->setRange(values);
                plot->deselectAll();
                print(QStringLiteral("| %1 | %2 | redraw, %3 | %4 ms | %5 ms | %6× |")
                          .arg(count, name, view.key)
                          .arg(pair.plain, 0, 'f', 1)
                          .arg(pair.compared, 0, 'f', 1)
                          .arg(pair.compared / pair.plain, 0, 'f', 2));
                checks.append({QStringLiteral("%1 %2 with Vorwoche / without").arg(view.key, data),
                               pair.compared / pair.plain, kMostComparedOverPlain, false});
            }
            plot->replot(QCustomPlot::rpImmediateRefresh);
            const int redraws = redrawsToChoose(window, plot);
            const double move = moveMilliseconds(plot);
            print(QStringLiteral("| %1 | %2 | mouse move with read-out, with \"Vorwoche\" | | %3 ms | |")
                      .arg(count, name)
                      .arg(move, 0, 'f', 3));
            print(QStringLiteral("| %1 | %2 | redraws in choosing \"Vorwoche\" | | %3 | |").arg(count, name).arg(redraws));
            checks.append({QStringLiteral("redraws choosing Vorwoche %1").arg(data), double(redraws),
                           double(kRedrawsToChoose), false});
            if (firstWindow && records == kTenMillion)
                checks.append({QStringLiteral("read-out move with Vorwoche %1, ms").arg(data), move,
                               kMostMoveMilliseconds, false});
            QFile::remove(log);
        }
    }
    print(QString());
    bool allMet = true;
    BenchReport::printChecks(checks, &allMet);
    return allMet ? 0 : 1;
}
