// The read-out under the mouse on a bare chart; the home view, channels on and off, drops.
#include "chart/chartreadout.h"
#include "logbuilder.h"
#include "mainwindow.h"

#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

Q_DECLARE_METATYPE(QCPRange)

// The bare chart's plot area is 512 pixels wide from x = 0, one whole minute per pixel.
static double keyAtPixel(int x)
{
    return QDateTime(QDate(2026, 2, 12), QTime(10, 20), Qt::LocalTime).toSecsSinceEpoch() + 60.0 * x;
}

static void sendMove(QWidget *widget, const QPoint &at)
{
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

class TestChartReading : public QObject
{
    Q_OBJECT

    QCustomPlot *mPlot = nullptr;
    ChartReadout *mReadout = nullptr;
    MainWindow *mWindow = nullptr;
    QTemporaryDir mDir;

    QCustomPlot *windowPlot()
    {
        if (!mWindow) {
            mWindow = new MainWindow;
            mWindow->show();
        }
        return mWindow->findChild<QCustomPlot *>("customPlot");
    }

    // Two records 300 s apart, of steppedRecord's bases 100 and 200.
    QString writeLog(const QString &name, qint32 firstTimeStamp)
    {
        const QString path = mDir.filePath(name);
        LogBuilder::writeFile(path, LogBuilder::logBytes({LogBuilder::steppedRecord(firstTimeStamp, 100),
                                                          LogBuilder::steppedRecord(firstTimeStamp + 300, 200)}));
        return path;
    }

private slots:
    // A bare chart of two graphs: records at pixels 100, 200 (twice, equal keys) and 450.
    void init()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        mPlot = new QCustomPlot;
        mPlot->axisRect()->setAutoMargins(QCP::msNone);
        mPlot->axisRect()->setMargins(QMargins());
        mPlot->resize(512, 300);
        QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
        ticker->setDateTimeFormat("dd.MM.yyyy\nhh:mm:ss");
        mPlot->xAxis->setTicker(ticker);
        mPlot->xAxis->setRange(keyAtPixel(0), keyAtPixel(512));
        const QVector<double> keys{keyAtPixel(100), keyAtPixel(200), keyAtPixel(200), keyAtPixel(450)};
        mPlot->addGraph()->setData(keys, {64, 70, 71, 80}, true);
        mPlot->addGraph()->setData(keys, {-3, 5, 6, 7}, true);
        mPlot->graph(0)->setName("TSA1");
        mPlot->graph(1)->setName("TAM");
        mReadout = new ChartReadout(mPlot);
        mPlot->show(); // lays the chart out at its size
        mPlot->replot();
    }

    void cleanup()
    {
        delete mPlot;
        delete mWindow;
        mWindow = nullptr;
    }

    void readoutShowsTheRecordInEffect_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("lineX");
        QTest::addColumn<QString>("then"); // what the user does after the move
        QTest::addColumn<QStringList>("text");
        const QStringList first{"12.02.2026 12:00:00", "TSA1: 64 °C", "TAM: -3 °C"};
        const QStringList last{"12.02.2026 17:50:00", "TSA1: 80 °C", "TAM: 7 °C"};
        QTest::newRow("before the first record") << 99 << 0 << "" << QStringList();
        QTest::newRow("at the first") << 100 << 100 << "" << first;
        QTest::newRow("between: the earlier holds") << 199 << 100 << "" << first;
        QTest::newRow("equal keys: the last") << 200 << 200 << "" << QStringList{"12.02.2026 13:40:00", "TSA1: 71 °C", "TAM: 6 °C"};
        QTest::newRow("at the last, box on the left") << 450 << 450 << "" << last;
        QTest::newRow("after the last") << 511 << 450 << "" << last;
        QTest::newRow("every channel hidden") << 150 << 100 << "hide" << QStringList{first.first()};
        QTest::newRow("press to drag") << 150 << 100 << "press" << QStringList();
        QTest::newRow("leave the chart") << 150 << 100 << "leave" << QStringList();
    }

    // The box lies inside the plot area, clear of the line; a move redraws the read-out alone.
    void readoutShowsTheRecordInEffect()
    {
        QFETCH(int, x);
        QFETCH(int, lineX);
        QFETCH(QString, then);
        QFETCH(QStringList, text);
        QSignalSpy fullRedraws(mPlot, &QCustomPlot::beforeReplot);
        mPlot->graph(0)->setVisible(then != "hide");
        mPlot->graph(1)->setVisible(then != "hide");
        sendMove(mPlot, QPoint(x, 295));
        QEvent leave(QEvent::Leave);
        if (then == "press")
            QTest::mousePress(mPlot, Qt::LeftButton, Qt::NoModifier, QPoint(x, 295));
        if (then == "leave")
            QApplication::sendEvent(mPlot, &leave);
        QCOMPARE(mReadout->text(), text);
        const QRectF box = mReadout->boxRect();
        QVERIFY(text.isEmpty() || (QRectF(mPlot->axisRect()->rect()).contains(box) && (box.left() > lineX || box.right() < lineX)));
        QCOMPARE(fullRedraws.count(), 0);
    }

    void doubleClickAndMenuReturnToTheLoadedView()
    {
        QCustomPlot *plot = windowPlot();
        plot->xAxis->setRange(7, 9);
        QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, plot->axisRect()->topLeft() + QPoint(20, 20));
        QCOMPARE(plot->xAxis->range(), QCPRange(0, 5)); // before any load: the start-up ranges
        mWindow->loadLogFiles({writeLog("a.log", 0)});
        plot->graph(1)->setSelection(QCPDataSelection(QCPDataRange(0, 2)));
        plot->xAxis->scaleRange(0.1);
        plot->yAxis->setRange(20, 30);
        const QPoint inside = plot->axisRect()->center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, inside, plot->mapToGlobal(inside));
        QApplication::sendEvent(plot, &request);
        auto *menu = mWindow->findChild<QMenu *>("chartMenu");
        QTRY_COMPARE(QApplication::activePopupWidget(), menu);
        QAction *reset = mWindow->findChild<QAction *>("actionResetView");
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries.append(action->text());
        QCOMPARE(entries, QStringList({"Ansicht zurücksetzen", "Bild speichern...", "Daten exportieren..."}));
        QCOMPARE(menu->actions().first(), reset);
        reset->trigger();
        QCOMPARE(plot->xAxis->range(), QCPRange(LogBuilder::kEpochOffset, LogBuilder::kEpochOffset + 300));
        QCOMPARE(plot->yAxis->range(), QCPRange(-10, 100));
        QVERIFY(plot->graph(1)->selected());
    }

    void keysMoveTheRangesWithOneRedraw_data()
    {
        QTest::addColumn<QList<int>>("keys"); // key codes, pressed in turn
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QCPRange>("time");
        QTest::addColumn<QCPRange>("temperature");
        const QCPRange startTime(0, 5), startTemperature(-10, 100);
        QTest::newRow("left") << QList<int>{Qt::Key_Left} << 0 << QCPRange(-0.5, 4.5) << startTemperature;
        QTest::newRow("right") << QList<int>{Qt::Key_Right} << 0 << QCPRange(0.5, 5.5) << startTemperature;
        QTest::newRow("page up") << QList<int>{Qt::Key_PageUp} << 0 << QCPRange(-5, 0) << startTemperature;
        QTest::newRow("page down") << QList<int>{Qt::Key_PageDown} << 0 << QCPRange(5, 10) << startTemperature;
        QTest::newRow("up") << QList<int>{Qt::Key_Up} << 0 << startTime << QCPRange(1, 111);
        QTest::newRow("down") << QList<int>{Qt::Key_Down} << 0 << startTime << QCPRange(-21, 89);
        QTest::newRow("plus") << QList<int>{Qt::Key_Plus} << 0 << QCPRange(0.375, 4.625) << startTemperature;
        QTest::newRow("keypad minus") << QList<int>{Qt::Key_Minus} << int(Qt::KeypadModifier)
                                      << QCPRange(2.5 - 2.5 / 0.85, 2.5 + 2.5 / 0.85) << startTemperature;
        QTest::newRow("home after moves") << QList<int>{Qt::Key_Right, Qt::Key_Up, Qt::Key_Plus, Qt::Key_Home} << 0
                                          << startTime << startTemperature;
        QTest::newRow("ctrl is not the chart's") << QList<int>{Qt::Key_Left} << int(Qt::ControlModifier) << startTime
                                                 << startTemperature;
    }

    // Before any load the keys move the start-up ranges; selection and status bar stay.
    void keysMoveTheRangesWithOneRedraw()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, modifiers);
        QCustomPlot *plot = windowPlot();
        plot->graph(2)->setSelection(QCPDataSelection(QCPDataRange(0, 1)));
        mWindow->statusBar()->showMessage("before");
        QVERIFY(QTest::qWaitForWindowExposed(mWindow));
        QCoreApplication::processEvents();
        for (int key : keys) {
            QSignalSpy redraws(plot, &QCustomPlot::afterReplot);
            QTest::keyClick(mWindow, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            QCoreApplication::processEvents();
            QCOMPARE(redraws.count(), modifiers == Qt::ControlModifier ? 0 : 1);
        }
        QFETCH(QCPRange, time);
        QFETCH(QCPRange, temperature);
        QCOMPARE(plot->xAxis->range().lower, time.lower);
        QCOMPARE(plot->xAxis->range().upper, time.upper);
        QCOMPARE(plot->yAxis->range().lower, temperature.lower);
        QCOMPARE(plot->yAxis->range().upper, temperature.upper);
        QVERIFY(plot->graph(2)->selected());
        QCOMPARE(mWindow->statusBar()->currentMessage(), QString("before"));
    }

    void legendClicksHideChannelsAcrossLoads()
    {
        QCustomPlot *plot = windowPlot();
        auto *tse = qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(1));
        plot->replot();
        QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, tse->rect().center());
        mWindow->loadLogFiles({writeLog("a.log", 0)});
        QCOMPARE(tse->textColor(), QColor(160, 160, 160));
        sendMove(plot, plot->axisRect()->center());
        auto *readout = plot->findChild<ChartReadout *>();
        QCOMPARE(readout->text().mid(1), (QStringList{"TSA1: 10 °C", "TW: 12 °C", "TSV: 13 °C", "TAM: 14 °C"}));
        mWindow->loadLogFiles({writeLog("b.log", 600)});
        QVERIFY(readout->text().isEmpty()); // a load takes the read-out away
        QVERIFY(!plot->graph(1)->visible());
        QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, tse->rect().center());
        QVERIFY(plot->graph(1)->visible());
        QCOMPARE(tse->textColor(), QColor(Qt::black));
    }

    void droppedLocalFilesLoadInOrder_data()
    {
        QTest::addColumn<QStringList>("names"); // "remote" stands for a web address
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("status"); // "before" when the drop is refused
        QTest::newRow("local files") << QStringList{"a.log", "b.log"} << 4 << QString();
        QTest::newRow("drop order kept") << QStringList{"y.log", "a.log", "x.log"} << 2 << "Nicht lesbar: y.log, x.log";
        QTest::newRow("web address passed over") << QStringList{"remote", "b.log"} << 2 << QString();
        QTest::newRow("no local file: nothing changes") << QStringList{"remote"} << 2 << "before";
        QTest::newRow("folder") << QStringList{"folder"} << 0 << "Nicht lesbar: folder";
    }

    void droppedLocalFilesLoadInOrder()
    {
        QFETCH(QStringList, names);
        QFETCH(int, points);
        QFETCH(QString, status);
        writeLog("a.log", 0);
        writeLog("b.log", 600);
        QDir(mDir.path()).mkpath("folder");
        QCustomPlot *plot = windowPlot();
        mWindow->loadLogFiles({writeLog("before.log", 1200)});
        mWindow->statusBar()->showMessage("before");
        QMimeData data;
        for (const QString &name : names)
            data.setUrls(data.urls() << (name == "remote" ? QUrl("https://example.org/c.log") : QUrl::fromLocalFile(mDir.filePath(name))));
        QVERIFY(mWindow->acceptDrops());
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(mWindow, &enter);
        QCOMPARE(enter.isAccepted() && enter.dropAction() == Qt::CopyAction, status != "before");
        QDropEvent drop(QPoint(100, 100), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(mWindow, &drop);
        QTRY_COMPARE(mWindow->statusBar()->currentMessage(), status);
        QCOMPARE(plot->graph(0)->dataCount(), points);
    }
};

QTEST_MAIN(TestChartReading)
#include "tst_chartreading.moc"
