// SPDX-License-Identifier: GPL-3.0-or-later
// The read-out under the mouse, the markers and the statistics on a bare chart; the home view,
// the chart's menu, channels on and off, drops.
#include "chart/chartcomparison.h"
#include "chart/chartmarkers.h"
#include "chart/chartreadout.h"
#include "chart/statisticsdialog.h"
#include "graph/envelopegraph.h"
#include "logbuilder.h"
#include "mainwindow.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
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

// A right-click's request for the context menu, as the mouse sends it.
static void requestMenu(QWidget *widget, const QPoint &at)
{
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &request);
}

static QPushButton *button(QWidget *dialog, const QString &text)
{
    for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// The bare chart's records: at pixels 100, 200 (twice, equal keys) and 450.
static QVector<double> recordKeys()
{
    return {keyAtPixel(100), keyAtPixel(200), keyAtPixel(200), keyAtPixel(450)};
}

class TestChartReading : public QObject
{
    Q_OBJECT

    QCustomPlot *mPlot = nullptr;
    ChartReadout *mReadout = nullptr;
    ChartMarkers *mMarkers = nullptr;
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
    // A bare chart of two graphs.
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
        const QVector<double> keys = recordKeys();
        mPlot->addGraph()->setData(keys, {64, 70, 71, 80}, true);
        mPlot->addGraph()->setData(keys, {-3, 5, 6, 7}, true);
        mPlot->graph(0)->setName("TSA1");
        mPlot->graph(1)->setName("TAM");
        mReadout = new ChartReadout(mPlot);
        mMarkers = new ChartMarkers(mPlot);
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

    void readoutLeavesNoTrace_data()
    {
        QTest::addColumn<bool>("zoomBetweenMoves");
        QTest::newRow("two moves") << false;
        QTest::newRow("a wheel notch between the moves") << true;
    }

    // A move repaints only where the read-out was and is; after it leaves, the chart looks as
    // drawn whole without it.
    void readoutLeavesNoTrace()
    {
        QFETCH(bool, zoomBetweenMoves);
        const QImage without = mPlot->grab().toImage();
        sendMove(mPlot, QPoint(150, 100));
        if (zoomBetweenMoves) {
            QWheelEvent wheel(QPointF(300, 150), mPlot->mapToGlobal(QPoint(300, 150)), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(mPlot, &wheel);
            mPlot->replot();
            sendMove(mPlot, QPoint(150, 100));
        }
        sendMove(mPlot, QPoint(460, 250));
        QVERIFY(mPlot->grab().toImage() != without);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(mPlot, &leave);
        const QImage left = mPlot->grab().toImage();
        mPlot->replot();
        QCOMPARE(left, mPlot->grab().toImage());
    }

    void markersShowTheChangeFromAToB_data()
    {
        QTest::addColumn<int>("a"); // where the menu is asked for to set A, then B
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("then");
        QTest::addColumn<QList<int>>("lines"); // where dashed lines are drawn
        QTest::addColumn<QStringList>("text");
        const QString noon = "12.02.2026 12:00:00", equalKeys = "12.02.2026 13:40:00", last = "12.02.2026 17:50:00";
        const QStringList rising{"A: " + noon, "B: " + last, "Δt: 0 d 05:50:00", "TSA1: 64 → 80 °C (+16)", "TAM: -3 → 7 °C (+10)"};
        QTest::newRow("A before B") << 150 << 460 << "" << QList<int>{100, 450} << rising;
        QTest::newRow("B before A") << 460 << 150 << "" << QList<int>{100, 450}
                                    << QStringList{"A: " + last, "B: " + noon, "Δt: -0 d 05:50:00", "TSA1: 80 → 64 °C (-16)", "TAM: 7 → -3 °C (-10)"};
        QTest::newRow("both on one record") << 120 << 190 << "" << QList<int>{100}
                                            << QStringList{"A: " + noon, "B: " + noon, "Δt: 0 d 00:00:00", "TSA1: 64 → 64 °C (±0)", "TAM: -3 → -3 °C (±0)"};
        QTest::newRow("equal keys: the last") << 199 << 300 << "" << QList<int>{100, 200}
                                              << QStringList{"A: " + noon, "B: " + equalKeys, "Δt: 0 d 01:40:00", "TSA1: 64 → 71 °C (+7)", "TAM: -3 → 6 °C (+9)"};
        QTest::newRow("left of the first record: A not set") << 99 << 460 << "" << QList<int>{450} << QStringList();
        QTest::newRow("every channel hidden") << 150 << 460 << "hide" << QList<int>{100, 450} << QStringList(rising.mid(0, 3));
        QTest::newRow("zoomed out: lines at their times") << 150 << 460 << "zoom" << QList<int>{50, 225} << rising;
        QTest::newRow("out of view") << 150 << 460 << "pan" << QList<int>() << rising;
        QTest::newRow("removed") << 150 << 460 << "remove" << QList<int>() << QStringList();
    }

    // Setting a marker redraws the overlay layers alone; the box lies inside the plot area,
    // beneath the read-out's; below it, each marker in view is a dashed dark line.
    void markersShowTheChangeFromAToB()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, then);
        QFETCH(QList<int>, lines);
        QFETCH(QStringList, text);
        QSignalSpy fullRedraws(mPlot, &QCustomPlot::beforeReplot);
        auto *remove = mPlot->findChild<QAction *>("actionRemoveMarkers");
        QVERIFY(!remove->isEnabled());
        for (const auto &click : QList<QPair<int, const char *>>{{a, "actionSetMarkerA"}, {b, "actionSetMarkerB"}}) {
            requestMenu(mPlot, QPoint(click.first, 150));
            auto *set = mPlot->findChild<QAction *>(click.second);
            QCOMPARE(set->isEnabled(), click.first >= 100);
            set->trigger();
        }
        QCOMPARE(fullRedraws.count(), 0);
        QVERIFY(remove->isEnabled());
        mPlot->graph(0)->setVisible(then != "hide");
        mPlot->graph(1)->setVisible(then != "hide");
        if (then == "zoom")
            mPlot->xAxis->setRange(keyAtPixel(0), keyAtPixel(1024));
        if (then == "pan")
            mPlot->xAxis->setRange(keyAtPixel(600), keyAtPixel(1112));
        if (then == "remove")
            remove->trigger();
        mPlot->replot();
        QCOMPARE(mMarkers->text(), text);
        QCOMPARE(remove->isEnabled(), then != "remove");
        const QRect area = mPlot->axisRect()->rect();
        QVERIFY(text.isEmpty() || QRectF(area).contains(mMarkers->boxRect()));
        QVERIFY(mPlot->layer("markers")->index() < mPlot->layer("readout")->index());

        const QImage image = mPlot->toPixmap().toImage();
        const int top = (text.isEmpty() ? area.top() : int(mMarkers->boxRect().bottom())) + 20; // below box, letters
        const int bottom = area.bottom() - 8; // clear of the axes' ticks
        auto darkRows = [&](int x) {
            int rows = 0;
            for (int y = top; y < bottom; ++y) {
                bool dark = false;
                for (int column = x - 1; column <= x + 1; ++column) {
                    const QColor pixel = image.pixelColor(column, y);
                    dark |= pixel.red() == pixel.green() && pixel.green() == pixel.blue() && pixel.red() < 200;
                }
                rows += dark;
            }
            return rows;
        };
        for (int x = 8; x < area.right() - 2; ++x) {
            const int rows = darkRows(x);
            if (lines.contains(x))
                QVERIFY2(rows > (bottom - top) / 3 && rows < bottom - top, qPrintable(QString::number(x)));
            else if (!lines.contains(x - 1) && !lines.contains(x + 1))
                QVERIFY2(rows == 0, qPrintable(QString::number(x)));
        }
    }

    void statisticsOfTheRecordsInView_data()
    {
        QTest::addColumn<int>("from"); // the time axis's range, in pixels of the start-up view
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("cells"); // "Min" to "Mittel" of TSA1, then of TAM
        const QString noon = "12.02.2026 12:00:00", equalKeys = "12.02.2026 13:40:00", last = "12.02.2026 17:50:00";
        QTest::newRow("whole view: means rounded away from zero")
            << 0 << 512 << "Von " + noon + " bis " + last + ", 4 Datensätze"
            << QStringList{"64 °C", noon, "80 °C", last, "71,3 °C", "-10 °C", equalKeys, "7 °C", noon, "-1,3 °C"};
        QTest::newRow("ends included") << 100 << 200 << "Von " + noon + " bis " + equalKeys + ", 3 Datensätze"
                                       << QStringList{"64 °C", noon, "71 °C", equalKeys, "68,3 °C", "-10 °C", equalKeys, "7 °C", noon, "-4,0 °C"};
        QTest::newRow("one record") << 440 << 500 << "Von " + last + " bis " + last + ", 1 Datensatz"
                                    << QStringList{"80 °C", last, "80 °C", last, "80,0 °C", "7 °C", last, "7 °C", last, "7,0 °C"};
        QTest::newRow("none") << 201 << 449 << "Keine Datensätze im Ausschnitt" << QStringList(QVector<QString>(10, "–").toList());
    }

    // Every channel, hidden ones too; "Kopieren" puts the line and the table on the clipboard.
    void statisticsOfTheRecordsInView()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, label);
        QFETCH(QStringList, cells);
        mPlot->graph(1)->setData(recordKeys(), {7, -10, -9, 7}, true);
        mPlot->graph(1)->setVisible(false);
        mPlot->xAxis->setRange(keyAtPixel(from), keyAtPixel(to));
        StatisticsDialog dialog(mPlot);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Statistik"));
        QVERIFY(dialog.isModal());
        QCOMPARE(dialog.findChild<QLabel *>()->text(), label);
        auto *table = dialog.findChild<QTableWidget *>("statistics");
        const QStringList header{"Kanal", "Min", "Zeit Min", "Max", "Zeit Max", "Mittel"};
        const QStringList rows{"TSA1\t" + cells.mid(0, 5).join('\t'), "TAM\t" + cells.mid(5).join('\t')};
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList fields;
            for (int column = 0; column < table->columnCount(); ++column)
                fields.append(table->item(row, column)->text());
            shown.append(fields.join('\t'));
        }
        QCOMPARE(shown, rows);
        QTest::mouseClick(button(&dialog, "Kopieren"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), QStringList({label, header.join('\t'), rows[0], rows[1], ""}).join('\n'));
        QTest::mouseClick(button(&dialog, "Schließen"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }

    void doubleClickAndMenuReturnToTheLoadedView()
    {
        QCustomPlot *plot = windowPlot();
        // The comparison chosen before a load stays through it.
        mWindow->findChild<QAction *>("actionCompareWeek")->trigger();
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
        QCOMPARE(entries, QStringList({"Ansicht zurücksetzen", "Vorherige Ansicht", "Nächste Ansicht", "Zeitraum...", "Übersicht",
                                       "Vergleichen mit", "Logdateien verfolgen", "Bild speichern...", "Daten exportieren...", "",
                                       "Marke A hier setzen", "Marke B hier setzen", "Marken entfernen", "", "Statistik...",
                                       "Tageswerte..."}));
        QCOMPARE(menu->actions().first(), reset);
        reset->trigger();
        QCOMPARE(plot->xAxis->range(), QCPRange(LogBuilder::kEpochOffset, LogBuilder::kEpochOffset + 300));
        QCOMPARE(plot->yAxis->range(), QCPRange(-10, 100));
        QVERIFY(plot->graph(1)->selected());
        QStringList periods;
        for (const QAction *action : mWindow->findChild<QMenu *>("menuCompare")->actions())
            periods.append(action->objectName() + ' ' + action->text() + (action->isChecked() ? " *" : ""));
        QCOMPARE(periods, QStringList({"actionCompareNone Nichts", "actionCompareDay Vortag",
                                       "actionCompareWeek Vorwoche *", "actionCompareYear Vorjahr"}));
        QCOMPARE(qobject_cast<EnvelopeGraph *>(plot->graph(0))->comparisonShift(), 604800.0);
    }

    void readoutGivesTheEarlierPeriodsValue_data()
    {
        QTest::addColumn<QString>("period"); // its menu entry
        QTest::addColumn<int>("x");
        QTest::addColumn<bool>("hideTam");
        QTest::addColumn<QStringList>("text");
        const QString at200 = "12.02.2026 13:40:00";
        QTest::newRow("Vortag") << "actionCompareDay" << 210 << false
                                << QStringList{at200, "TSA1: 71 °C (Vortag: 49 °C)", "TAM: 6 °C (Vortag: 1 °C)"};
        QTest::newRow("after the earlier last record") << "actionCompareDay" << 460 << false
            << QStringList{"12.02.2026 17:50:00", "TSA1: 80 °C (Vortag: 52 °C)", "TAM: 7 °C (Vortag: 2 °C)"};
        QTest::newRow("before the earlier first record") << "actionCompareDay" << 120 << false
            << QStringList{"12.02.2026 12:00:00", "TSA1: 64 °C (Vortag: –)", "TAM: -3 °C (Vortag: –)"};
        QTest::newRow("Vorwoche, no records") << "actionCompareWeek" << 210 << false
                                              << QStringList{at200, "TSA1: 71 °C (Vorwoche: –)", "TAM: 6 °C (Vorwoche: –)"};
        QTest::newRow("hidden channel") << "actionCompareDay" << 210 << true
                                        << QStringList{at200, "TSA1: 71 °C (Vortag: 49 °C)"};
        QTest::newRow("Nichts") << "actionCompareNone" << 210 << false << QStringList{at200, "TSA1: 71 °C", "TAM: 6 °C"};
    }

    // Yesterday's records at pixels 150 and 300 of the day before; choosing a period redraws once.
    void readoutGivesTheEarlierPeriodsValue()
    {
        QFETCH(QString, period);
        QFETCH(int, x);
        QFETCH(bool, hideTam);
        QFETCH(QStringList, text);
        QVector<double> keys{keyAtPixel(150) - 86400, keyAtPixel(300) - 86400};
        keys += recordKeys();
        mPlot->graph(0)->setData(keys, {49, 52, 64, 70, 71, 80}, true);
        mPlot->graph(1)->setData(keys, {1, 2, -3, 5, 6, 7}, true);
        mPlot->graph(1)->setVisible(!hideTam);
        new ChartComparison(mPlot);
        QSignalSpy redraws(mPlot, &QCustomPlot::beforeReplot);
        auto *entry = mPlot->findChild<QAction *>(period);
        entry->trigger();
        QVERIFY(entry->isChecked());
        QCOMPARE(redraws.count(), 1);
        sendMove(mPlot, QPoint(x, 295));
        QCOMPARE(mReadout->text(), text);
    }

    // Through the window's menu, over a span of years; a new load takes the markers away.
    void markersAndStatisticsFromTheChartMenu()
    {
        QCustomPlot *plot = windowPlot();
        auto *setA = mWindow->findChild<QAction *>("actionSetMarkerA");
        requestMenu(plot, plot->axisRect()->center());
        QVERIFY(!setA->isEnabled()); // nothing loaded
        const qint32 later = 800 * 86400;
        mWindow->loadLogFiles({writeLog("a.log", 0), writeLog("b.log", later)});
        const double first = LogBuilder::kEpochOffset;
        plot->xAxis->setRange(first - 10 * 86400, first + later + 10 * 86400);
        plot->replot();
        // A pixel right of a file's first record: its second, five minutes on, is in effect.
        for (const auto &click : QList<QPair<double, QAction *>>{{first, setA}, {first + later, mWindow->findChild<QAction *>("actionSetMarkerB")}}) {
            requestMenu(plot, QPoint(qRound(plot->xAxis->coordToPixel(click.first)) + 1, plot->axisRect()->center().y()));
            QTRY_COMPARE(QApplication::activePopupWidget(), mWindow->findChild<QMenu *>("chartMenu"));
            click.second->trigger();
            QApplication::activePopupWidget()->close();
        }
        auto *markers = plot->findChild<ChartMarkers *>();
        // Both are second records, of base 200: channel i holds 20 + i degrees.
        const QStringList channels{"TSA1", "TSE", "TW", "TSV", "TAM"};
        QStringList expected{"A: 01.01.2000 00:05:00", "B: 11.03.2002 00:05:00", "Δt: 800 d 00:00:00"};
        for (int i = 0; i < channels.size(); ++i)
            expected.append(QString("%1: %2 → %2 °C (±0)").arg(channels[i]).arg(20 + i));
        QCOMPARE(markers->text(), expected);

        QString title;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&]() {
            auto *dialog = qobject_cast<StatisticsDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            QTest::mouseClick(button(dialog, "Kopieren"), Qt::LeftButton);
            QTest::mouseClick(button(dialog, "Schließen"), Qt::LeftButton);
        });
        answer.start(20);
        mWindow->findChild<QAction *>("actionStatistics")->trigger();
        QCOMPARE(title, QString("Statistik"));
        QStringList copied{"Von 01.01.2000 00:00:00 bis 11.03.2002 00:05:00, 4 Datensätze", "Kanal\tMin\tZeit Min\tMax\tZeit Max\tMittel"};
        for (int i = 0; i < channels.size(); ++i)
            copied.append(QString("%1\t%2 °C\t01.01.2000 00:00:00\t%3 °C\t01.01.2000 00:05:00\t%4,0 °C")
                              .arg(channels[i]).arg(10 + i).arg(20 + i).arg(15 + i));
        QCOMPARE(QApplication::clipboard()->text(), copied.join('\n') + '\n');

        mWindow->loadLogFiles({writeLog("a.log", 0)});
        QVERIFY(markers->text().isEmpty());
        QVERIFY(!mWindow->findChild<QAction *>("actionRemoveMarkers")->isEnabled());
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
