// SPDX-License-Identifier: GPL-3.0-or-later
#include "followbench.h"

#include "benchreport.h"
#include "window/following.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>

namespace {

using BenchReport::median;
using BenchReport::print;
using BenchReport::kTenMillion;

const QString kCaseOption = QStringLiteral("--follow-case");
const qint64 kHeaderBytes = 433;
const qint64 kRecordBytes = 41;

const int kAppendRecords = 1000;
const int kAppends = 7;
const int kUnchangedFiles = 20;
const qint64 kSmallLog = 1000;
const int kLooks = 2000;
// The window looks twice a second.
const int kLooksPerSecond = 2;
// The writer: a log of 100,000 records, then 100 records a second for ten minutes, written a
// half second's worth at a time, each write ending inside a record by a few bytes more each time.
const qint64 kWriterStart = 100000;
const int kWriterSteps = 1200;
const qint64 kWriterRecordsPerStep = 50;

// Targets.
const double kMostAppendMilliseconds = 5;
const double kMostLooksMillisecondsPerSecond = 1;
const double kMostAnswerSeconds = 0.1;
// A record's points in the five graphs and their share of the graphs' summaries, which hold three
// doubles for every 32 points; and a byte for what the allocator's pages round (30 kB over the
// records weighed).
const double kMostBytesPerRecord = 5 * 16 + 5 * 24.0 / 32 + 1;
const double kMostOlderOverLoad = 1;

QString inFolder(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name);
}

// Bytes [from, to) of source appended to target, as a logger writes them.
bool copyBytes(const QString &source, const QString &target, qint64 from, qint64 to)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::Append) || !in.seek(from))
        return false;
    const QByteArray bytes = in.read(to - from);
    return bytes.size() == to - from && out.write(bytes) == bytes.size();
}

// The source log's first records as a log of its own, the followed one.
bool startFrom(const QString &source, const QString &target, qint64 records)
{
    QFile::remove(target);
    return QFile::copy(source, target) && QFile::resize(target, kHeaderBytes + records * kRecordBytes);
}

Following *followingOf(MainWindow &window)
{
    auto *follow = window.findChild<QAction *>(QStringLiteral("actionFollow"));
    if (!follow->isChecked())
        follow->trigger();
    return window.findChild<Following *>();
}

// A shown window following a log that holds the first records of a source log.
struct FollowedLog {
    FollowedLog(const QString &folder, const QString &sourceName, qint64 records)
        : source(inFolder(folder, sourceName))
        , log(inFolder(folder, QStringLiteral("followed.log")))
    {
        startFrom(source, log, records);
        plot = BenchReport::loadedChart(window, log);
        following = followingOf(window);
    }
    // Bytes [from, to) of the source appended to the log.
    void write(qint64 from, qint64 to) const { copyBytes(source, log, from, to); }

    QString source;
    QString log;
    MainWindow window;
    QCustomPlot *plot = nullptr;
    Following *following = nullptr;
};

// Milliseconds of one look that finds new records: to the redraw, and of the redraw with the
// paint that follows it.
struct LookTimes {
    double append = 0;
    double redraw = 0;
};

LookTimes timeLook(Following *following, QCustomPlot *plot)
{
    QElapsedTimer clock;
    qint64 redrawStart = -1;
    const QMetaObject::Connection connection =
        QObject::connect(plot, &QCustomPlot::beforeReplot, [&]() { redrawStart = clock.nsecsElapsed(); });
    clock.start();
    following->look();
    QCoreApplication::processEvents();
    const qint64 end = clock.nsecsElapsed();
    QObject::disconnect(connection);
    if (redrawStart < 0)
        return {-1, -1};
    return {redrawStart / 1e6, (end - redrawStart) / 1e6};
}

bool samePoints(QCustomPlot *a, QCustomPlot *b)
{
    for (int graph = 0; graph < a->graphCount(); ++graph) {
        const auto &x = *a->graph(graph)->data();
        const auto &y = *b->graph(graph)->data();
        if (x.size() != y.size()
            || !std::equal(x.constBegin(), x.constEnd(), y.constBegin(), [](const QCPGraphData &p, const QCPGraphData &q) {
                   return p.key == q.key && p.value == q.value;
               }))
            return false;
    }
    return true;
}

// ---- child side: one case, figures printed as "name value" pairs on one line ----

void appendCase(const QString &folder)
{
    FollowedLog followed(folder, QStringLiteral("source-10M.log"), kTenMillion);
    QVector<double> appends, redraws;
    for (int i = 0; i < kAppends; ++i) {
        const qint64 from = kHeaderBytes + (kTenMillion + i * kAppendRecords) * kRecordBytes;
        followed.write(from, from + kAppendRecords * kRecordBytes);
        const LookTimes times = timeLook(followed.following, followed.plot);
        appends.append(times.append);
        redraws.append(times.redraw);
    }
    const double full = BenchReport::medianMilliseconds(kAppends, [&](int) { followed.plot->replot(QCustomPlot::rpImmediateRefresh); });
    print(QStringLiteral("append %1 redraw %2 full %3").arg(median(appends)).arg(median(redraws)).arg(full));
}

void looksCase(const QString &folder)
{
    QStringList logs;
    for (int i = 0; i < kUnchangedFiles; ++i) {
        logs.append(inFolder(folder, QStringLiteral("unchanged-%1.log").arg(i)));
        LogGenerator::writeLog(logs.last(), kSmallLog, LogGenerator::Shape::Smooth,
                               qint32(LogGenerator::kJune2015 + i * kSmallLog * LogGenerator::kStepSeconds));
    }
    MainWindow window;
    window.show();
    window.loadLogFiles(logs);
    Following *following = followingOf(window);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kLooks; ++i)
        following->look();
    print(QStringLiteral("look %1").arg(clock.nsecsElapsed() / 1e6 / kLooks));
}

// Records from the middle of the chart's time span on, appended to its end: the merge moves
// half the points. Then a fresh load of the same log.
void olderCase(const QString &folder)
{
    FollowedLog followed(folder, QStringLiteral("source-10M.log"), kTenMillion);
    const qint64 middle = kHeaderBytes + kTenMillion / 2 * kRecordBytes;
    followed.write(middle, middle + kAppendRecords * kRecordBytes);
    const LookTimes older = timeLook(followed.following, followed.plot);
    QElapsedTimer clock;
    clock.start();
    followed.window.loadLogFiles({followed.log});
    followed.plot->replot(QCustomPlot::rpImmediateRefresh);
    print(QStringLiteral("older %1 load %2").arg(older.append + older.redraw).arg(clock.nsecsElapsed() / 1e6));
}

void writerCase(const QString &folder)
{
    FollowedLog followed(folder, QStringLiteral("source-writer.log"), kWriterStart);
    followed.following->look();
    // Memory is weighed over the second half, when the window's first drawings and the file
    // reads' buffers have taken what they keep.
    qint64 before = 0;
    qint64 written = kHeaderBytes + kWriterStart * kRecordBytes;
    QVector<double> answers;
    for (int step = 1; step <= kWriterSteps; ++step) {
        const qint64 until = kHeaderBytes + (kWriterStart + step * kWriterRecordsPerStep) * kRecordBytes
                             + (step < kWriterSteps ? step % kRecordBytes : 0);
        followed.write(written, until);
        written = until;
        QElapsedTimer clock;
        clock.start();
        followed.following->look();
        QCoreApplication::processEvents();
        answers.append(clock.nsecsElapsed() / 1e9);
        if (step == kWriterSteps / 2)
            before = BenchReport::statusBytes("VmRSS:");
    }
    const qint64 grown = BenchReport::statusBytes("VmRSS:") - before;
    const qint64 records = kWriterSteps / 2 * kWriterRecordsPerStep;
    MainWindow fresh;
    QCustomPlot *reference = BenchReport::loadedChart(fresh, followed.log);
    print(QStringLiteral("longest %1 median %2 bytes %3 equal %4")
              .arg(*std::max_element(answers.begin(), answers.end()))
              .arg(median(answers))
              .arg(double(grown) / records)
              .arg(samePoints(followed.plot, reference) ? 1 : 0));
}

int runOne(const QString &name, const QString &folder)
{
    if (name == QLatin1String("append"))
        appendCase(folder);
    else if (name == QLatin1String("looks"))
        looksCase(folder);
    else if (name == QLatin1String("older"))
        olderCase(folder);
    else if (name == QLatin1String("writer"))
        writerCase(folder);
    else
        return 2;
    return 0;
}

QVector<double> figures(const QString &name, const QString &folder)
{
    return BenchReport::childFigures(kCaseOption, name, folder);
}

struct Row {
    QString what;
    double figure;
    QString unit;
    double target;
    bool atLeast;
};

} // namespace

namespace FollowBench {

int runFromArguments(const QStringList &arguments)
{
    return BenchReport::runFromArguments(arguments, QStringLiteral("--following"), kCaseOption, run, runOne);
}

int run()
{
    QTemporaryDir dir;
    print(QString());
    print(QStringLiteral("Following: logs written while the window follows them"));
    const qint64 writerRecords = kWriterStart + kWriterSteps * kWriterRecordsPerStep;
    if (!dir.isValid()
        || !LogGenerator::writeLog(inFolder(dir.path(), QStringLiteral("source-10M.log")), kTenMillion + kAppends * kAppendRecords,
                                   LogGenerator::Shape::Jagged)
        || !LogGenerator::writeLog(inFolder(dir.path(), QStringLiteral("source-writer.log")), writerRecords,
                                   LogGenerator::Shape::Smooth, LogGenerator::kJune2015, 1)) {
        print(QStringLiteral("cannot write the logs"));
        return 1;
    }
    const QVector<double> append = figures(QStringLiteral("append"), dir.path());
    const QVector<double> looks = figures(QStringLiteral("looks"), dir.path());
    const QVector<double> older = figures(QStringLiteral("older"), dir.path());
    const QVector<double> writer = figures(QStringLiteral("writer"), dir.path());
    if (append.size() != 3 || looks.size() != 1 || older.size() != 2 || writer.size() != 4)
        return 1;
    const QVector<Row> rows = {
        {QStringLiteral("1,000 records appended to 10M jagged, look to redraw (median of %1)").arg(kAppends), append[0],
         QStringLiteral("ms"), kMostAppendMilliseconds, false},
        {QStringLiteral("its redraw and paint"), append[1], QStringLiteral("ms"), -1, false},
        {QStringLiteral("a full redraw of the same chart"), append[2], QStringLiteral("ms"), -1, false},
        {QStringLiteral("looks at %1 unchanged files, a second's worth (%2 looks)").arg(kUnchangedFiles).arg(kLooksPerSecond),
         looks[0] * kLooksPerSecond, QStringLiteral("ms"), kMostLooksMillisecondsPerSecond, false},
        {QStringLiteral("1,000 records from the middle of 10M appended, look to paint"), older[0], QStringLiteral("ms"), -1, false},
        {QStringLiteral("a fresh load of the same log, to paint"), older[1], QStringLiteral("ms"), -1, false},
        {QStringLiteral("older records' merge over a fresh load"), older[0] / older[1], QStringLiteral("×"), kMostOlderOverLoad, false},
        {QStringLiteral("writer 100 records/s for 10 min onto 100k: longest look to paint"), writer[0] * 1000,
         QStringLiteral("ms"), kMostAnswerSeconds * 1000, false},
        {QStringLiteral("the same, median"), writer[1] * 1000, QStringLiteral("ms"), -1, false},
        {QStringLiteral("resident memory grown per record added, second half (points 80 B, summaries 3.75 B)"), writer[2], QStringLiteral("B"), kMostBytesPerRecord, false},
        {QStringLiteral("chart equals a fresh load of the written log, point for point"), writer[3], QString(), 1, true},
    };
    print(QString());
    print(QStringLiteral("| figure | value | target | met |"));
    print(QStringLiteral("|---|---:|---:|---|"));
    bool allMet = true;
    for (const Row &row : rows) {
        const bool met = row.target < 0 || (row.atLeast ? row.figure >= row.target : row.figure <= row.target);
        allMet = allMet && met;
        print(QStringLiteral("| %1 | %2 %3 | %4 | %5 |")
                  .arg(row.what)
                  .arg(row.figure, 0, 'f', row.unit == QLatin1String("ms") ? 3 : 2)
                  .arg(row.unit)
                  .arg(row.target < 0 ? QString() : (row.atLeast ? QStringLiteral("≥ ") : QStringLiteral("≤ ")) + QString::number(row.target))
                  .arg(row.target < 0 ? QString() : met ? QStringLiteral("yes") : QStringLiteral("NO")));
    }
    return allMet ? 0 : 1;
}

} // namespace FollowBench
