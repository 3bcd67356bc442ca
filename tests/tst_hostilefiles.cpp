// SPDX-License-Identifier: GPL-3.0-or-later
// What a user can throw at the Open command: broken logs, random bytes, things that are not
// files, paths that vanish, files that grow or shrink while they are read, odd names, loads too
// long to wait for or too large for memory. Each time the program goes on, the readable files
// are all shown exactly, and the status bar names the rest.
#include "graph/envelopegraph.h"
#include "logbuilder.h"
#include "logs/logdecoder.h"
#include "logreference.h"
#include "mainwindow.h"
#include "logs/memorybudget.h"
#include "opendialog.h"

#include <QAction>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>
#include <qcustomplot.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

using LogBuilder::kHeaderSize;
using LogBuilder::kMarch2015;
using LogBuilder::kRecordSize;
using LogBuilder::minuteLog;
using LogBuilder::steppedRecord;

namespace {

const QString kUnreadable = QStringLiteral("Nicht lesbar: ");
// Records the loader reads at one go; files changed between two reads need more than this.
const int kBlock = int(LogDecoder::kBlockRecords);

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// A field in bytes from the kernel's own account of this process: VmSize (address space
// mapped), VmRSS, VmHWM.
qint64 statusField(const QByteArray &name)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/status");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    qFatal("no %s in /proc/self/status", name.constData());
    return 0;
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void brokenLogsBesideAGoodOne_data();
    void brokenLogsBesideAGoodOne();
    void randomBytesOfManySizes();
    void sparseZerosAcrossSeveralBlocks();
    void hugeSparseZerosOnRequest();
    void moreRecordsThanMemoryHolds_data();
    void moreRecordsThanMemoryHolds();
    void fifoChosenInTheDialog();
    void deviceChosenInTheDialog();
    void otherThingsThatAreNotFiles();
    void pathThatVanishedAfterItWasChosen();
    void fileThatGrowsWhileItIsRead();
    void fileTruncatedWhileItIsRead_data();
    void fileTruncatedWhileItIsRead();
    void fileReplacedByAFifoWhileLoading();
    void fileIsReadWithBlockingReads();
    void sameFileChosenTwice();
    void runsOverFewKeysKeepReadOrder();
    void overlappingLogsMergeStably_data();
    void overlappingLogsMergeStably();
    void namesWithBlanksUmlautsAndOtherScripts();
    void cancelKeepsWhatWasRead();
    void cancelInEachPhase_data();
    void cancelInEachPhase();
    void quickLoadShowsNoDialogAndRefusesASecondLoad();
    void budgetFromMachineFiles_data();
    void budgetFromMachineFiles();

private:
    QString path(const QString &name) const { return mDir->filePath(name); }
    QString write(const QString &name, const QByteArray &bytes);
    QString makeFifo(const QString &name);
    void chooseInDialog(const QStringList &names);
    void load(const QStringList &paths) { mWindow->loadLogFiles(paths); }
    void verifyShows(const QVector<QByteArray> &filesRead, int prefix = -1);
    QString status() const { return mWindow->statusBar()->currentMessage(); }
    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
};

void TestHostileFiles::init()
{
    // Block by block: these cases count the blocks read. Cancelling runs at four threads as well.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void TestHostileFiles::cleanup()
{
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    delete mWindow;
    mWindow = nullptr;
    delete mDir;
    mDir = nullptr;
}

QString TestHostileFiles::write(const QString &name, const QByteArray &bytes)
{
    if (!LogBuilder::writeFile(path(name), bytes))
        qFatal("cannot write %s", qPrintable(path(name)));
    return path(name);
}

QString TestHostileFiles::makeFifo(const QString &name)
{
    if (mkfifo(QFile::encodeName(path(name)).constData(), 0600) != 0)
        qFatal("cannot make the FIFO %s", qPrintable(path(name)));
    return path(name);
}

void TestHostileFiles::chooseInDialog(const QStringList &names)
{
    const OpenDialog::Answer answer = OpenDialog::chooseFiles(mWindow, mDir->path(), names);
    QVERIFY(answer.seen);
    QVERIFY(!answer.stuck);
}

// The five graphs hold exactly the whole records of the given file contents, ordered by key
// with equal keys in read order, and the time axis spans the first to the last record read.
// With a prefix, they hold only that many of those ordered records, and the axis spans them.
void TestHostileFiles::verifyShows(const QVector<QByteArray> &filesRead, int prefix)
{
    QVector<LogReference::Point> expected;
    for (const QByteArray &bytes : filesRead)
        expected += LogReference::points(bytes);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const LogReference::Point &a, const LogReference::Point &b) { return a.key < b.key; });
    QVector<LogReference::Point> readOrder;
    for (const QByteArray &bytes : filesRead)
        readOrder += LogReference::points(bytes);
    if (prefix >= 0) {
        expected.resize(prefix);
        readOrder = expected;
    }

    for (int channel = 0; channel < 5; ++channel) {
        QSharedPointer<QCPGraphDataContainer> data = plot()->graph(channel)->data();
        QCOMPARE(data->size(), expected.size());
        int i = 0;
        for (const QCPGraphData &point : *data) {
            if (point.key != expected.at(i).key || point.value != expected.at(i).values[size_t(channel)])
                QFAIL(qPrintable(QString("graph %1, point %2: (%3, %4), expected (%5, %6)")
                                     .arg(channel).arg(i).arg(point.key, 0, 'f', 0).arg(point.value)
                                     .arg(expected.at(i).key, 0, 'f', 0).arg(expected.at(i).values[size_t(channel)])));
            ++i;
        }
    }
    if (readOrder.size() >= 2 && readOrder.first().key != readOrder.last().key) {
        const double first = readOrder.first().key;
        const double last = readOrder.last().key;
        QCOMPARE(plot()->xAxis->range(), QCPRange(qMin(first, last), qMax(first, last)));
    }
    QCOMPARE(plot()->yAxis->range(), QCPRange(-10, 100));
}

void TestHostileFiles::brokenLogsBesideAGoodOne_data()
{
    QTest::addColumn<QByteArray>("broken");
    QRandomGenerator random(20150324);
    const QByteArray good = minuteLog(7, kMarch2015 + 86400);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("shorter than its header") << LogBuilder::header().left(200);
    QTest::newRow("one byte short of its header") << LogBuilder::header().left(kHeaderSize - 1);
    QTest::newRow("header only") << LogBuilder::header();
    QTest::newRow("partial first record") << good.left(kHeaderSize + 40);
    QTest::newRow("partial last record") << good.left(kHeaderSize + 3 * kRecordSize + 17);
    QTest::newRow("random bytes") << randomBytes(random, kHeaderSize + 12 * kRecordSize + 29);
    QTest::newRow("random bytes, whole records") << randomBytes(random, kHeaderSize + 20 * kRecordSize);
}

void TestHostileFiles::brokenLogsBesideAGoodOne()
{
    QFETCH(QByteArray, broken);
    const QByteArray good = minuteLog(5);
    write("good.log", good);
    write("broken.log", broken);
    mWindow->statusBar()->showMessage(QStringLiteral("earlier message"));

    chooseInDialog({"good.log", "broken.log"});
    verifyShows({good, broken});
    // A broken log is still a log that was read to its end: nothing to report.
    QCOMPARE(status(), QString());
}

void TestHostileFiles::randomBytesOfManySizes()
{
    // Sizes around the end of the header, then every remainder of a second record, then a few
    // larger ones (random points are slow to draw, so only a few hundred in all).
    QRandomGenerator random(4711);
    QVector<QVector<int>> loads = {{}, {}, {}};
    for (int i = 0; i < 20; ++i) {
        loads[0].append(423 + i);
        loads[1].append(kHeaderSize + kRecordSize + 2 * i);
    }
    for (int i = 0; i < 4; ++i)
        loads[2].append(int(random.bounded(kHeaderSize + kRecordSize, kHeaderSize + 80 * kRecordSize)));

    for (const QVector<int> &sizes : qAsConst(loads)) {
        QStringList paths;
        QVector<QByteArray> files;
        for (int size : sizes) {
            files.append(randomBytes(random, size));
            paths.append(write(QString("random-%1.log").arg(paths.size()), files.last()));
        }
        load(paths);
        verifyShows(files);
        QCOMPARE(status(), QString());
    }
}

void TestHostileFiles::sparseZerosAcrossSeveralBlocks()
{
    // Three blocks' worth of zero records and a partial one; the file takes no disk space.
    const qint64 records = 3 * kBlock + 7;
    QFile zeros(path("zeros.log"));
    QVERIFY(zeros.open(QIODevice::WriteOnly));
    QVERIFY(zeros.resize(kHeaderSize + records * kRecordSize + 40));
    zeros.close();

    load({zeros.fileName(), write("after.log", minuteLog(3))});
    QCOMPARE(status(), QString());
    // Time stamp 0 is 2000-01-01 00:00:00 at UTC+01:00, all five channels 0 degrees.
    for (int channel = 0; channel < 5; ++channel) {
        QSharedPointer<QCPGraphDataContainer> data = plot()->graph(channel)->data();
        QCOMPARE(data->size(), int(records) + 3);
        QCOMPARE(data->at(0)->key, 946681200.0);
        QCOMPARE(data->at(int(records) - 1)->key, 946681200.0);
        QCOMPARE(data->at(int(records) - 1)->value, 0.0);
        QCOMPARE(data->at(int(records))->key, 946681200.0 + kMarch2015);
    }
    QCOMPARE(plot()->xAxis->range(), QCPRange(946681200.0, 946681200.0 + kMarch2015 + 120));
}

void TestHostileFiles::hugeSparseZerosOnRequest()
{
    if (!qEnvironmentVariableIsSet("VIEWER_HUGE_FILES"))
        QSKIP("reads 400 MB of zeros: run with VIEWER_HUGE_FILES=1");
    const qint64 records = qint64(400) * 1000 * 1000 / kRecordSize;
    QFile zeros(path("zeros.log"));
    QVERIFY(zeros.open(QIODevice::WriteOnly));
    QVERIFY(zeros.resize(kHeaderSize + records * kRecordSize));
    zeros.close();

    load({zeros.fileName()});
    QCOMPARE(status(), QString());
    for (int channel = 0; channel < 5; ++channel) {
        QSharedPointer<QCPGraphDataContainer> data = plot()->graph(channel)->data();
        QCOMPARE(qint64(data->size()), records);
        QCOMPARE(data->constBegin()->key, 946681200.0);
        QCOMPARE((data->constEnd() - 1)->key, 946681200.0);
        QCOMPARE((data->constEnd() - 1)->value, 0.0);
    }
    // One key only: the time axis keeps the range it had.
    QCOMPARE(plot()->xAxis->range(), QCPRange(0, 5));
}

void TestHostileFiles::moreRecordsThanMemoryHolds_data()
{
    QTest::addColumn<bool>("budgeted");
    QTest::newRow("above the memory budget: refused before taking any") << true;
    QTest::newRow("beyond the address space left: taking it fails") << false;
}

void TestHostileFiles::moreRecordsThanMemoryHolds()
{
    QFETCH(bool, budgeted);
    // 40 million zero records in a sparse file: 3.2 GB of points, against a budget of 500 MB or
    // 1 GB of address space.
    const qint64 records = 40 * 1000 * 1000;
    QFile zeros(path("zeros.log"));
    QVERIFY(zeros.open(QIODevice::WriteOnly));
    QVERIFY(zeros.resize(kHeaderSize + records * kRecordSize));
    zeros.close();
    const QString good = write("good.log", minuteLog(3));

    rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
    if (budgeted) {
        mWindow->setMemoryBudget(qint64(500) << 20);
        QFile resetPeak("/proc/self/clear_refs");
        QVERIFY(resetPeak.open(QIODevice::WriteOnly) && resetPeak.write("5") == 1);
    } else {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer maps far more address space than the limit this test sets");
#endif
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(statusField("VmSize:") + (qint64(1) << 30));
        QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
    }
    const qint64 before = statusField("VmRSS:");
    load({good, zeros.fileName()});
    QCOMPARE(setrlimit(RLIMIT_AS, &saved), 0);
    if (budgeted)
        QVERIFY(statusField("VmHWM:") - before < (qint64(50) << 20));

    QCOMPARE(status(), QString::fromUtf8("Zu gro\xC3\x9F f\xC3\xBCr den Speicher: good.log, zeros.log"));
    for (int channel = 0; channel < 5; ++channel)
        QCOMPARE(plot()->graph(channel)->dataCount(), 0);
    QCOMPARE(plot()->yAxis->range(), QCPRange(-10, 100));

    // The program goes on: the next Open reads as usual.
    load({good});
    QCOMPARE(status(), QString());
    QCOMPARE(plot()->graph(0)->dataCount(), 3);
}

void TestHostileFiles::fifoChosenInTheDialog()
{
    const QByteArray good = minuteLog(4);
    write("a.log", good);
    makeFifo("pipe.log");
    write("b.log", minuteLog(2, kMarch2015 + 3600));

    chooseInDialog({"a.log", "pipe.log", "b.log"});
    verifyShows({good, minuteLog(2, kMarch2015 + 3600)});
    QCOMPARE(status(), kUnreadable + "pipe.log");
}

void TestHostileFiles::deviceChosenInTheDialog()
{
    const QByteArray good = minuteLog(4);
    write("a.log", good);
    QVERIFY(QFile::link("/dev/zero", path("zero.log")));

    chooseInDialog({"/dev/zero", "a.log", "zero.log", "/dev/null"});
    verifyShows({good});
    QCOMPARE(status(), kUnreadable + "zero, zero.log, null");
}

void TestHostileFiles::otherThingsThatAreNotFiles()
{
    QVERIFY(QDir(mDir->path()).mkdir("folder.log"));
    QVERIFY(QFile::link(path("nowhere"), path("dangling.log")));
    const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(socketFd >= 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(path("socket.log"));
    QVERIFY(socketPath.size() < int(sizeof address.sun_path));
    qstrcpy(address.sun_path, socketPath.constData());
    QCOMPARE(bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QVERIFY(QFile::link(makeFifo("pipe"), path("to-pipe.log")));
    const QByteArray good = minuteLog(3);

    load({path("folder.log"), path("dangling.log"), path("socket.log"), write("good.log", good),
          path("to-pipe.log")});
    close(socketFd);
    verifyShows({good});
    QCOMPARE(status(), kUnreadable + "folder.log, dangling.log, socket.log, to-pipe.log");
}

void TestHostileFiles::pathThatVanishedAfterItWasChosen()
{
    const QByteArray first = minuteLog(3);
    const QByteArray last = minuteLog(2, kMarch2015 + 7200);
    const QString gone = write("gone.log", minuteLog(5));
    QVERIFY(QFile::remove(gone));
    QVERIFY(QDir(mDir->path()).mkdir("was-here"));
    const QString goneFolder = write("was-here/x.log", minuteLog(5));
    QVERIFY(QDir(path("was-here")).removeRecursively());

    load({write("first.log", first), gone, goneFolder, write("last.log", last)});
    verifyShows({first, last});
    QCOMPARE(status(), kUnreadable + "gone.log, x.log");
}

void TestHostileFiles::fileThatGrowsWhileItIsRead()
{
    // More than one block, so the file can grow between two reads of it.
    const int records = 2 * kBlock + kBlock / 2;
    const QByteArray original = minuteLog(records);
    const QString growing = write("growing.log", original + QByteArray(17, 'p'));
    const QByteArray later = minuteLog(2, kMarch2015 + 86400 * 30);
    int blocks = 0;
    mWindow->setBlockReadHook([&]() {
        if (blocks++ == 0) {
            QFile file(growing);
            QVERIFY(file.open(QIODevice::Append));
            // Finishes the partial record and adds whole ones and a partial one.
            QVERIFY(file.write(QByteArray(24, 'q') + minuteLog(500).mid(kHeaderSize) + "partial") > 0);
        }
    });

    load({growing, write("later.log", later)});
    QVERIFY(blocks >= 3);
    verifyShows({original, later});
    QCOMPARE(status(), QString());
}

void TestHostileFiles::fileTruncatedWhileItIsRead_data()
{
    QTest::addColumn<qint64>("truncatedTo");
    QTest::addColumn<int>("recordsKept");
    QTest::newRow("inside the second block, mid-record")
        << qint64(kHeaderSize + (kBlock + 100) * kRecordSize + 20) << kBlock + 100;
    QTest::newRow("at the end of the first block") << qint64(kHeaderSize + kBlock * kRecordSize) << kBlock;
    QTest::newRow("before what was read already") << qint64(kHeaderSize + 10 * kRecordSize) << kBlock;
    QTest::newRow("to nothing") << qint64(0) << kBlock;
}

void TestHostileFiles::fileTruncatedWhileItIsRead()
{
    QFETCH(qint64, truncatedTo);
    QFETCH(int, recordsKept);
    const QByteArray original = minuteLog(3 * kBlock + kBlock / 2);
    const QString shrinking = write("shrinking.log", original);
    const QByteArray after = minuteLog(2, kMarch2015 + 86400 * 60);
    int blocks = 0;
    mWindow->setBlockReadHook([&]() {
        if (blocks++ == 0)
            QVERIFY(QFile::resize(shrinking, truncatedTo));
    });

    load({shrinking, write("after.log", after)});
    // The whole records read stay, nothing past the new end is made up, and the file is named.
    verifyShows({original.left(kHeaderSize + recordsKept * kRecordSize), after});
    QCOMPARE(status(), kUnreadable + "shrinking.log");
}

void TestHostileFiles::fileReplacedByAFifoWhileLoading()
{
    const int records = kBlock + kBlock / 2;
    const QByteArray first = minuteLog(records);
    const QString firstPath = write("first.log", first);
    const QString second = write("second.log", minuteLog(10));
    const QByteArray third = minuteLog(3, kMarch2015 + 86400 * 90);
    bool replaced = false;
    mWindow->setBlockReadHook([&]() {
        if (!replaced) {
            replaced = true;
            QVERIFY(QFile::remove(second));
            makeFifo("second.log");
        }
    });

    // Opening the FIFO for reading would wait for a writer for ever.
    load({firstPath, second, write("third.log", third)});
    QVERIFY(replaced);
    verifyShows({first, third});
    QCOMPARE(status(), kUnreadable + "second.log");
}

void TestHostileFiles::fileIsReadWithBlockingReads()
{
    // The file is opened without blocking (a FIFO could have taken its place); once it is known
    // to be a regular file its reads must block again, or a slow file system would fail them.
    const QString log = write("slow.log", minuteLog(kBlock + 10));
    const QString target = QFileInfo(log).canonicalFilePath();
    QStringList flagsSeen;
    mWindow->setBlockReadHook([&]() {
        for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() != target)
                continue;
            QFile info("/proc/self/fdinfo/" + fd.fileName());
            QVERIFY(info.open(QIODevice::ReadOnly));
            for (const QByteArray &line : info.readAll().split('\n')) {
                if (line.startsWith("flags:"))
                    flagsSeen.append(QString::fromLatin1(line.mid(6).trimmed()));
            }
        }
    });

    load({log});
    QCOMPARE(status(), QString());
    QVERIFY(!flagsSeen.isEmpty());
    for (const QString &flags : qAsConst(flagsSeen))
        QCOMPARE(flags.toInt(nullptr, 8) & O_NONBLOCK, 0);
}

void TestHostileFiles::sameFileChosenTwice()
{
    const QByteArray log = minuteLog(6);
    const QString twice = write("twice.log", log);
    QVERIFY(QFile::link(twice, path("alias.log")));

    // The dialog hands over a name typed twice once.
    chooseInDialog({"twice.log", "twice.log"});
    verifyShows({log});
    QCOMPARE(status(), QString());

    // Every name is read, also two for the same file: each record then shows twice.
    chooseInDialog({"twice.log", "alias.log"});
    verifyShows({log, log});
    QCOMPARE(status(), QString());
    load({twice, twice});
    verifyShows({log, log});
    QCOMPARE(plot()->graph(4)->data()->size(), 12);
}

// Files of many short ascending runs over few distinct minutes: equal keys of different values
// across runs and files, which the merge must leave in read order.
void TestHostileFiles::runsOverFewKeysKeepReadOrder()
{
    QRandomGenerator random(12);
    QStringList paths;
    QVector<QByteArray> files;
    for (int file = 0; file < 4; ++file) {
        QVector<LogBuilder::Record> records;
        for (int run = 0; run < 60; ++run) {
            QVector<qint32> keys(int(random.bounded(1, 41)));
            for (qint32 &key : keys)
                key = kMarch2015 + 60 * int(random.bounded(400));
            std::sort(keys.begin(), keys.end());
            for (qint32 key : keys)
                records.append(steppedRecord(key, qint16(random.bounded(-99, 1000))));
        }
        files.append(LogBuilder::logBytes(records));
        paths.append(write(QString("runs-%1.log").arg(file), files.last()));
    }
    load(paths);
    verifyShows(files);
}

void TestHostileFiles::overlappingLogsMergeStably_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QVector<QByteArray>>("logs");
    const int large = 300000;
    const QByteArray log = minuteLog(large);
    // The same minutes in each file, told apart by their values.
    QVector<QByteArray> copies;
    for (int file = 0; file < 3; ++file) {
        QVector<LogBuilder::Record> records;
        for (int i = 0; i < large; ++i)
            records.append(steppedRecord(kMarch2015 + 60 * i, qint16(100 * file + i % 50)));
        copies.append(LogBuilder::logBytes(records));
    }
    QTest::newRow("one path chosen three times") << QStringList{"a.log", "a.log", "a.log"} << QVector<QByteArray>{log, log, log};
    QTest::newRow("three copies with other values") << QStringList{"a.log", "b.log", "c.log"} << copies;
    QTest::newRow("cumulative exports") << QStringList{"a.log", "b.log", "c.log"}
                                        << QVector<QByteArray>{minuteLog(large * 2 / 5), minuteLog(large * 7 / 10), log};
    QTest::newRow("a few records between large ones")
        << QStringList{"a.log", "b.log", "c.log"}
        << QVector<QByteArray>{log, minuteLog(3, kMarch2015 + 60 * large / 2), minuteLog(large, kMarch2015 + 60 * large / 3)};
    // Its first and last record ascend, so nothing tells before reading that it needs merging.
    QTest::newRow("a file that goes back in time between ascending ends")
        << QStringList{"a.log"}
        << QVector<QByteArray>{minuteLog(large, kMarch2015 + 86400 * 400) + log.mid(kHeaderSize)
                               + minuteLog(1, kMarch2015 + 86400 * 800).mid(kHeaderSize)};
}

// Overlapping logs shown exactly as a stable sort orders them, merged over more than one step;
// a file shrinking to nothing meanwhile changes nothing, its records being read.
void TestHostileFiles::overlappingLogsMergeStably()
{
    QFETCH(QStringList, names);
    QFETCH(QVector<QByteArray>, logs);
    QStringList paths;
    for (int i = 0; i < names.size(); ++i)
        paths.append(write(names[i], logs[i]));
    int steps = 0;
    mWindow->setOrderStepHook([&]() {
        if (steps++ == 0)
            QVERIFY(QFile::resize(paths.first(), 0));
    });
    load(paths);
    QVERIFY(steps > 1);
    verifyShows(logs);
    QCOMPARE(status(), QString());
}

void TestHostileFiles::namesWithBlanksUmlautsAndOtherScripts()
{
    const QStringList names = {QString::fromUtf8("Messung  M\u00e4rz 2015.log"),
                               QString::fromUtf8("\u00d6lkessel \u00df \u00e9t\u00e9.log"),
                               QString::fromUtf8("\u6e29\u5ea6 \u2103 \u0422\u0435\u043f\u043b\u043e.log")};
    QVector<QByteArray> logs;
    for (int i = 0; i < names.size(); ++i) {
        logs.append(minuteLog(3 + i, kMarch2015 + 86400 * i));
        write(names.at(i), logs.last());
    }
    const QString pipe = QString::fromUtf8("\u00dcbergabe \u00e4\u00f6\u00fc.log");
    makeFifo(pipe);

    chooseInDialog({names.at(0), pipe, names.at(1), names.at(2)});
    verifyShows(logs);
    QCOMPARE(status(), kUnreadable + pipe);
}

void TestHostileFiles::cancelKeepsWhatWasRead()
{
    const int records = 12 * kBlock;
    const QString a = write("a.log", minuteLog(records));
    const QString b = write("b.log", minuteLog(10));
    int blocks = 0;
    mWindow->setBlockReadHook([&]() {
        ++blocks;
        QThread::msleep(100);
    });
    QString label, button;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&]() {
        auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (!dialog || !label.isEmpty())
            return;
        label = dialog->labelText();
        for (QPushButton *cancel : dialog->findChildren<QPushButton *>()) {
            button = cancel->text();
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    user.start(20);

    load({a, b});
    QCOMPARE(label, QStringLiteral("Lade Logdateien..."));
    QCOMPARE(button, QStringLiteral("Abbrechen"));
    // Reading stopped after the block in which "Abbrechen" was pressed.
    QVERIFY2(blocks >= 5 && blocks < 12, qPrintable(QString::number(blocks)));
    const int read = blocks * kBlock;
    const double first = LogBuilder::kEpochOffset + kMarch2015;
    const double last = first + 60.0 * (read - 1);
    for (int channel = 0; channel < 5; ++channel) {
        QCOMPARE(plot()->graph(channel)->dataCount(), read);
        QCOMPARE((plot()->graph(channel)->data()->constEnd() - 1)->key, last);
        QCOMPARE((plot()->graph(channel)->data()->constEnd() - 1)->value, double((200 + (read - 1) % 300 + 10 * channel) / 10));
    }
    QCOMPARE(plot()->xAxis->range(), QCPRange(first, last));
    QCOMPARE(status(), QStringLiteral("Abgebrochen: a.log, b.log"));
    // Following the files does not take up what was cancelled.
    mWindow->findChild<QAction *>(QStringLiteral("actionFollow"))->setChecked(true);
    QTest::qWait(1200);
    QCOMPARE(plot()->graph(0)->dataCount(), read);
}

void TestHostileFiles::cancelInEachPhase_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<QVector<QByteArray>>("logs"); // named l0.log, l1.log, ...
    QTest::addColumn<bool>("inMerge");             // cancelled after a step of ordering, else of reading
    QTest::addColumn<int>("step");                 // a round of one block a thread, or a step
    QTest::addColumn<QVector<QByteArray>>("ordered"); // the chart shows these, ordered
    QTest::addColumn<bool>("part");                   // only the start of them, where the merge came
    QTest::addColumn<QString>("words");
    const QByteArray twoBlocks = minuteLog(2 * kBlock);
    const QByteArray longer = minuteLog(600000);
    const QByteArray later = minuteLog(300000, kMarch2015 + 86400);
    for (int threads : {1, 4}) {
        // At four threads rounds take one block, then two, then four, ...
        const bool one = threads == 1;
        const auto row = [threads](const char *name) -> QTestData & {
            return QTest::addRow("%s, %d thread%s", name, threads, threads == 1 ? "" : "s") << threads;
        };
        row("reading, the very last block")
            << QVector<QByteArray>{minuteLog(2 * kBlock + 5), minuteLog(10, kMarch2015 + 86400 * 365)} << false << (one ? 4 : 3)
            << QVector<QByteArray>{minuteLog(2 * kBlock + 5), minuteLog(10, kMarch2015 + 86400 * 365)} << false << QString();
        row("reading, the second of two overlapping files: the first is shown")
            << QVector<QByteArray>{twoBlocks, twoBlocks} << false << 3 << QVector<QByteArray>{twoBlocks} << false
            << "Abgebrochen: l1.log";
        row("merging: the shorter of two cumulative exports merged, the longer not")
            << QVector<QByteArray>{minuteLog(1000), longer} << true << 1 << QVector<QByteArray>{minuteLog(1000), longer}
            << true << "Abgebrochen: l1.log";
        row("sorting a file that goes back in time: its start read in order is shown")
            << QVector<QByteArray>{later + minuteLog(10).mid(kHeaderSize)} << true << 1 << QVector<QByteArray>{later}
            << false << "Abgebrochen: l0.log";
        row("packing what was shown: a file goes back in time between ascending ends")
            << QVector<QByteArray>{later + minuteLog(10).mid(kHeaderSize) + minuteLog(1, kMarch2015 + 86400 * 800).mid(kHeaderSize)}
            << true << 1 << QVector<QByteArray>{later} << false << "Abgebrochen: l0.log";
    }
}

// "Abbrechen" clicked after a given step of reading or ordering, the dialog being up since the
// first block; then the same files loaded at once again, to their end.
void TestHostileFiles::cancelInEachPhase()
{
    QFETCH(int, threads);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QFETCH(QVector<QByteArray>, logs);
    QFETCH(bool, inMerge);
    QFETCH(int, step);
    QFETCH(QVector<QByteArray>, ordered);
    QFETCH(bool, part);
    QFETCH(QString, words);
    QStringList paths;
    for (const QByteArray &log : logs)
        paths.append(write(QString("l%1.log").arg(paths.size()), log));
    int blocks = 0, steps = 0;
    auto cancelAt = [&](bool merging, int count) {
        if (merging == inMerge && count == step) {
            auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
        }
    };
    mWindow->setBlockReadHook([&]() {
        if (++blocks == 1)
            QThread::msleep(600);
        cancelAt(false, blocks);
    });
    mWindow->setOrderStepHook([&]() { cancelAt(true, ++steps); });

    load(paths);
    const int shown = plot()->graph(0)->dataCount();
    int all = 0;
    for (const QByteArray &log : ordered)
        all += (log.size() - kHeaderSize) / kRecordSize;
    QVERIFY2(part ? shown > 0 && shown < all : shown == all, qPrintable(QString::number(shown)));
    verifyShows(ordered, part ? shown : -1);
    QCOMPARE(status(), words);
    // The summary the graph took, built while the points were written, is theirs.
    const auto *graph = qobject_cast<EnvelopeGraph *>(plot()->graph(0));
    const QCPGraphData *points = &*graph->data()->constBegin();
    const auto extremes = std::minmax_element(points, points + shown, [](const QCPGraphData &a, const QCPGraphData &b) { return a.value < b.value; });
    const QCPRange range = graph->upToDateSummary().valueRange(points, 0, shown);
    QCOMPARE(range, QCPRange(extremes.first->value, extremes.second->value));

    mWindow->setBlockReadHook({});
    mWindow->setOrderStepHook({});
    load(paths);
    verifyShows(logs);
    QCOMPARE(status(), QString());
}

void TestHostileFiles::quickLoadShowsNoDialogAndRefusesASecondLoad()
{
    const QString a = write("a.log", minuteLog(3 * kBlock));
    const QString other = write("other.log", minuteLog(5));
    bool dialogSeen = false;
    int ticks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&]() {
        ++ticks;
        dialogSeen = dialogSeen || mWindow->findChild<QProgressDialog *>();
    });
    watch.start(10);
    mWindow->setBlockReadHook([&]() {
        QThread::msleep(60);
        // As a drop or a queued load would, from inside the running one.
        load({other});
    });

    load({a});
    QVERIFY(!dialogSeen);
    // The window's events were handled while it read.
    QVERIFY(ticks > 0);
    QCOMPARE(plot()->graph(0)->dataCount(), 3 * kBlock);
    QCOMPARE(status(), QString());
}

void TestHostileFiles::budgetFromMachineFiles_data()
{
    QTest::addColumn<QStringList>("files"); // path, then contents, in turn
    QTest::addColumn<qint64>("room");       // the least room those files give; -1: none
    const QString meminfo = "proc/meminfo";
    const QString eightGiB = "MemTotal: 16000000 kB\nMemAvailable:    8388608 kB\n";
    QTest::newRow("nothing known") << QStringList() << qint64(-1);
    QTest::newRow("MemAvailable only") << QStringList{meminfo, eightGiB} << (qint64(8) << 30);
    // 3 GiB used, 1 GiB of it inactive page cache, under a 4 GiB limit a level up: 2 GiB room.
    QTest::newRow("cgroup v2, limit on the parent")
        << QStringList{meminfo, eightGiB, "proc/self/cgroup", "0::/user/app\n",
                       "sys/fs/cgroup/user/memory.max", "4294967296\n",
                       "sys/fs/cgroup/user/memory.current", "3221225472\n",
                       "sys/fs/cgroup/user/memory.stat", "anon 1\ninactive_file 1073741824\n",
                       "sys/fs/cgroup/user/app/memory.max", "max\n",
                       "sys/fs/cgroup/user/app/memory.current", "3221225472\n"}
        << (qint64(2) << 30);
    QTest::newRow("cgroup v1, no limit then a limit")
        << QStringList{meminfo, eightGiB, "proc/self/cgroup", "5:cpu:/\n4:memory,blkio:/box\n",
                       "sys/fs/cgroup/memory/box/memory.limit_in_bytes", "9223372036854771712\n",
                       "sys/fs/cgroup/memory/box/memory.usage_in_bytes", "100\n",
                       "sys/fs/cgroup/memory/memory.limit_in_bytes", "1073741824\n",
                       "sys/fs/cgroup/memory/memory.usage_in_bytes", "536870912\n"}
        << (qint64(512) << 20);
}

void TestHostileFiles::budgetFromMachineFiles()
{
    QFETCH(QStringList, files);
    QFETCH(qint64, room);
    for (int i = 0; i + 1 < files.size(); i += 2) {
        QVERIFY(QDir(mDir->path()).mkpath(QFileInfo(files[i]).path()));
        write(files[i], files[i + 1].toUtf8());
    }
    const qint64 budget = MemoryBudget::available(mDir->path());
    if (room < 0) {
        QCOMPARE(budget, qint64(-1));
        return;
    }
    // A margin is kept back, but most of the room is given.
    QVERIFY2(budget < room && budget >= room * 3 / 4, qPrintable(QString::number(budget)));
}

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
