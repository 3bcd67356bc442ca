// Reading the chart: the read-out under the mouse (on a bare chart), and in the window the way
// back to the whole view, channels on and off and files dropped onto it.
#include "chartreadout.h"
#include "logbuilder.h"
#include "mainwindow.h"

#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

namespace {

// The bare chart's plot area is 512 pixels wide from x = 0, a minute per pixel from 10:20 on
// 12.02.2026: every pixel is a whole minute, exactly.
double keyAtPixel(int x)
{
    return QDateTime(QDate(2026, 2, 12), QTime(10, 20), Qt::LocalTime).toSecsSinceEpoch() + 60.0 * x;
}

void sendMove(QWidget *widget, const QPoint &at)
{
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

} // namespace

class TestChartReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readoutShowsTheRecordInEffect_data();
    void readoutShowsTheRecordInEffect();
    void boxStaysInsideBesideTheLine();
    void pressLeaveAndLoadTakeTheReadoutAway();
    void doubleClickAndMenuReturnToTheLoadedView();
    void legendClicksHideAndShowChannelsAcrossLoads();
    void droppedLocalFilesLoadInOrder_data();
    void droppedLocalFilesLoadInOrder();

private:
    QCustomPlot *windowPlot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    QString writeLog(const QString &name, qint32 firstTimeStamp);

    QCustomPlot *mPlot = nullptr;
    ChartReadout *mReadout = nullptr;
    MainWindow *mWindow = nullptr;
    QTemporaryDir mDir;
};

void TestChartReading::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

// A bare chart of two graphs: records at pixels 100, 200 (twice, equal keys) and 300.
void TestChartReading::init()
{
    mPlot = new QCustomPlot;
    mPlot->axisRect()->setAutoMargins(QCP::msNone);
    mPlot->axisRect()->setMargins(QMargins());
    mPlot->resize(512, 300);
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat("dd.MM.yyyy\nhh:mm:ss");
    mPlot->xAxis->setTicker(ticker);
    mPlot->xAxis->setRange(keyAtPixel(0), keyAtPixel(512));
    const QVector<double> keys{keyAtPixel(100), keyAtPixel(200), keyAtPixel(200), keyAtPixel(300)};
    mPlot->addGraph()->setData(keys, {64, 70, 71, 80}, true);
    mPlot->addGraph()->setData(keys, {-3, 5, 6, 7}, true);
    mPlot->graph(0)->setName("TSA1");
    mPlot->graph(1)->setName("TAM");
    mReadout = new ChartReadout(mPlot);
    mPlot->show();
    QVERIFY(QTest::qWaitForWindowExposed(mPlot));
    mPlot->replot();
}

void TestChartReading::cleanup()
{
    delete mPlot;
    delete mWindow;
    mWindow = nullptr;
}

void TestChartReading::readoutShowsTheRecordInEffect_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QStringList>("text");
    const QStringList first{"12.02.2026 12:00:00", "TSA1: 64 °C", "TAM: -3 °C"};
    const QStringList lastOfEqual{"12.02.2026 13:40:00", "TSA1: 71 °C", "TAM: 6 °C"};
    const QStringList last{"12.02.2026 15:20:00", "TSA1: 80 °C", "TAM: 7 °C"};
    QTest::newRow("before the first record") << 99 << QStringList();
    QTest::newRow("at the first") << 100 << first;
    QTest::newRow("between: the earlier holds") << 199 << first;
    QTest::newRow("equal keys: the last") << 200 << lastOfEqual;
    QTest::newRow("at the last") << 300 << last;
    QTest::newRow("after the last") << 511 << last;
}

void TestChartReading::readoutShowsTheRecordInEffect()
{
    QFETCH(int, x);
    QFETCH(QStringList, text);
    QSignalSpy fullRedraws(mPlot, &QCustomPlot::beforeReplot);
    sendMove(mPlot, QPoint(x, 150));
    QCOMPARE(mReadout->text(), text);
    QCOMPARE(fullRedraws.count(), 0);
    QVERIFY(mPlot->layer("readout")->mode() == QCPLayer::lmBuffered);
}

void TestChartReading::boxStaysInsideBesideTheLine()
{
    const QRectF area = mPlot->axisRect()->rect();
    sendMove(mPlot, QPoint(150, 299));
    QRectF box = mReadout->boxRect();
    QVERIFY(area.contains(box));
    QVERIFY(box.left() > 100); // right of the line at pixel 100
    mPlot->xAxis->moveRange(-60.0 * 200); // the last record at pixel 500
    sendMove(mPlot, QPoint(505, 0));
    box = mReadout->boxRect();
    QVERIFY(area.contains(box));
    QVERIFY(box.right() < 500);
    // Every channel hidden: the record's time alone.
    mPlot->graph(0)->setVisible(false);
    mPlot->graph(1)->setVisible(false);
    QCOMPARE(mReadout->text(), QStringList{"12.02.2026 15:20:00"});
}

void TestChartReading::pressLeaveAndLoadTakeTheReadoutAway()
{
    const QPoint at(150, 100);
    sendMove(mPlot, at);
    QTest::mousePress(mPlot, Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(mReadout->text().isEmpty());
    QTest::mouseRelease(mPlot, Qt::LeftButton, Qt::NoModifier, at);
    sendMove(mPlot, at);
    QVERIFY(!mReadout->text().isEmpty());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(mPlot, &leave);
    QVERIFY(mReadout->text().isEmpty());

    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
    auto *readout = windowPlot()->findChild<ChartReadout *>();
    mWindow->loadLogFiles({writeLog("a.log", 0)});
    sendMove(windowPlot(), windowPlot()->axisRect()->center());
    QCOMPARE(readout->text().size(), 6);
    mWindow->loadLogFiles({writeLog("b.log", 600)});
    QVERIFY(readout->text().isEmpty());
}

QString TestChartReading::writeLog(const QString &name, qint32 firstTimeStamp)
{
    const QString path = mDir.filePath(name);
    const QVector<LogBuilder::Record> records{LogBuilder::steppedRecord(firstTimeStamp, 100),
                                              LogBuilder::steppedRecord(firstTimeStamp + 300, 200)};
    if (!LogBuilder::writeFile(path, LogBuilder::logBytes(records)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestChartReading::doubleClickAndMenuReturnToTheLoadedView()
{
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
    QCustomPlot *plot = windowPlot();
    const QCPRange startKeys = plot->xAxis->range();
    plot->xAxis->setRange(7, 9);
    QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, plot->axisRect()->topLeft() + QPoint(20, 20));
    QCOMPARE(plot->xAxis->range(), startKeys);

    mWindow->loadLogFiles({writeLog("a.log", 0)});
    const QCPRange keys = plot->xAxis->range();
    const QCPRange values = plot->yAxis->range();
    QCOMPARE(keys, QCPRange(LogBuilder::kEpochOffset, LogBuilder::kEpochOffset + 300));
    mWindow->statusBar()->showMessage("kept");
    plot->graph(1)->setSelection(QCPDataSelection(QCPDataRange(0, 2)));
    plot->xAxis->scaleRange(0.1);
    plot->yAxis->setRange(20, 30);

    const QPoint inside = plot->axisRect()->center();
    QContextMenuEvent request(QContextMenuEvent::Mouse, inside, plot->mapToGlobal(inside));
    QApplication::sendEvent(plot, &request);
    auto *menu = mWindow->findChild<QMenu *>("chartMenu");
    QTRY_COMPARE(QApplication::activePopupWidget(), menu);
    QCOMPARE(menu->actions().first(), mWindow->findChild<QAction *>("actionResetView"));
    QCOMPARE(menu->actions().first()->text(), QString("Ansicht zurücksetzen"));
    menu->actions().first()->trigger();
    menu->close();
    QCOMPARE(plot->xAxis->range(), keys);
    QCOMPARE(plot->yAxis->range(), values);
    QCOMPARE(mWindow->statusBar()->currentMessage(), QString("kept"));
    QVERIFY(plot->graph(1)->selected());
}

void TestChartReading::legendClicksHideAndShowChannelsAcrossLoads()
{
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
    QCustomPlot *plot = windowPlot();
    auto *readout = plot->findChild<ChartReadout *>();
    const int interactions = int(plot->interactions());
    plot->replot();
    const QPoint tseEntry = plot->legend->item(1)->rect().center();
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, tseEntry);
    mWindow->loadLogFiles({writeLog("a.log", 0)});
    QVERIFY(!plot->graph(1)->visible());
    QCOMPARE(plot->legend->itemCount(), 5);
    QCOMPARE(qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(1))->textColor(), QColor(160, 160, 160));
    sendMove(plot, plot->axisRect()->center());
    QCOMPARE(readout->text().mid(1), (QStringList{"TSA1: 10 °C", "TW: 12 °C", "TSV: 13 °C", "TAM: 14 °C"}));

    // Half-way between the records TSE is at 16 °C, its neighbours a degree off, far apart here.
    plot->yAxis->setRange(15, 17);
    plot->replot();
    const QPoint onTse(plot->axisRect()->center().x(), qRound(plot->yAxis->coordToPixel(16)));
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, onTse);
    QVERIFY(plot->selectedGraphs().isEmpty());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, tseEntry);
    QVERIFY(plot->graph(1)->visible());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, onTse);
    QVERIFY(plot->graph(1)->selected());
    QCOMPARE(qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(1))->textColor(), QColor(Qt::black));
    QCOMPARE(int(plot->interactions()), interactions);
}

void TestChartReading::droppedLocalFilesLoadInOrder_data()
{
    QTest::addColumn<QStringList>("names"); // "remote" stands for a web address
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("status");
    QTest::newRow("local files") << QStringList{"a.log", "b.log"} << true << 4 << QString();
    QTest::newRow("drop order kept") << QStringList{"y.log", "a.log", "x.log"} << true << 2
                                     << "Nicht lesbar: y.log, x.log";
    QTest::newRow("web address passed over") << QStringList{"remote", "b.log"} << true << 2 << QString();
    QTest::newRow("no local file: nothing changes") << QStringList{"remote"} << false << 2 << "before";
    QTest::newRow("folder") << QStringList{"folder"} << true << 0 << "Nicht lesbar: folder";
}

void TestChartReading::droppedLocalFilesLoadInOrder()
{
    QFETCH(QStringList, names);
    QFETCH(bool, accepted);
    QFETCH(int, points);
    QFETCH(QString, status);
    writeLog("a.log", 0);
    writeLog("b.log", 600);
    QVERIFY(QDir(mDir.path()).mkpath("folder"));
    mWindow = new MainWindow;
    mWindow->loadLogFiles({writeLog("before.log", 1200)});
    mWindow->statusBar()->showMessage("before");
    QList<QUrl> urls;
    for (const QString &name : names)
        urls.append(name == "remote" ? QUrl("https://example.org/c.log") : QUrl::fromLocalFile(mDir.filePath(name)));
    QMimeData data;
    data.setUrls(urls);

    QVERIFY(mWindow->acceptDrops());
    const QPoint at = mWindow->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(mWindow, &enter);
    QCOMPARE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, accepted);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(mWindow, &drop);
    QTRY_COMPARE(mWindow->statusBar()->currentMessage(), status);
    QCOMPARE(windowPlot()->graph(0)->dataCount(), points);
}

QTEST_MAIN(TestChartReading)
#include "tst_chartreading.moc"
