// SPDX-License-Identifier: GPL-3.0-or-later
// Following a log while the test writes to it: the window's own timer looks at the file, and
// the chart afterwards holds what a fresh load of the file gives, point for point, with the view,
// the selection, the status bar and the label as a user sees them.
#include "logbuilder.h"
#include "mainwindow.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

using LogBuilder::Record;
using LogBuilder::steppedRecord;

namespace {

const int kLoadedRecords = 10;
const qint32 kFirst = LogBuilder::kMarch2015;
// Longer than two looks, for what must not change.
const int kTwoLooksMilliseconds = 1200;

enum class Change { WholeRecords, TwoHalves, Shrunk, StartedAnew, SameSizeAnew, RemovedAndBack, OlderRecords,
                    ViewInTheMiddle, FollowingOff, TurnedOnAfterGrowing, PastTheLimit, FromOneRecord };

double keyOf(qint32 timeStamp)
{
    return double(timeStamp + LogBuilder::kEpochOffset);
}

// Minute records from the loaded file's start, record i with base 100 + i.
QVector<Record> minuteRecords(int from, int count, qint32 start = kFirst)
{
    QVector<Record> records;
    for (int i = from; i < from + count; ++i)
        records.append(steppedRecord(start + 60 * i, qint16(100 + i)));
    return records;
}

bool appendBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

bool appendRecords(const QString &path, const QVector<Record> &records)
{
    return appendBytes(path, LogBuilder::logBytes(records).mid(LogBuilder::kHeaderSize));
}

QCustomPlot *chartOf(const MainWindow &window)
{
    return window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
}

// Every graph's points in turn, key and value.
QVector<double> pointsOf(const MainWindow &window)
{
    QVector<double> points;
    for (int graph = 0; graph < 5; ++graph) {
        for (const QCPGraphData &point : *chartOf(window)->graph(graph)->data())
            points << point.key << point.value;
    }
    return points;
}

QVector<double> freshLoad(const QString &path)
{
    MainWindow window;
    window.loadLogFiles({path});
    return pointsOf(window);
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestFollowing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void followCases_data();
    void followCases();
    void settingIsKept_data();
    void settingIsKept();

private:
    QAction *followAction() const { return mWindow->findChild<QAction *>(QStringLiteral("actionFollow")); }
    QLabel *label() const { return mWindow->findChild<QLabel *>(QStringLiteral("followLabel")); }
    QCustomPlot *plot() const { return chartOf(*mWindow); }
    QString status() const { return mWindow->statusBar()->currentMessage(); }
    void change(Change change);
    QString newestText() const;

    MainWindow *mWindow = nullptr;
    QTemporaryDir *mDir = nullptr;
    QString mLog;
    QTemporaryDir mSettingsDir;
};

void TestFollowing::init()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, mSettingsDir.path());
    QSettings(QSettings::UserScope, QStringLiteral("velkarn"), QStringLiteral("oriq")).clear();
    mDir = new QTemporaryDir;
    QVERIFY(mDir->isValid());
    mLog = mDir->filePath(QStringLiteral("a.log"));
    QVERIFY(LogBuilder::writeFile(mLog, LogBuilder::logBytes(minuteRecords(0, kLoadedRecords))));
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void TestFollowing::cleanup()
{
    delete mWindow;
    mWindow = nullptr;
    delete mDir;
    mDir = nullptr;
}

QString TestFollowing::newestText() const
{
    const double newest = (plot()->graph(0)->data()->constEnd() - 1)->key;
    return QStringLiteral("Verfolgt: ") + QDateTime::fromSecsSinceEpoch(qint64(newest)).toString("dd.MM.yyyy hh:mm:ss");
}

// What the writer does to the file once the window follows it; the cases that must wait for a
// look in between wait here.
void TestFollowing::change(Change change)
{
    switch (change) {
    case Change::WholeRecords:
    case Change::ViewInTheMiddle:
    case Change::FollowingOff:
        QVERIFY(appendRecords(mLog, minuteRecords(kLoadedRecords, 3)));
        break;
    case Change::TurnedOnAfterGrowing:
        QVERIFY(appendRecords(mLog, minuteRecords(kLoadedRecords, 3)));
        QTest::qWait(kTwoLooksMilliseconds);
        QCOMPARE(plot()->graph(0)->dataCount(), kLoadedRecords);
        followAction()->trigger();
        QCOMPARE(plot()->graph(0)->dataCount(), kLoadedRecords + 3); // at once
        break;
    case Change::PastTheLimit:
        QVERIFY(appendRecords(mLog, minuteRecords(kLoadedRecords, 5)));
        break;
    case Change::FromOneRecord:
        QVERIFY(appendRecords(mLog, minuteRecords(1, 3)));
        break;
    case Change::TwoHalves: {
        const QByteArray record = LogBuilder::recordBytes(minuteRecords(kLoadedRecords, 1).first());
        QVERIFY(appendBytes(mLog, record.left(17)));
        QTest::qWait(kTwoLooksMilliseconds);
        QCOMPARE(plot()->graph(0)->dataCount(), kLoadedRecords);
        QVERIFY(appendBytes(mLog, record.mid(17)));
        break;
    }
    case Change::Shrunk:
        QVERIFY(LogBuilder::writeFile(mLog, LogBuilder::logBytes(minuteRecords(0, 4))));
        break;
    case Change::StartedAnew:
        QVERIFY(QFile::remove(mLog));
        QVERIFY(LogBuilder::writeFile(mLog, LogBuilder::logBytes(minuteRecords(0, 12, kFirst + 86400))));
        break;
    case Change::SameSizeAnew:
        QVERIFY(LogBuilder::writeFile(mLog, LogBuilder::logBytes(minuteRecords(0, kLoadedRecords, kFirst + 86400))));
        break;
    case Change::RemovedAndBack:
        QVERIFY(QFile::rename(mLog, mLog + ".away"));
        QTRY_COMPARE(status(), QStringLiteral("Nicht lesbar: a.log"));
        QCOMPARE(plot()->graph(0)->dataCount(), kLoadedRecords);
        QVERIFY(appendRecords(mLog + ".away", minuteRecords(kLoadedRecords, 2)));
        QVERIFY(QFile::rename(mLog + ".away", mLog));
        break;
    case Change::OlderRecords: {
        // Between the loaded ones, and one of a key already there, which goes after it.
        QVERIFY(appendRecords(mLog, {steppedRecord(kFirst + 90, 7), steppedRecord(kFirst + 60 * 3, 8),
                                     steppedRecord(kFirst + 60 * 12, 9), steppedRecord(kFirst - 30, 6)}));
        break;
    }
    }
}

void TestFollowing::followCases_data()
{
    QTest::addColumn<Change>("change");
    // Whether the chart afterwards holds what a fresh load of the file gives, else what it held.
    QTest::addColumn<bool>("grows");
    // Whether the view showed the newest record before, and how it ends: all the records (a new
    // load, or records after a load of one), moved by as much as the newest moved, or where it was.
    QTest::addColumn<bool>("viewAtEnd");
    QTest::addColumn<bool>("wholeView");
    QTest::addColumn<QString>("message");

    QTest::newRow("whole records") << Change::WholeRecords << true << true << false << QString();
    QTest::newRow("a record in two halves") << Change::TwoHalves << true << true << false << QString();
    QTest::newRow("shrunk") << Change::Shrunk << true << true << true << QString();
    QTest::newRow("started anew") << Change::StartedAnew << true << true << true << QString();
    QTest::newRow("started anew, same size") << Change::SameSizeAnew << true << true << true << QString();
    QTest::newRow("removed and put back") << Change::RemovedAndBack << true << true << false << QString();
    QTest::newRow("older records") << Change::OlderRecords << true << true << false << QString();
    QTest::newRow("view in the middle") << Change::ViewInTheMiddle << true << false << false << QString();
    QTest::newRow("following off") << Change::FollowingOff << false << true << false << QString();
    QTest::newRow("turned on after growing") << Change::TurnedOnAfterGrowing << true << true << false << QString();
    QTest::newRow("past the record limit") << Change::PastTheLimit << false << true << false
                                           << QStringLiteral("Zu groß für den Speicher: a.log");
    QTest::newRow("one record loaded") << Change::FromOneRecord << true << true << true << QString();
}

void TestFollowing::followCases()
{
    QFETCH(Change, change);
    QFETCH(bool, grows);
    QFETCH(bool, viewAtEnd);
    QFETCH(bool, wholeView);
    QFETCH(QString, message);

    mWindow->setRecordLimit(kLoadedRecords + 4);
    if (change == Change::FromOneRecord)
        QVERIFY(LogBuilder::writeFile(mLog, LogBuilder::logBytes(minuteRecords(0, 1))));
    mWindow->loadLogFiles({mLog});
    const QVector<double> loaded = pointsOf(*mWindow);
    plot()->graph(2)->setSelection(QCPDataSelection(QCPDataRange(0, kLoadedRecords)));
    if (!viewAtEnd)
        plot()->xAxis->setRange(keyOf(kFirst + 60), keyOf(kFirst + 300));
    const QCPRange viewBefore = plot()->xAxis->range();
    if (change != Change::FollowingOff && change != Change::TurnedOnAfterGrowing) {
        followAction()->trigger();
        QVERIFY(followAction()->isChecked());
        QCOMPARE(label()->text(), newestText());
    }

    this->change(change);
    if (QTest::currentTestFailed())
        return;

    if (grows) {
        QTRY_COMPARE(pointsOf(*mWindow), freshLoad(mLog));
    } else {
        QTest::qWait(kTwoLooksMilliseconds);
        QCOMPARE(pointsOf(*mWindow), loaded);
    }
    QCOMPARE(status(), message);
    const QCPRange records(plot()->graph(0)->data()->constBegin()->key, (plot()->graph(0)->data()->constEnd() - 1)->key);
    if (wholeView)
        QCOMPARE(plot()->xAxis->range(), records);
    else if (viewAtEnd)
        QCOMPARE(plot()->xAxis->range(), QCPRange(viewBefore.lower + records.upper - viewBefore.upper, records.upper));
    else
        QCOMPARE(plot()->xAxis->range(), viewBefore);
    // The whole view reaches the newest record.
    plot()->xAxis->setRange(0, 1);
    QTest::mouseDClick(plot(), Qt::LeftButton, Qt::NoModifier, plot()->axisRect()->rect().center());
    QCOMPARE(plot()->xAxis->range(), records);

    const bool following = change != Change::FollowingOff && message.isEmpty();
    QCOMPARE(followAction()->isChecked(), following);
    QCOMPARE(label() != nullptr, following);
    if (following)
        QCOMPARE(label()->text(), newestText());
    // A selected graph stays selected, its new points too.
    if (!wholeView)
        QCOMPARE(plot()->graph(2)->selection(), QCPDataSelection(plot()->graph(2)->data()->dataRange()));
}

void TestFollowing::settingIsKept_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("absent") << QString() << false;
    QTest::newRow("true") << QStringLiteral("true") << true;
    QTest::newRow("false") << QStringLiteral("false") << false;
    QTest::newRow("garbage") << QStringLiteral("ja") << false;
}

void TestFollowing::settingIsKept()
{
    QFETCH(QString, stored);
    QFETCH(bool, on);
    QSettings settings(QSettings::UserScope, QStringLiteral("velkarn"), QStringLiteral("oriq"));
    if (!stored.isNull())
        settings.setValue(QStringLiteral("follow"), stored);
    settings.sync();

    MainWindow window;
    auto *action = window.findChild<QAction *>(QStringLiteral("actionFollow"));
    QCOMPARE(action->isChecked(), on);
    auto *shown = window.findChild<QLabel *>(QStringLiteral("followLabel"));
    QCOMPARE(shown != nullptr, on);
    if (on)
        QCOMPARE(shown->text(), QStringLiteral("Verfolgt"));

    action->trigger();
    settings.sync();
    QCOMPARE(settings.value(QStringLiteral("follow")).toString(), on ? QStringLiteral("false") : QStringLiteral("true"));
}

QTEST_MAIN(TestFollowing)
#include "tst_following.moc"
