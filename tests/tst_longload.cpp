// Long loads: the progress dialog and its "Abbrechen", loads too quick for a dialog, the memory
// budget, and the merge of ascending runs, which must give exactly what a stable sort gives.
#include "logbuilder.h"
#include "logdecoder.h"
#include "logreference.h"
#include "mainwindow.h"
#include "memorybudget.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <random>

namespace {

const qint32 kMarch2015 = 478483200;
const int kBlock = int(LogDecoder::kBlockRecords);

QByteArray minuteLog(int records)
{
    QVector<LogBuilder::Record> list;
    for (int i = 0; i < records; ++i)
        list.append(LogBuilder::steppedRecord(kMarch2015 + 60 * i, qint16(i % 900)));
    return LogBuilder::logBytes(list);
}

qint64 statusField(const QByteArray &name)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/status");
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

} // namespace

class TestLongLoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cancelKeepsWhatWasRead();
    void quickLoadShowsNoDialogAndRefusesASecondLoad();
    void loadAboveTheBudgetTakesNoMemory();
    void mergedRunsEqualAStableSort();
    void budgetFromMachineFiles_data();
    void budgetFromMachineFiles();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    QString status() const { return mWindow->statusBar()->currentMessage(); }

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
};

void TestLongLoad::init()
{
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void TestLongLoad::cleanup()
{
    delete mWindow;
    delete mDir;
}

QString TestLongLoad::write(const QString &name, const QByteArray &bytes)
{
    if (!LogBuilder::writeFile(mDir->filePath(name), bytes))
        qFatal("cannot write %s", qPrintable(name));
    return mDir->filePath(name);
}

void TestLongLoad::cancelKeepsWhatWasRead()
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

    mWindow->loadLogFiles({a, b});
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
        QCOMPARE((plot()->graph(channel)->data()->constEnd() - 1)->value, double(((read - 1) % 900 + 10 * channel) / 10));
    }
    QCOMPARE(plot()->xAxis->range(), QCPRange(first, last));
    QCOMPARE(status(), QStringLiteral("Abgebrochen: a.log, b.log"));
}

void TestLongLoad::quickLoadShowsNoDialogAndRefusesASecondLoad()
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
        mWindow->loadLogFiles({other});
    });

    mWindow->loadLogFiles({a});
    QVERIFY(!dialogSeen);
    // The window's events were handled while it read.
    QVERIFY(ticks > 0);
    QCOMPARE(plot()->graph(0)->dataCount(), 3 * kBlock);
    QCOMPARE(status(), QString());
}

void TestLongLoad::loadAboveTheBudgetTakesNoMemory()
{
    // 10 million zero records in a sparse file: 800 MB of points.
    QFile zeros(mDir->filePath("zeros.log"));
    QVERIFY(zeros.open(QIODevice::WriteOnly));
    QVERIFY(zeros.resize(LogBuilder::kHeaderSize + qint64(10000000) * LogBuilder::kRecordSize));
    zeros.close();
    const QString good = write("good.log", minuteLog(3));
    mWindow->setMemoryBudget(qint64(500) << 20);
    QFile resetPeak("/proc/self/clear_refs");
    QVERIFY(resetPeak.open(QIODevice::WriteOnly) && resetPeak.write("5") == 1);
    resetPeak.close();
    const qint64 before = statusField("VmRSS:");

    mWindow->loadLogFiles({good, zeros.fileName()});
    QVERIFY(statusField("VmHWM:") - before < (qint64(50) << 20));
    QCOMPARE(status(), QString::fromUtf8("Zu gro\xC3\x9F f\xC3\xBCr den Speicher: good.log, zeros.log"));
    QCOMPARE(plot()->graph(0)->dataCount(), 0);

    mWindow->loadLogFiles({good});
    QCOMPARE(plot()->graph(0)->dataCount(), 3);
}

// Several files, each of many short ascending runs over few distinct keys: many equal keys
// across runs and files, which must keep read order.
void TestLongLoad::mergedRunsEqualAStableSort()
{
    std::mt19937 random(12);
    std::uniform_int_distribution<int> key(0, 400), length(1, 40), tenths(-99, 999);
    QStringList names;
    QVector<LogReference::Point> expected;
    for (int file = 0; file < 4; ++file) {
        QVector<LogBuilder::Record> records;
        for (int run = 0; run < 60; ++run) {
            QVector<qint32> keys(length(random));
            for (qint32 &k : keys)
                k = kMarch2015 + key(random);
            std::sort(keys.begin(), keys.end());
            for (qint32 k : keys)
                records.append(LogBuilder::steppedRecord(k, qint16(tenths(random))));
        }
        const QByteArray bytes = LogBuilder::logBytes(records);
        names.append(write(QString("%1.log").arg(file), bytes));
        expected += LogReference::points(bytes);
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const LogReference::Point &a, const LogReference::Point &b) { return a.key < b.key; });

    mWindow->loadLogFiles(names);
    for (int channel = 0; channel < 5; ++channel) {
        QSharedPointer<QCPGraphDataContainer> data = plot()->graph(channel)->data();
        QCOMPARE(data->size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            if (data->at(i)->key != expected[i].key || data->at(i)->value != expected[i].values[size_t(channel)])
                QFAIL(qPrintable(QString("graph %1, point %2 differs").arg(channel).arg(i)));
        }
    }
}

void TestLongLoad::budgetFromMachineFiles_data()
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

void TestLongLoad::budgetFromMachineFiles()
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

QTEST_MAIN(TestLongLoad)
#include "tst_longload.moc"
