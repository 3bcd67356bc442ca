// SPDX-License-Identifier: GPL-3.0-or-later
#include "longloadbench.h"

#include "benchreport.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

using BenchReport::print;
using BenchReport::kMillion;

const QString kCaseOption = QStringLiteral("--long-case");
const int kFiles = 10;
// A 1M-record log (41 MB) takes about 1.5 s from a USB 2.0 stick: about 38 ms per 1 MiB block.
const double kStickSeconds = 1.5;
const int kBlocksPerMillion = 40;
// Timer ticks count as event handling; finer than any stretch worth reporting.
const int kTickMs = 1;

// Targets.
const double kLongestStretchSeconds = 0.100;
const double kReverseOverInOrder = 1.3;
const double kOverlapOverConsecutive = 1.3;
const double kCancelAnswerSeconds = 0.200;

// The big loads: 30M records as three consecutive 10M logs or as one 10M log under three names,
// and 21M as three consecutive logs or as three cumulative exports of one log.
const qint64 kBigLog = 10 * kMillion;
// 30M minutes from the start of 2000 end in 2057, within the 32-bit time stamps.
const qint32 kBigStart = 0;
struct BigLog {
    const char *name;
    qint64 records;
    qint64 startRecord; // its first time stamp, in records after the first log's
};
const BigLog kBigLogs[] = {
    {"c0.log", kBigLog, 0},          {"c1.log", kBigLog, kBigLog},    {"c2.log", kBigLog, 2 * kBigLog},
    {"p4.log", 4 * kMillion, 0},     {"p7.log", 7 * kMillion, 0},     {"q7.log", 7 * kMillion, kBigLog},
};
const char *const kCopyNames[] = {"copy-a.log", "copy-b.log", "copy-c.log"};
// Runs of each load, alternating: the machine is shared, and its fresh memory comes at times
// several times slower; the best run is the load's own cost.
const int kRuns = 3;
struct BigLoad {
    const char *name;
    QStringList logs;
};
const BigLoad kBigLoads[] = {
    {"consecutive-30M", {"c0.log", "c1.log", "c2.log"}},
    {"copies-30M", {"copy-a.log", "copy-b.log", "copy-c.log"}},
    {"consecutive-21M", {"p4.log", "q7.log", "c2.log"}},
    {"cumulative-21M", {"p4.log", "p7.log", "c0.log"}},
};
// Where "Abbrechen" is clicked in the load of the copies, by the share of the bar: reading the
// 30M records fills its first half, merging them the second.
struct CancelCase {
    const char *name;
    double barAt;
    const char *what;
};
const CancelCase kCancelCases[] = {
    {"cancel-dialog", 0.0, "as soon as the dialog shows (where memory was made ready)"},
    {"cancel-reading", 0.25, "halfway through reading"},
    {"cancel-merging", 0.75, "halfway through merging"},
};

QStringList logsIn(const QString &folder, bool newestFirst)
{
    QStringList logs;
    for (int i = 0; i < kFiles; ++i)
        logs.append(QDir(folder).filePath(QStringLiteral("month-%1.log").arg(i)));
    if (newestFirst)
        std::reverse(logs.begin(), logs.end());
    return logs;
}

// Longest stretch without events while loading, and the seconds from the start of the load,
// or from the click on "Abbrechen" when there was one, to the chart drawn.
struct Timed {
    double seconds = 0;
    double stretch = 0;
};

// Loads the logs with a timer ticking meanwhile, each block read after blockMs (the speed of a
// USB stick) or at once from the page cache; cancelAt, when not negative, is the share of the
// bar at which "Abbrechen" is clicked, as a user would.
Timed timeLoad(MainWindow &window, const QStringList &logs, unsigned long blockMs, double cancelAt)
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    auto tick = [&]() {
        const qint64 now = clock.nsecsElapsed();
        longest = qMax(longest, now - last);
        last = now;
    };
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, tick);
    qint64 clickedAt = -1;
    auto clickWhenDue = [&]() {
        auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (cancelAt < 0 || clickedAt >= 0 || !dialog || dialog->value() < cancelAt * dialog->maximum())
            return;
        QPushButton *button = dialog->findChild<QPushButton *>();
        clickedAt = clock.nsecsElapsed();
        QTest::mouseClick(button, Qt::LeftButton);
    };
    QObject::connect(&ticks, &QTimer::timeout, clickWhenDue);
    window.setBlockReadHook([&]() {
        QThread::msleep(blockMs);
        clickWhenDue();
    });
    window.setOrderStepHook(clickWhenDue);
    ticks.start(kTickMs);
    clock.start();
    window.loadLogFiles(logs);
    QCoreApplication::processEvents();
    tick();
    Timed timed;
    timed.seconds = (clock.nsecsElapsed() - qMax<qint64>(0, clickedAt)) / 1e9;
    timed.stretch = longest / 1e9;
    if (cancelAt >= 0 && clickedAt < 0)
        timed.seconds = -1;
    return timed;
}

QStringList inFolder(const QString &folder, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths.append(QDir(folder).filePath(name));
    return paths;
}

// Child side: one case, its figures printed as "name value" pairs on one line.
int runOne(const QString &name, const QString &folder)
{
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    const unsigned long stickMs = (unsigned long)(kStickSeconds * 1000 / kBlocksPerMillion);
    if (name == QLatin1String("throttled"))
        print(QStringLiteral("stretch %1").arg(timeLoad(window, logsIn(folder, false).mid(0, 1), stickMs, -1).stretch));
    else if (name == QLatin1String("all-cached"))
        print(QStringLiteral("stretch %1").arg(timeLoad(window, logsIn(folder, false), 0, -1).stretch));
    else if (name == QLatin1String("in-order") || name == QLatin1String("newest-first"))
        print(QStringLiteral("open %1").arg(timeLoad(window, logsIn(folder, name != QLatin1String("in-order")), 0, -1).seconds));
    for (const BigLoad &load : kBigLoads) {
        if (name == QLatin1String(load.name)) {
            const Timed timed = timeLoad(window, inFolder(folder, load.logs), 0, -1);
            print(QStringLiteral("open %1 stretch %2").arg(timed.seconds).arg(timed.stretch));
        }
    }
    for (const CancelCase &cancel : kCancelCases) {
        if (name == QLatin1String(cancel.name)) {
            const Timed timed = timeLoad(window, inFolder(folder, kBigLoads[1].logs), 0, cancel.barAt);
            print(QStringLiteral("answer %1 stretch %2").arg(timed.seconds).arg(timed.stretch));
        }
    }
    return 0;
}

QVector<double> runChild(const QString &name, const QString &folder)
{
    return BenchReport::childFigures(kCaseOption, name, folder);
}

double runChildFigure(const QString &name, const QString &folder)
{
    const QVector<double> figures = runChild(name, folder);
    return figures.isEmpty() ? -1 : figures.first();
}

// Reads the log once, so that the opens find it in the page cache.
bool readOnce(const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return false;
    while (!log.read(1 << 20).isEmpty()) {
    }
    return true;
}

bool writeLogs(const QString &folder)
{
    const QStringList logs = logsIn(folder, false);
    for (int i = 0; i < kFiles; ++i) {
        const qint32 start = qint32(LogGenerator::kJune2015 + i * kMillion * LogGenerator::kStepSeconds);
        if (!LogGenerator::writeLog(logs[i], kMillion, LogGenerator::Shape::Smooth, start) || !readOnce(logs[i]))
            return false;
    }
    return true;
}

// The big logs, 2 GB: a shorter log from the same start holds the first records of a longer one.
bool writeBigLogs(const QString &folder)
{
    for (const BigLog &log : kBigLogs) {
        const QString path = QDir(folder).filePath(QLatin1String(log.name));
        const qint32 start = qint32(kBigStart + log.startRecord * LogGenerator::kStepSeconds);
        if (!LogGenerator::writeLog(path, log.records, LogGenerator::Shape::Smooth, start) || !readOnce(path))
            return false;
    }
    for (const char *copy : kCopyNames) {
        if (!QFile::link(QDir(folder).filePath(QLatin1String(kBigLogs[0].name)), QDir(folder).filePath(QLatin1String(copy))))
            return false;
    }
    return true;
}

QString row(const QString &what, double measured, const QString &wanted, bool met)
{
    return QStringLiteral("| %1 | %2 | %3 | %4 |")
        .arg(what, QString::number(measured, 'f', 3), wanted, met ? QStringLiteral("yes") : QStringLiteral("NO"));
}

bool rowMet(const QString &what, double measured, double atMost)
{
    const bool met = measured >= 0 && measured <= atMost;
    print(row(what, measured, QStringLiteral("at most %1").arg(atMost), met));
    return met;
}

// The loads of 30M and 21M records, each the best of three runs, alternating; then a click on
// "Abbrechen" in each phase of the load of the copies. Every load's longest stretch without
// events is the worse of its runs.
bool runBig(const QString &folder)
{
    print(QString());
    print(QStringLiteral("Big loads: 30M records as three consecutive 10M logs and as one 10M log under three "
                         "names; 21M as consecutive logs of 4M, 7M and 10M records and as three cumulative "
                         "exports of one log (its first 4M, 7M and 10M records)"));
    if (!writeBigLogs(folder)) {
        print(QStringLiteral("cannot write the big logs"));
        return false;
    }
    const int loads = int(sizeof kBigLoads / sizeof kBigLoads[0]);
    QVector<Timed> best(loads, Timed{-1, -1});
    for (int run = 0; run < kRuns; ++run) {
        for (int load = 0; load < loads; ++load) {
            const QVector<double> figures = runChild(QLatin1String(kBigLoads[load].name), folder);
            if (figures.size() != 2)
                return false;
            best[load].seconds = run == 0 ? figures[0] : qMin(best[load].seconds, figures[0]);
            best[load].stretch = qMax(best[load].stretch, figures[1]);
        }
    }
    print(QString());
    print(QStringLiteral("| figure | measured | wanted | met |"));
    print(QStringLiteral("|---|---:|---:|---|"));
    bool met = true;
    for (int load = 0; load < loads; ++load) {
        const QString name = QLatin1String(kBigLoads[load].name);
        print(row(name + QStringLiteral(": open, s"), best[load].seconds, QStringLiteral("-"), best[load].seconds > 0));
        met = rowMet(name + QStringLiteral(": longest stretch without events, s"), best[load].stretch,
                     kLongestStretchSeconds) && met;
    }
    met = rowMet(QStringLiteral("copies-30M / consecutive-30M"), best[1].seconds / best[0].seconds,
                 kOverlapOverConsecutive) && met;
    met = rowMet(QStringLiteral("cumulative-21M / consecutive-21M"), best[3].seconds / best[2].seconds,
                 kOverlapOverConsecutive) && met;
    for (const CancelCase &cancel : kCancelCases) {
        const QVector<double> figures = runChild(QLatin1String(cancel.name), folder);
        const QString what = QStringLiteral("copies-30M, \"Abbrechen\" ") + QLatin1String(cancel.what);
        met = rowMet(what + QStringLiteral(": click to chart drawn, s"), figures.value(0, -1), kCancelAnswerSeconds) && met;
        met = rowMet(what + QStringLiteral(": longest stretch without events, s"), figures.value(1, -1),
                     kLongestStretchSeconds) && met;
    }
    return met;
}

} // namespace

namespace LongLoadBench {

int runFromArguments(const QStringList &arguments)
{
    return BenchReport::runFromArguments(arguments, QStringLiteral("--long-loads"), kCaseOption, run, runOne);
}

int run()
{
    QTemporaryDir dir;
    print(QString());
    print(QStringLiteral("Long loads: %1 logs of 1M records, one month after another").arg(kFiles));
    if (!dir.isValid() || !writeLogs(dir.path())) {
        print(QStringLiteral("cannot write the logs"));
        return 1;
    }
    const double stretch = runChildFigure(QStringLiteral("throttled"), dir.path());
    const double stretchAll = runChildFigure(QStringLiteral("all-cached"), dir.path());
    // The best runs of each, alternating, so that neither order finds the other's pages.
    double inOrder = -1, newestFirst = -1;
    for (int run = 0; run < kRuns; ++run) {
        const double forward = runChildFigure(QStringLiteral("in-order"), dir.path());
        const double backward = runChildFigure(QStringLiteral("newest-first"), dir.path());
        inOrder = run == 0 ? forward : qMin(inOrder, forward);
        newestFirst = run == 0 ? backward : qMin(newestFirst, backward);
    }
    print(QString());
    print(QStringLiteral("| figure | measured | wanted | met |"));
    print(QStringLiteral("|---|---:|---:|---|"));
    const bool calm = stretch >= 0 && stretch <= kLongestStretchSeconds;
    print(row(QStringLiteral("1M records at USB 2.0 speed: longest stretch without events, s"), stretch,
              QStringLiteral("at most %1").arg(kLongestStretchSeconds), calm));
    const bool calmAll = stretchAll >= 0 && stretchAll <= kLongestStretchSeconds;
    print(row(QStringLiteral("10 × 1M records from the page cache: longest stretch without events, s"), stretchAll,
              QStringLiteral("at most %1").arg(kLongestStretchSeconds), calmAll));
    print(row(QStringLiteral("10 × 1M records in time order: open, s"), inOrder, QStringLiteral("-"), inOrder > 0));
    print(row(QStringLiteral("10 × 1M records newest first: open, s"), newestFirst, QStringLiteral("-"), newestFirst > 0));
    const double ratio = newestFirst / inOrder;
    const bool quick = inOrder > 0 && newestFirst > 0 && ratio <= kReverseOverInOrder;
    print(row(QStringLiteral("newest first / in time order"), ratio,
              QStringLiteral("at most %1").arg(kReverseOverInOrder), quick));
    // The big loads are measured whatever came before: a figure missed hides no other.
    const bool big = runBig(dir.path());
    return calm && calmAll && quick && big ? 0 : 1;
}

} // namespace LongLoadBench
