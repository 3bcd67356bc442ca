// SPDX-License-Identifier: GPL-3.0-or-later
#include "dailyvaluesbench.h"

#include "benchreport.h"
#include "chart/chartcontrols.h"
#include "chart/chartfollowing.h"
#include "chart/dailyvaluesdialog.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

namespace {

using BenchReport::Check;
using BenchReport::median;
using BenchReport::medianMilliseconds;
using BenchReport::print;
using LogGenerator::Shape;

const QString kOption = QStringLiteral("--daily-values");
const QString kCaseOption = QStringLiteral("--daily-case");
const int kRepetitions = 15;
const int kJoinedRecords = 1000;
const double kPanShare = 0.1;
// A week of the chart, the view a user pans through a season in.
const double kWeekSeconds = 7 * 86400.0;
// 1M records from 2000-01-01 to the start of 2026: one every 820 seconds, about a hundred a day.
const qint64 kDecadesRecords = BenchReport::kMillion;
const int kDecadesStep = 820;
// 2026-01-01 00:00 at UTC+01:00, in the log's seconds since 2000.
const qint32 kJanuary2026 = 820454400;

// Targets, in milliseconds and bytes.
const double kMostOpen = 150;
const double kMostSwitch = 50;
const double kMostMark = 2;
const double kMostJoin = 2;
const double kMostBytesAboveWindow = 2 * 1048576.0;

QString inFolder(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

DailyValuesDialog *dialogOf(MainWindow &window)
{
    return window.findChild<DailyValuesDialog *>(QStringLiteral("dailyValuesDialog"));
}

// From the menu entry until the dialog, its table and its chart are on screen.
double openMilliseconds(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    window.findChild<QAction *>(QStringLiteral("actionDailyValues"))->trigger();
    QCoreApplication::processEvents();
    dialogOf(window)->repaint();
    return clock.nsecsElapsed() / 1e6;
}

// What a pan costs, the dialog shown less the dialog hidden, by turns.
double markMilliseconds(QCustomPlot *plot, DailyValuesDialog *dialog)
{
    QVector<double> shown, hidden;
    for (int i = 0; i < 2 * kRepetitions; ++i) {
        dialog->setVisible(i % 2 == 0);
        QElapsedTimer clock;
        clock.start();
        plot->xAxis->moveRange(plot->xAxis->range().size() * (i % 4 < 2 ? kPanShare : -kPanShare));
        (i % 2 == 0 ? shown : hidden).append(clock.nsecsElapsed() / 1e6);
    }
    dialog->show();
    return median(shown) - median(hidden);
}

// 1,000 minute records after the last, joining as a followed log's do; the dialog's share.
double joinMilliseconds(QCustomPlot *plot, DailyValuesDialog *dialog)
{
    auto *controls = plot->findChild<ChartControls *>();
    QVector<double> times;
    for (int i = 0; i < kRepetitions / 3; ++i) {
        const double last = (plot->graph(0)->data()->constEnd() - 1)->key;
        QVector<LogDecoder::LogRecord> records(kJoinedRecords);
        for (int r = 0; r < kJoinedRecords; ++r)
            records[r] = {last + 60.0 * (r + 1), {double(r % 50), 40, 50, 30, double(r % 10)}};
        ChartFollowing::addRecords(plot, controls, records);
        QElapsedTimer clock;
        clock.start();
        dialog->recordsJoined(records.first().key);
        times.append(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    return median(times);
}

// ---- child side: one case, figures printed as "name value" pairs on one line ----

void seasonCase(const QString &log)
{
    MainWindow window;
    QCustomPlot *plot = BenchReport::loadedChart(window, log);
    const qint64 peakBefore = BenchReport::statusBytes("VmHWM:");
    const qint64 before = BenchReport::statusBytes("VmRSS:");
    const double open = openMilliseconds(window);
    QCoreApplication::processEvents();
    const double peak = BenchReport::statusBytes("VmHWM:") - peakBefore;
    const double resident = BenchReport::statusBytes("VmRSS:") - before;
    DailyValuesDialog *dialog = dialogOf(window);
    auto *channel = dialog->findChild<QComboBox *>(QStringLiteral("dailyChannel"));
    const double switching = medianMilliseconds(kRepetitions, [&](int i) {
        channel->setCurrentIndex((i + 1) % channel->count());
        QCoreApplication::processEvents();
        dialog->repaint();
    });
    const double markWhole = markMilliseconds(plot, dialog);
    plot->xAxis->setRange(plot->xAxis->range().center(), plot->xAxis->range().center() + kWeekSeconds);
    const double markWeek = markMilliseconds(plot, dialog);
    const double join = joinMilliseconds(plot, dialog);
    print(QStringLiteral("open %1 switch %2 mark %3 join %4 peak %5 resident %6")
              .arg(open)
              .arg(switching)
              .arg(qMax(markWhole, markWeek))
              .arg(join)
              .arg(peak)
              .arg(resident));
}

void openCase(const QStringList &logs)
{
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        print(QStringLiteral("window not shown"));
    window.loadLogFiles(logs);
    print(QStringLiteral("open %1").arg(openMilliseconds(window)));
}

int runCase(const QString &name, const QString &folder)
{
    if (name == QLatin1String("decades"))
        openCase({inFolder(folder, QStringLiteral("decades.log"))});
    else if (name == QLatin1String("fell-back"))
        openCase({inFolder(folder, QStringLiteral("2000.log")), inFolder(folder, QStringLiteral("2026.log"))});
    else
        seasonCase(inFolder(folder, name + QStringLiteral(".log")));
    return 0;
}

} // namespace

namespace DailyValuesBench {

int run()
{
    QTemporaryDir dir;
    QVector<Check> checks;
    print(QStringLiteral("\n| \"Tageswerte...\" over | open | switch channel | bold days after a pan | 1,000 records join | "
                         "peak memory above the window's | resident memory of the dialog |\n|---|---:|---:|---:|---:|---:|---:|"));
    for (const Shape shape : {Shape::Smooth, Shape::Jagged}) {
        const QString name = LogGenerator::shapeName(shape);
        if (!LogGenerator::writeLog(inFolder(dir.path(), name + QStringLiteral(".log")), BenchReport::kTenMillion, shape))
            return 1;
        const QVector<double> figures = BenchReport::childFigures(kCaseOption, name, dir.path());
        QFile::remove(inFolder(dir.path(), name + QStringLiteral(".log")));
        if (figures.size() != 6)
            return 1;
        print(QStringLiteral("| 10M %1 | %2 ms | %3 ms | %4 ms | %5 ms | %6 MiB | %7 MiB |")
                  .arg(name)
                  .arg(figures[0], 0, 'f', 1)
                  .arg(figures[1], 0, 'f', 1)
                  .arg(figures[2], 0, 'f', 3)
                  .arg(figures[3], 0, 'f', 2)
                  .arg(figures[4] / 1048576, 0, 'f', 2)
                  .arg(figures[5] / 1048576, 0, 'f', 2));
        checks << Check{QStringLiteral("open over 10M %1, ms").arg(name), figures[0], kMostOpen, false}
               << Check{QStringLiteral("switching the channel, 10M %1, ms").arg(name), figures[1], kMostSwitch, false}
               << Check{QStringLiteral("bold days after a pan, 10M %1, ms").arg(name), figures[2], kMostMark, false}
               << Check{QStringLiteral("1,000 records joining, 10M %1, ms").arg(name), figures[3], kMostJoin, false}
               << Check{QStringLiteral("peak memory of the open dialog above the window's, 10M %1, bytes").arg(name),
                        figures[4], kMostBytesAboveWindow, false};
    }
    LogGenerator::writeLog(inFolder(dir.path(), QStringLiteral("decades.log")), kDecadesRecords, Shape::Smooth, 0,
                           kDecadesStep);
    LogGenerator::writeLog(inFolder(dir.path(), QStringLiteral("2000.log")), 1, Shape::Smooth, 0);
    LogGenerator::writeLog(inFolder(dir.path(), QStringLiteral("2026.log")), kDecadesRecords, Shape::Smooth, kJanuary2026);
    for (const QString &name : {QStringLiteral("decades"), QStringLiteral("fell-back")}) {
        const QVector<double> figures = BenchReport::childFigures(kCaseOption, name, dir.path());
        if (figures.size() != 1)
            return 1;
        const QString what = name == QLatin1String("decades") ? QStringLiteral("1M from 2000 to 2026")
                                                              : QStringLiteral("1M from 2026 on and one record of 2000");
        print(QStringLiteral("| %1 | %2 ms | | | | | |").arg(what).arg(figures[0], 0, 'f', 1));
        checks << Check{QStringLiteral("open over %1, ms").arg(what), figures[0], kMostOpen, false};
    }
    bool allMet = true;
    print(QString());
    BenchReport::printChecks(checks, &allMet);
    return allMet ? 0 : 1;
}

int runFromArguments(const QStringList &arguments)
{
    return BenchReport::runFromArguments(arguments, kOption, kCaseOption, run, runCase);
}

} // namespace DailyValuesBench
