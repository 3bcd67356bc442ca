// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user first meets it: title, place, menus and the configured, empty chart.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QtTest>
#include <qcustomplot.h>

#include <ctime>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formAloneBuildsTheWidgetTree();
    void formKeepsAnExistingObjectName();
    void titleGeometryAndStatusBar();
    void menusCarryTheirGermanEntries();
    void fiveNamedColouredGraphsInTheLegend();
    void axesAreConfigured();
    void timeTickLabelsAreTwoLinesOfLocalTime();
    void temperatureLabelsUseBritishGrouping();
    void interactionsAreDragZoomAndSelect();
    void draggingMovesTheTimeAxis();
    void wheelZoomsIn();
    void clickingAGraphSelectsItAlone();

private:
    QCustomPlot *plot() const { return mWindow->findChild<QCustomPlot *>("customPlot"); }
    QPoint pixelOf(QCPGraph *graph, double key, double value) const;

    MainWindow *mWindow = nullptr;
};

void TestMainWindow::initTestCase()
{
    // Date labels are compared in a time zone with summer time, however the test is started.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestMainWindow::init()
{
    mWindow = new MainWindow;
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
    plot()->replot();
}

void TestMainWindow::cleanup()
{
    delete mWindow;
    mWindow = nullptr;
}

QPoint TestMainWindow::pixelOf(QCPGraph *graph, double key, double value) const
{
    return QPoint(qRound(graph->keyAxis()->coordToPixel(key)),
                  qRound(graph->valueAxis()->coordToPixel(value)));
}

void TestMainWindow::formAloneBuildsTheWidgetTree()
{
    QMainWindow window;
    Ui::MainWindow form;
    form.setupUi(&window);

    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("QCustomPlot plot examples"));
    QCOMPARE(window.size(), QSize(548, 420));
    QCOMPARE(window.centralWidget(), form.centralWidget);
    QCOMPARE(window.statusBar(), form.statusBar);
    QCOMPARE(window.menuBar(), form.menuBar);

    QCOMPARE(form.verticalLayout->count(), 1);
    QCOMPARE(form.verticalLayout->itemAt(0)->widget(), form.customPlot);
    QCOMPARE(form.verticalLayout->spacing(), 6);
    QCOMPARE(form.verticalLayout->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(form.customPlot->parentWidget(), form.centralWidget);
}

void TestMainWindow::formKeepsAnExistingObjectName()
{
    QMainWindow window;
    window.setObjectName("alreadyNamed");
    Ui::MainWindow form;
    form.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("alreadyNamed"));
}

void TestMainWindow::titleGeometryAndStatusBar()
{
    QCOMPARE(mWindow->windowTitle(), QStringLiteral("Velkarn Oriq II  (V 1.0.2)"));
    QCOMPARE(appVersion, QStringLiteral("V 1.0.2"));
    QCOMPARE(mWindow->geometry(), QRect(400, 250, 542, 390));

    auto *statusBar = mWindow->findChild<QStatusBar *>("statusBar");
    QVERIFY(statusBar);
    QVERIFY(statusBar->currentMessage().isEmpty());

    // The chart fills the central widget with an 11-pixel margin and follows the window's size.
    mWindow->resize(700, 500);
    QCoreApplication::processEvents();
    const QWidget *central = mWindow->centralWidget();
    QCOMPARE(plot()->geometry(), central->rect().marginsRemoved(QMargins(11, 11, 11, 11)));
}

void TestMainWindow::menusCarryTheirGermanEntries()
{
    auto *menuBar = mWindow->findChild<QMenuBar *>("menuBar");
    QVERIFY(menuBar);
    const QList<QAction *> menus = menuBar->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QStringLiteral("Datei"));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("Hilfe"));

    auto *menuDatei = mWindow->findChild<QMenu *>("menuDatei");
    auto *menuHilfe = mWindow->findChild<QMenu *>("menuHilfe");
    QVERIFY(menuDatei && menuHilfe);
    QCOMPARE(menuDatei->actions().size(), 1);
    QCOMPARE(menuHilfe->actions().size(), 1);
    QCOMPARE(menuDatei->actions().first(), mWindow->findChild<QAction *>("action_ffnen"));
    QCOMPARE(menuHilfe->actions().first(), mWindow->findChild<QAction *>("action_ber"));
    QCOMPARE(menuDatei->actions().first()->text(), QString::fromUtf8("\xC3\x96" "ffnen..."));
    QCOMPARE(menuHilfe->actions().first()->text(), QString::fromUtf8("\xC3\x9C" "ber"));
    QCOMPARE(menuDatei->actions().first()->shortcut(), QKeySequence(QKeySequence::Open));
}

void TestMainWindow::fiveNamedColouredGraphsInTheLegend()
{
    const QStringList names = {"TSA1", "TSE", "TW", "TSV", "TAM"};
    const int brushReds[] = {0, 63, 127, 191, 255};
    QCustomPlot *chart = plot();
    QCOMPARE(chart->graphCount(), 5);

    for (int i = 0; i < 5; ++i) {
        QCPGraph *graph = chart->graph(i);
        QCOMPARE(graph->name(), names.at(i));
        QCOMPARE(graph->lineStyle(), QCPGraph::lsLine);
        QCOMPARE(graph->keyAxis(), chart->xAxis);
        QCOMPARE(graph->valueAxis(), chart->yAxis);
        QCOMPARE(graph->dataCount(), 0);
        const QColor pen = i == 0 ? QColor(100, 0, 255, 200) : QColor(0, 0, 255, 200);
        QCOMPARE(graph->pen().color(), pen);
        QCOMPARE(graph->pen().widthF(), QPen().widthF());
        QCOMPARE(graph->pen().style(), Qt::SolidLine);
        QCOMPARE(graph->brush().color(), QColor(brushReds[i], 160, 50, 150));
        QCOMPARE(graph->brush().style(), Qt::SolidPattern);
        QVERIFY(!graph->channelFillGraph());
    }

    QVERIFY(chart->legend->visible());
    QCOMPARE(chart->legend->itemCount(), 5);
    for (int i = 0; i < 5; ++i) {
        auto *item = qobject_cast<QCPPlottableLegendItem *>(chart->legend->item(i));
        QVERIFY(item);
        QCOMPARE(item->plottable()->name(), names.at(i));
    }
}

void TestMainWindow::axesAreConfigured()
{
    QCustomPlot *chart = plot();
    QCOMPARE(chart->xAxis->label(), QStringLiteral("Date"));
    QCOMPARE(chart->yAxis->label(), QString(QChar(0x00B0)) + QLatin1Char('C'));
    QCOMPARE(chart->yAxis->range(), QCPRange(-10, 100));
    // Before any load the time axis keeps the chart's own initial range.
    QCOMPARE(chart->xAxis->range(), QCPRange(0, 5));

    auto ticker = chart->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    QVERIFY(ticker);
    QCOMPARE(ticker->dateTimeFormat(), QStringLiteral("dd.MM.yyyy\nhh:mm:ss"));
    QCOMPARE(ticker->dateTimeSpec(), Qt::LocalTime);
    QVERIFY(!chart->yAxis->ticker().dynamicCast<QCPAxisTickerDateTime>());

    for (QCPAxis *axis : {chart->xAxis, chart->yAxis}) {
        QCOMPARE(axis->tickLabelFont().pointSize(), 8);
        QCOMPARE(axis->tickLabelFont().family(), QFont().family());
        QVERIFY(!axis->tickLabelFont().italic());
        QVERIFY(axis->subTicks());
    }
}

void TestMainWindow::timeTickLabelsAreTwoLinesOfLocalTime()
{
    QCustomPlot *chart = plot();
    const QDateTime start(QDate(2015, 6, 24), QTime(20, 0), Qt::LocalTime);
    chart->xAxis->setRange(start.toSecsSinceEpoch(), start.toSecsSinceEpoch() + 8 * 3600);
    chart->replot();

    const QVector<double> ticks = chart->xAxis->tickVector();
    const QVector<QString> labels = chart->xAxis->tickVectorLabels();
    QVERIFY(ticks.size() >= 2);
    QCOMPARE(labels.size(), ticks.size());
    const QRegularExpression twoLines("^\\d\\d\\.\\d\\d\\.\\d{4}\\n\\d\\d:\\d\\d:\\d\\d$");
    for (int i = 0; i < ticks.size(); ++i) {
        QVERIFY2(twoLines.match(labels.at(i)).hasMatch(), qPrintable(labels.at(i)));
        const QDateTime local = QDateTime::fromSecsSinceEpoch(qint64(ticks.at(i)), Qt::LocalTime);
        QCOMPARE(labels.at(i), local.toString("dd.MM.yyyy\nhh:mm:ss"));
    }
    // The test runs in Berlin summer time: local labels are not UTC ones.
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(qint64(ticks.first()), Qt::UTC);
    QVERIFY(labels.first() != utc.toString("dd.MM.yyyy\nhh:mm:ss"));
    QVERIFY(labels.contains(QStringLiteral("24.06.2015\n22:00:00")));
}

void TestMainWindow::temperatureLabelsUseBritishGrouping()
{
    QCustomPlot *chart = plot();
    QCOMPARE(chart->locale(), QLocale(QLocale::English, QLocale::UnitedKingdom));
    chart->yAxis->setRange(0, 5000);
    chart->replot();
    QVERIFY2(chart->yAxis->tickVectorLabels().contains(QStringLiteral("1,000")),
             qPrintable(QStringList(chart->yAxis->tickVectorLabels().toList()).join(' ')));
}

void TestMainWindow::interactionsAreDragZoomAndSelect()
{
    QCOMPARE(int(plot()->interactions()), 0x01 | 0x02 | 0x08);
}

void TestMainWindow::draggingMovesTheTimeAxis()
{
    QCustomPlot *chart = plot();
    chart->xAxis->setRange(1000, 2000);
    chart->replot();
    const QPoint from = chart->axisRect()->center();
    const QPoint to = from + QPoint(-100, 0);

    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &press);
    QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart, &release);

    const double perPixel = 1000.0 / chart->axisRect()->width();
    QVERIFY(chart->xAxis->range().lower > 1000);
    QVERIFY(qAbs(chart->xAxis->range().lower - (1000 + 100 * perPixel)) < 2 * perPixel);
    QVERIFY(qAbs(chart->xAxis->range().size() - 1000) < 1e-6);
}

void TestMainWindow::wheelZoomsIn()
{
    QCustomPlot *chart = plot();
    chart->xAxis->setRange(1000, 2000);
    chart->replot();
    const QPoint at = chart->axisRect()->center();
    QWheelEvent wheel(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QVERIFY(chart->xAxis->range().size() < 1000);
    QVERIFY(chart->yAxis->range().size() < 110);
}

void TestMainWindow::clickingAGraphSelectsItAlone()
{
    QCustomPlot *chart = plot();
    chart->xAxis->setRange(0, 100);
    for (int i = 0; i < 5; ++i)
        chart->graph(i)->addData(QVector<double>{0, 100}, QVector<double>{10.0 + 20 * i, 10.0 + 20 * i});
    chart->replot();

    auto click = [chart](const QPoint &at) {
        QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier, at);
    };
    click(pixelOf(chart->graph(2), 50, 50));
    QVERIFY(chart->graph(2)->selected());
    click(pixelOf(chart->graph(3), 50, 70));
    QVERIFY(chart->graph(3)->selected());
    QVERIFY(!chart->graph(2)->selected());
    QCOMPARE(chart->selectedGraphs().size(), 1);

    // Neither the legend nor an axis can be selected.
    click(chart->legend->outerRect().center());
    QVERIFY(chart->selectedLegends().isEmpty());
    click(QPoint(chart->axisRect()->left() + 20, chart->axisRect()->bottom() + 10));
    QVERIFY(chart->selectedAxes().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
