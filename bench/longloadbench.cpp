#include "longloadbench.h"

#include "benchreport.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
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

QStringList logsIn(const QString &folder, bool newestFirst)
{
    QStringList logs;
    for (int i = 0; i < kFiles; ++i)
        logs.append(QDir(folder).filePath(QStringLiteral("month-%1.log").arg(i)));
    if (newestFirst)
        std::reverse(logs.begin(), logs.end());
    return logs;
}

// Seconds to open the logs, from the file list to the chart drawn.
double openSeconds(MainWindow &window, const QStringList &logs)
{
    QElapsedTimer timer;
    timer.start();
    window.loadLogFiles(logs);
    QCoreApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

// Longest time between two turns of the event loop while the logs load, read at the speed of a
// USB stick or, unthrottled, from the page cache.
double longestStretchSeconds(MainWindow &window, const QStringList &logs, bool throttled)
{
    const unsigned long sleepMs = (unsigned long)(kStickSeconds * 1000 / kBlocksPerMillion);
    if (throttled)
        window.setBlockReadHook([sleepMs]() { QThread::msleep(sleepMs); });
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
    ticks.start(kTickMs);
    clock.start();
    window.loadLogFiles(logs);
    tick();
    return longest / 1e9;
}

// Child side: one case, its figure printed as "name value".
int runOne(const QString &name, const QString &folder)
{
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    if (name == QLatin1String("throttled"))
        print(QStringLiteral("stretch %1").arg(longestStretchSeconds(window, logsIn(folder, false).mid(0, 1), true)));
    else if (name == QLatin1String("all-cached"))
        print(QStringLiteral("stretch %1").arg(longestStretchSeconds(window, logsIn(folder, false), false)));
    else if (name == QLatin1String("in-order") || name == QLatin1String("newest-first"))
        print(QStringLiteral("open %1").arg(openSeconds(window, logsIn(folder, name != QLatin1String("in-order")))));
    else
        return 2;
    return 0;
}

double runChild(const QString &name, const QString &folder)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {kCaseOption, name, folder});
    child.waitForFinished(-1);
    const QList<QByteArray> parts = child.readAllStandardOutput().trimmed().split(' ');
    if (child.exitCode() != 0 || parts.size() != 2) {
        print(QStringLiteral("case %1 failed").arg(name));
        return -1;
    }
    return parts[1].toDouble();
}

// Each log written, synced and read once, so that the opens find it in the page cache.
bool writeLogs(const QString &folder)
{
    const QStringList logs = logsIn(folder, false);
    for (int i = 0; i < kFiles; ++i) {
        const qint32 start = qint32(LogGenerator::kJune2015 + i * kMillion * LogGenerator::kStepSeconds);
        QFile log(logs[i]);
        if (!LogGenerator::writeLog(logs[i], kMillion, LogGenerator::Shape::Smooth, start)
            || !log.open(QIODevice::ReadOnly))
            return false;
        while (!log.read(1 << 20).isEmpty()) {
        }
    }
    return true;
}

QString row(const QString &what, double measured, const QString &wanted, bool met)
{
    return QStringLiteral("| %1 | %2 | %3 | %4 |")
        .arg(what, QString::number(measured, 'f', 3), wanted, met ? QStringLiteral("yes") : QStringLiteral("NO"));
}

} // namespace

namespace LongLoadBench {

int runFromArguments(const QStringList &arguments)
{
    if (arguments.size() == 2 && arguments[1] == QLatin1String("--long-loads"))
        return run();
    if (arguments.size() == 4 && arguments[1] == kCaseOption)
        return runOne(arguments[2], arguments[3]);
    return -1;
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
    const double stretch = runChild(QStringLiteral("throttled"), dir.path());
    const double stretchAll = runChild(QStringLiteral("all-cached"), dir.path());
    // The better of two runs each, alternating, so that neither order finds the other's pages.
    double inOrder = -1, newestFirst = -1;
    for (int run = 0; run < 2; ++run) {
        const double forward = runChild(QStringLiteral("in-order"), dir.path());
        const double backward = runChild(QStringLiteral("newest-first"), dir.path());
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
    return calm && calmAll && quick ? 0 : 1;
}

} // namespace LongLoadBench
