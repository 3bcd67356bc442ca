// SPDX-License-Identifier: GPL-3.0-or-later
// The Open command: the real file dialog answered as a user would, then the graphs' points, both
// axes and the status bar; failure paths through the loading seam.
#include "logbuilder.h"
#include "mainwindow.h"
#include "opendialog.h"

#include <QFileDialog>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <sys/stat.h>

using LogBuilder::Record;
using LogBuilder::steppedRecord;

namespace {

double keyOf(qint32 timeStamp)
{
    return double(timeStamp + LogBuilder::kEpochOffset);
}

// A time stamp in June 2015, so keys are plainly not near zero.
const qint32 kJune2015 = 488419200;

} // namespace

class TestOpenLogs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuOpenReadsChosenFilesInOrder();
    void cancelChangesNothing();
    void filesOutOfTimeOrderAreSortedAndSpanReadOrder();
    void equalKeysAreAllKeptInReadOrder();
    void descendingRecordsWithinAFileAreSorted();
    void filesWithoutRecordsLeaveTheSpanOfTheLastFileWithRecords();
    void noRecordsAtAllLeavesTheTimeAxis();
    void fifoAmongFilesIsPassedOverAndReported();
    void reopeningReplacesOldDataAndClearsTheMessage();
    void unreadableFilesAreNamedAndTheRestIsRead();
    void firstRecordWithKeyZeroStartsTheTimeAxis();
    void singleRecordKeepsTheTimeAxis();
    void partialRecordsAreDropped();
    void recordLimitKeepsWhatFitsAndReportsTheRest();
    void openStartsInTheFolderOfTheLastLog_data();
    void openStartsInTheFolderOfTheLastLog();

private:
    QString writeLog(const QString &name, const QVector<Record> &records);
    QString writeBytes(const QString &name, const QByteArray &bytes);
    void chooseFiles(const QStringList &names);
    void cancelOpen();

    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    QString status() const { return mWindow->statusBar()->currentMessage(); }
    QVector<double> keys(int graph) const;
    QVector<double> values(int graph) const;
    void verifySteppedPoints(const QVector<double> &expectedKeys, const QVector<qint16> &bases);

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
    QTemporaryDir mSettingsDir;
    OpenDialog::Answer mDialog;
};

void TestOpenLogs::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, mSettingsDir.path());
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void TestOpenLogs::cleanup()
{
    delete mWindow;
    mWindow = nullptr;
    delete mDir;
    mDir = nullptr;
}

QString TestOpenLogs::writeBytes(const QString &name, const QByteArray &bytes)
{
    const QString path = mDir->filePath(name);
    if (!LogBuilder::writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestOpenLogs::writeLog(const QString &name, const QVector<Record> &records)
{
    return writeBytes(name, LogBuilder::logBytes(records));
}

void TestOpenLogs::chooseFiles(const QStringList &names)
{
    mDialog = OpenDialog::chooseFiles(mWindow, mDir->path(), names);
    QVERIFY(mDialog.seen);
    QVERIFY(!mDialog.stuck);
}

void TestOpenLogs::cancelOpen()
{
    mDialog = OpenDialog::cancelOpen(mWindow);
    QVERIFY(mDialog.seen);
    QVERIFY(!mDialog.stuck);
}

QVector<double> TestOpenLogs::keys(int graph) const
{
    QVector<double> result;
    for (const QCPGraphData &point : *plot()->graph(graph)->data())
        result.append(point.key);
    return result;
}

QVector<double> TestOpenLogs::values(int graph) const
{
    QVector<double> result;
    for (const QCPGraphData &point : *plot()->graph(graph)->data())
        result.append(point.value);
    return result;
}

// Every graph holds the keys given, and graph g the values base / 10 + g of steppedRecord.
void TestOpenLogs::verifySteppedPoints(const QVector<double> &expectedKeys, const QVector<qint16> &bases)
{
    for (int graph = 0; graph < 5; ++graph) {
        QVector<double> expectedValues;
        for (qint16 base : bases)
            expectedValues.append(double((base + 10 * graph) / 10));
        QCOMPARE(keys(graph), expectedKeys);
        QCOMPARE(values(graph), expectedValues);
    }
}

void TestOpenLogs::menuOpenReadsChosenFilesInOrder()
{
    writeLog("a.log", {{kJune2015, {235, -47, -5, 9, -10}}, steppedRecord(kJune2015 + 60, 100),
                       steppedRecord(kJune2015 + 120, 110)});
    writeLog("b.log", {steppedRecord(kJune2015 + 180, -119), steppedRecord(kJune2015 + 240, 999)});
    plot()->yAxis->setRange(0, 50);
    mWindow->statusBar()->showMessage("alt");
    QSignalSpy replots(plot(), &QCustomPlot::afterReplot);

    chooseFiles({"a.log", "b.log"});

    QCOMPARE(mDialog.mode, QFileDialog::ExistingFiles);
    QCOMPARE(mDialog.parent, nullptr);
    const QVector<double> expectedKeys = {keyOf(kJune2015), keyOf(kJune2015 + 60), keyOf(kJune2015 + 120),
                                          keyOf(kJune2015 + 180), keyOf(kJune2015 + 240)};
    for (int graph = 0; graph < 5; ++graph)
        QCOMPARE(keys(graph), expectedKeys);
    const double firstValues[] = {23, -4, 0, 0, -1};
    const double lastButOne[] = {-11, -10, -9, -8, -7}; // -11.9 .. -7.9 truncated toward zero
    for (int graph = 0; graph < 5; ++graph) {
        const QVector<double> expected = {firstValues[graph], 10.0 + graph, 11.0 + graph,
                                          lastButOne[graph], 99.0 + graph};
        QCOMPARE(values(graph), expected);
    }
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 240)));
    QCOMPARE(plot()->yAxis->range(), QCPRange(-10, 100));
    QCOMPARE(status(), QString());
    QCOMPARE(replots.count(), 1);
}

void TestOpenLogs::cancelChangesNothing()
{
    const QString a = writeLog("a.log", {steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    mWindow->loadLogFiles({a});
    plot()->xAxis->setRange(100, 200);
    plot()->yAxis->setRange(0, 50);
    mWindow->statusBar()->showMessage(QString::fromUtf8("frühere Meldung"));
    QSignalSpy replots(plot(), &QCustomPlot::afterReplot);

    cancelOpen();

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60)}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(100, 200));
    QCOMPARE(plot()->yAxis->range(), QCPRange(0, 50));
    QCOMPARE(status(), QString::fromUtf8("frühere Meldung"));
    QCOMPARE(replots.count(), 0);
}

void TestOpenLogs::filesOutOfTimeOrderAreSortedAndSpanReadOrder()
{
    writeLog("late.log", {steppedRecord(kJune2015 + 5000, 500), steppedRecord(kJune2015 + 5060, 560)});
    writeLog("early.log", {steppedRecord(kJune2015 + 1000, 100), steppedRecord(kJune2015 + 1060, 160)});

    chooseFiles({"late.log", "early.log"});

    verifySteppedPoints({keyOf(kJune2015 + 1000), keyOf(kJune2015 + 1060), keyOf(kJune2015 + 5000),
                         keyOf(kJune2015 + 5060)},
                        {100, 160, 500, 560});
    // From the first record read (late) to the last one read (early), bounds exchanged.
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015 + 1060), keyOf(kJune2015 + 5000)));
}

void TestOpenLogs::equalKeysAreAllKeptInReadOrder()
{
    writeLog("a.log", {steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    writeLog("b.log", {steppedRecord(kJune2015, 300), steppedRecord(kJune2015 + 60, 400)});

    chooseFiles({"a.log", "b.log"});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015), keyOf(kJune2015 + 60), keyOf(kJune2015 + 60)},
                        {100, 300, 200, 400});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 60)));
}

void TestOpenLogs::descendingRecordsWithinAFileAreSorted()
{
    const QString path = writeLog("back.log", {steppedRecord(300, 30), steppedRecord(200, 20),
                                               steppedRecord(200, 21), steppedRecord(100, 10)});
    mWindow->loadLogFiles({path});
    verifySteppedPoints({keyOf(100), keyOf(200), keyOf(200), keyOf(300)}, {10, 20, 21, 30});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(100), keyOf(300)));
}

void TestOpenLogs::filesWithoutRecordsLeaveTheSpanOfTheLastFileWithRecords()
{
    writeLog("a.log", {steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    writeBytes("empty.log", QByteArray());
    writeBytes("short.log", QByteArray(200, 'x'));
    writeBytes("head.log", LogBuilder::header());

    chooseFiles({"empty.log", "a.log", "short.log", "head.log"});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60)}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 60)));
    QCOMPARE(status(), QString());
}

void TestOpenLogs::noRecordsAtAllLeavesTheTimeAxis()
{
    const QString empty = writeBytes("empty.log", QByteArray());
    const QString head = writeBytes("head.log", LogBuilder::header());
    plot()->xAxis->setRange(10, 20);
    plot()->yAxis->setRange(0, 50);
    QSignalSpy replots(plot(), &QCustomPlot::afterReplot);

    mWindow->loadLogFiles({empty, head});

    for (int graph = 0; graph < 5; ++graph)
        QCOMPARE(plot()->graph(graph)->dataCount(), 0);
    QCOMPARE(plot()->xAxis->range(), QCPRange(10, 20));
    QCOMPARE(plot()->yAxis->range(), QCPRange(-10, 100));
    QCOMPARE(status(), QString());
    QCOMPARE(replots.count(), 1);
}

void TestOpenLogs::fifoAmongFilesIsPassedOverAndReported()
{
    writeLog("a.log", {steppedRecord(kJune2015, 100)});
    writeLog("b.log", {steppedRecord(kJune2015 + 60, 200)});
    // Nobody writes to the pipe: opening it for reading would block for good.
    QCOMPARE(::mkfifo(QFile::encodeName(mDir->filePath("pipe")).constData(), 0600), 0);

    chooseFiles({"a.log", "pipe", "b.log"});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60)}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 60)));
    QCOMPARE(status(), QStringLiteral("Nicht lesbar: pipe"));
}

void TestOpenLogs::reopeningReplacesOldDataAndClearsTheMessage()
{
    const QString a = writeLog("a.log", {steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    mWindow->loadLogFiles({a, mDir->filePath("gone.log")});
    QCOMPARE(status(), QStringLiteral("Nicht lesbar: gone.log"));
    QCOMPARE(plot()->graph(0)->dataCount(), 2);

    writeLog("b.log", {steppedRecord(kJune2015 + 600, 300), steppedRecord(kJune2015 + 900, 400),
                       steppedRecord(kJune2015 + 1200, 500)});
    chooseFiles({"b.log"});

    verifySteppedPoints({keyOf(kJune2015 + 600), keyOf(kJune2015 + 900), keyOf(kJune2015 + 1200)},
                        {300, 400, 500});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015 + 600), keyOf(kJune2015 + 1200)));
    QCOMPARE(status(), QString());
}

void TestOpenLogs::unreadableFilesAreNamedAndTheRestIsRead()
{
    const QString a = writeLog("a.log", {steppedRecord(kJune2015, 100)});
    const QString b = writeLog("b.log", {steppedRecord(kJune2015 + 60, 200)});
    QVERIFY(QDir(mDir->path()).mkdir("folder"));

    mWindow->loadLogFiles({a, mDir->filePath("vanished.log"), mDir->filePath("folder"), "/dev/zero", b});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60)}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 60)));
    QCOMPARE(status(), QStringLiteral("Nicht lesbar: vanished.log, folder, zero"));
}

void TestOpenLogs::firstRecordWithKeyZeroStartsTheTimeAxis()
{
    const QString epoch = writeLog("epoch.log", {steppedRecord(-946681200, 100), steppedRecord(-946681200 + 3600, 200)});
    mWindow->loadLogFiles({epoch});
    verifySteppedPoints({0.0, 3600.0}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(0, 3600));
}

void TestOpenLogs::singleRecordKeepsTheTimeAxis()
{
    const QString one = writeLog("one.log", {steppedRecord(kJune2015, 100)});
    plot()->xAxis->setRange(10, 20);
    mWindow->loadLogFiles({one});
    verifySteppedPoints({keyOf(kJune2015)}, {100});
    QCOMPARE(plot()->xAxis->range(), QCPRange(10, 20));
    QCOMPARE(plot()->yAxis->range(), QCPRange(-10, 100));
}

void TestOpenLogs::partialRecordsAreDropped()
{
    // The stray bytes would decode as a large key and 3276 degrees if they were read.
    const QByteArray two = LogBuilder::logBytes({steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    const QString tail = writeBytes("tail.log", two + QByteArray(20, char(0x7F)));
    const QString lone = writeBytes("lone.log", LogBuilder::header() + QByteArray(40, char(0x7F)));

    mWindow->loadLogFiles({tail, lone});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60)}, {100, 200});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 60)));
    QCOMPARE(status(), QString());
}

void TestOpenLogs::recordLimitKeepsWhatFitsAndReportsTheRest()
{
    const QString a = writeLog("a.log", {steppedRecord(kJune2015, 100), steppedRecord(kJune2015 + 60, 200)});
    const QString b = writeLog("b.log", {steppedRecord(kJune2015 + 120, 300), steppedRecord(kJune2015 + 180, 400)});
    const QString c = writeLog("c.log", {steppedRecord(kJune2015 + 240, 500)});
    mWindow->setRecordLimit(3);

    mWindow->loadLogFiles({a, b, c});

    verifySteppedPoints({keyOf(kJune2015), keyOf(kJune2015 + 60), keyOf(kJune2015 + 120)}, {100, 200, 300});
    QCOMPARE(plot()->xAxis->range(), QCPRange(keyOf(kJune2015), keyOf(kJune2015 + 120)));
    QCOMPARE(status(), QStringLiteral("Nicht lesbar: b.log, c.log"));
}

QTEST_MAIN(TestOpenLogs)
#include "tst_openlogs.moc"

void TestOpenLogs::openStartsInTheFolderOfTheLastLog_data()
{
    QTest::addColumn<QByteArray>("settings"); // the settings file before the first run
    QTest::addColumn<QString>("logFolder");   // where the first run loads a log; none when empty
    QTest::addColumn<bool>("remembered");     // the second run's Open dialog starts there
    const QByteArray garbage("\xff\xfe[[General\x00lastFolder==\n=[", 27);
    QTest::newRow("no settings yet, umlauts") << QByteArray() << "Lögs ä" << true;
    QTest::newRow("corrupt, nothing loaded") << garbage << QString() << false;
    QTest::newRow("corrupt, then a load") << garbage << "logs" << true;
    QTest::newRow("folder gone") << QByteArray("[General]\nlastFolder=/no/such/folder\n") << QString() << false;
    QTest::newRow("not absolute") << QByteArray("[General]\nlastFolder=.\n") << QString() << false;
}

// Two lifetimes of the window with the settings in a folder of the test's own.
void TestOpenLogs::openStartsInTheFolderOfTheLastLog()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, logFolder);
    const QString settingsFile = mSettingsDir.filePath("velkarn/oriq.conf");
    QFile::remove(settingsFile);
    if (!settings.isEmpty())
        QVERIFY(QDir().mkpath(mSettingsDir.filePath("velkarn")) && LogBuilder::writeFile(settingsFile, settings));
    if (!logFolder.isEmpty()) {
        QVERIFY(QDir(mDir->path()).mkpath(logFolder));
        mWindow->loadLogFiles({writeLog(logFolder + "/a.log", {steppedRecord(kJune2015, 100)})});
        QCOMPARE(plot()->graph(0)->dataCount(), 1);
    }
    delete mWindow;
    mWindow = new MainWindow;
    QString started;
    QVERIFY(OpenDialog::answerOpen(mWindow, [&](QFileDialog *dialog) {
                started = dialog->directory().absolutePath();
                dialog->reject();
            }).seen);
    QFETCH(bool, remembered);
    QCOMPARE(started, remembered ? mDir->filePath(logFolder) : QFileDialog().directory().absolutePath());
}
