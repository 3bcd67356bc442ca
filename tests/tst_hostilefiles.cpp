// What a user can throw at the Open command: broken logs, random bytes, things that are not
// files, paths that vanish, files that grow or shrink while they are read, odd names. Each time
// the program goes on, the readable files are all shown exactly, and the status bar names the
// rest.
#include "logbuilder.h"
#include "logdecoder.h"
#include "logreference.h"
#include "mainwindow.h"
#include "opendialog.h"

#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
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
using LogBuilder::kRecordSize;
using LogBuilder::steppedRecord;

namespace {

// A time stamp in March 2015, so keys are plainly not near zero.
const qint32 kMarch2015 = 478483200;
const QString kUnreadable = QStringLiteral("Nicht lesbar: ");
// Records the loader reads at one go; files changed between two reads need more than this.
const int kBlock = int(LogDecoder::kBlockRecords);

// Records of one sample a minute, starting at first.
QByteArray minuteLog(int records, qint32 first = kMarch2015)
{
    QVector<LogBuilder::Record> list;
    for (int i = 0; i < records; ++i)
        list.append(steppedRecord(first + 60 * i, qint16(200 + i % 300)));
    return LogBuilder::logBytes(list);
}

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
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
    void namesWithBlanksUmlautsAndOtherScripts();

private:
    QString path(const QString &name) const { return mDir->filePath(name); }
    QString write(const QString &name, const QByteArray &bytes);
    QString makeFifo(const QString &name);
    void chooseInDialog(const QStringList &names);
    void load(const QStringList &paths) { mWindow->loadLogFiles(paths); }
    void verifyShows(const QVector<QByteArray> &filesRead);
    QString status() const { return mWindow->statusBar()->currentMessage(); }
    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
};

void TestHostileFiles::init()
{
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void TestHostileFiles::cleanup()
{
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
void TestHostileFiles::verifyShows(const QVector<QByteArray> &filesRead)
{
    QVector<LogReference::Point> expected;
    for (const QByteArray &bytes : filesRead)
        expected += LogReference::points(bytes);
    const QVector<LogReference::Point> readOrder = expected;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const LogReference::Point &a, const LogReference::Point &b) { return a.key < b.key; });

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

// Address space this process has mapped now, from the kernel's own account.
qint64 mappedBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/status");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').first().toLongLong() * 1024;
    }
    qFatal("no VmSize in /proc/self/status");
    return 0;
}

void TestHostileFiles::moreRecordsThanMemoryHolds()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("the address sanitizer maps far more address space than the limit this test sets");
#endif
    // 40 million zero records in a sparse file: 3.2 GB of points, against 1 GB of room.
    const qint64 records = 40 * 1000 * 1000;
    QFile zeros(path("zeros.log"));
    QVERIFY(zeros.open(QIODevice::WriteOnly));
    QVERIFY(zeros.resize(kHeaderSize + records * kRecordSize));
    zeros.close();
    const QString good = write("good.log", minuteLog(3));

    rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(mappedBytes() + (qint64(1) << 30));
    QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
    load({good, zeros.fileName()});
    QCOMPARE(setrlimit(RLIMIT_AS, &saved), 0);

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

QTEST_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
