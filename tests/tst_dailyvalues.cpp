// SPDX-License-Identifier: GPL-3.0-or-later
// Each local day's values against a plain scan of the points, also where records joined later,
// the days as CSV, and "Tageswerte..." as a user meets it: a day opened from its row as one view,
// bold days, the copied table, and a followed log's new day.
#include "chart/dailyvalues.h"
#include "logbuilder.h"
#include "mainwindow.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {

double localKey(const QString &text)
{
    return double(QDateTime::fromString(text, "yyyy-MM-dd HH:mm:ss").toSecsSinceEpoch());
}

// Every step seconds from `from` up to and including `to`.
QVector<double> every(const QString &from, const QString &to, int step)
{
    QVector<double> keys;
    for (double key = localKey(from); key <= localKey(to); key += step)
        keys.append(key);
    return keys;
}

// A channel's value for record i: repeating, so a day's extremes occur more than once.
double valueOf(int i)
{
    return double((i * 37) % 23 - 7);
}

// What each day holds, found record by record: date, count, low, high, lowKey, highKey, sum.
QVector<QVector<double>> scan(const QVector<QCPGraphData> &points)
{
    QMap<QDate, QVector<double>> days;
    for (const QCPGraphData &point : points) {
        QVector<double> &day = days[QDateTime::fromSecsSinceEpoch(qint64(point.key)).date()];
        if (day.isEmpty())
            day = {0, point.value, point.value, point.key, point.key, 0};
        if (point.value < day[1])
            day[1] = point.value, day[3] = point.key;
        if (point.value > day[2])
            day[2] = point.value, day[4] = point.key;
        day[0] += 1;
        day[5] += point.value;
    }
    QVector<QVector<double>> rows;
    for (QDate date = days.firstKey(); date <= days.lastKey(); date = date.addDays(1))
        rows.append(QVector<double>{double(date.toJulianDay())} + days.value(date, {0}));
    return rows;
}

QVector<QVector<double>> found(const DailyValues &days)
{
    QVector<QVector<double>> rows;
    for (int day = 0; day < days.dayCount(); ++day) {
        QVector<double> row{double(days.date(day).toJulianDay()), double(days.records(day))};
        if (days.records(day) > 0) {
            const DailyValues::Values values = days.values(day, 0);
            row << values.low << values.high << values.lowKey << values.highKey << values.sum;
        }
        rows.append(row);
    }
    return rows;
}

QVector<QCPGraphData> pointsAt(const QVector<double> &keys)
{
    QVector<QCPGraphData> points;
    for (int i = 0; i < keys.size(); ++i)
        points.append({keys[i], valueOf(i)});
    std::stable_sort(points.begin(), points.end(), [](auto a, auto b) { return a.key < b.key; });
    return points;
}

} // namespace

class TestDailyValues : public QObject
{
    Q_OBJECT

private slots:
    void daysAgainstAScan_data()
    {
        QTest::addColumn<QVector<double>>("keys");
        QTest::addColumn<int>("late"); // records, taken from the middle, that join after the others
        QTest::addColumn<int>("days");
        QTest::newRow("summer time begins") << every("2026-03-28 20:00:00", "2026-03-30 04:00:00", 1800) << 5 << 3;
        QTest::newRow("summer time ends") << every("2026-10-24 20:00:00", "2026-10-26 04:00:00", 1800) << 5 << 3;
        QTest::newRow("23:59:59 and 00:00:00")
            << QVector<double>{localKey("2026-02-09 23:59:59"), localKey("2026-02-10 00:00:00"),
                               localKey("2026-02-10 23:59:59"), localKey("2026-02-11 00:00:00")} << 1 << 3;
        QTest::newRow("empty days") << QVector<double>{localKey("2026-01-01 12:00:00"), localKey("2026-01-05 08:00:00")}
                                    << 1 << 5;
        QTest::newRow("a single record") << QVector<double>{localKey("2026-02-09 00:00:00")} << 0 << 1;
        QTest::newRow("equal times across files") << every("2026-02-09 22:00:00", "2026-02-10 02:00:00", 3600)
                                                             + every("2026-02-09 22:00:00", "2026-02-10 02:00:00", 3600)
                                                  << 4 << 2;
        QTest::newRow("one instant") << QVector<double>(5, localKey("2026-02-09 06:00:00")) << 2 << 1;
        QTest::newRow("a record in 2000 among 2026's")
            << QVector<double>{localKey("2000-01-01 00:30:00")} + every("2026-02-09 00:00:00", "2026-02-10 12:00:00", 600)
            << 10 << 9538;
    }
    void daysAgainstAScan()
    {
        QFETCH(QVector<double>, keys);
        QFETCH(int, late);
        QFETCH(int, days);
        const QVector<QCPGraphData> points = pointsAt(keys);
        MinMaxSummary summary;
        summary.build(points.constData(), points.size());
        const DailyValues all({{points.constData(), &summary}}, 0, points.size());
        QCOMPARE(all.dayCount(), days);
        QCOMPARE(found(all), scan(points));

        // Those from the middle join later, as a followed log's older records do.
        QVector<QCPGraphData> early = points;
        const int from = (points.size() - late) / 2;
        early.remove(from, late);
        MinMaxSummary earlySummary;
        earlySummary.build(early.constData(), early.size());
        DailyValues joined({{early.constData(), &earlySummary}}, 0, early.size());
        const double fromKey = late > 0 ? points[from].key : points.last().key;
        QVERIFY(joined.recordsJoined({{points.constData(), &summary}}, points.size(), fromKey) <= joined.dayOf(fromKey));
        QCOMPARE(found(joined), found(all));
    }

    void csvBytes()
    {
        const QVector<QCPGraphData> points = {{localKey("2026-03-28 12:00:00"), -1},
                                              {localKey("2026-03-28 13:00:00"), -2},
                                              {localKey("2026-03-30 00:00:00"), 41}};
        MinMaxSummary summary;
        summary.build(points.constData(), points.size());
        const DailyValues days({{points.constData(), &summary}}, 0, points.size());
        QTemporaryDir folder;
        QVERIFY(days.saveCsv(folder.filePath("t.csv"), {"TW"}));
        QFile file(folder.filePath("t.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("Tag;TW Min;TW Max;TW Mittel;Datensätze\r\n2026-03-28;-2;-1;-1,5;2\r\n"
                                            "2026-03-29;;;;0\r\n2026-03-30;41;41;41,0;1\r\n"));
        QVERIFY(!days.saveCsv(folder.filePath("no/such/folder.csv"), {"TW"}));
    }

    // Three days of hourly records from Monday 9 February 2026, 00:00; a fourth joins while followed.
    void dialogAsAUserMeetsIt()
    {
        QTemporaryDir folder;
        const QString log = folder.filePath("a.log");
        const qint32 first = qint32(localKey("2026-02-09 00:00:00") - LogBuilder::kEpochOffset);
        QVector<LogBuilder::Record> records;
        for (int hour = 0; hour < 96; ++hour)
            records.append(LogBuilder::steppedRecord(first + 3600 * hour, qint16(10 * (hour % 24))));
        QVERIFY(LogBuilder::writeFile(log, LogBuilder::logBytes(records.mid(0, 72))));

        MainWindow window;
        window.show();
        auto *action = window.findChild<QAction *>("actionDailyValues");
        QVERIFY(!action->isEnabled());
        window.loadLogFiles({log});
        QVERIFY(action->isEnabled());
        action->trigger();
        auto *dialog = window.findChild<QDialog *>("dailyValuesDialog");
        QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog) && !dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QString("Tageswerte"));
        QCOMPARE(dialog->findChild<QComboBox *>("dailyChannel")->currentText(), QString("TSA1"));
        auto *table = dialog->findChild<QTableView *>("dailyTable");
        const QAbstractItemModel *model = table->model();
        QCOMPARE(model->rowCount(), 3);
        QStringList row;
        for (int column = 0; column < model->columnCount(); ++column)
            row << model->index(1, column).data().toString();
        QCOMPARE(row, QStringList({"Di 10.02.2026", "0 °C", "00:00:00", "23 °C", "23:00:00", "11,5 °C", "24"}));

        auto *plot = window.findChild<QCustomPlot *>("customPlot");
        const QCPRange whole = plot->xAxis->range();
        // As the platform delivers a double-click: a click, then the second press as a double-click.
        const QPoint secondRow = table->visualRect(model->index(1, 0)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, secondRow);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, secondRow);
        QCOMPARE(plot->xAxis->range().lower, localKey("2026-02-10 00:00:00"));
        QCOMPARE(plot->xAxis->range().upper, localKey("2026-02-11 00:00:00"));
        for (int day = 0; day < 3; ++day)
            QCOMPARE(model->index(day, 2).data(Qt::FontRole).value<QFont>().bold(), day == 1);
        window.findChild<QAction *>("actionViewBack")->trigger();
        QCOMPARE(plot->xAxis->range(), whole);
        QVERIFY(dialog->isVisible());
        // The third day's bar, halfway up.
        auto *chart = dialog->findChild<QCustomPlot *>("dailyChart");
        const QPoint bar(int(chart->xAxis->coordToPixel(localKey("2026-02-11 12:00:00"))),
                         int(chart->yAxis->coordToPixel(10)));
        QTest::mouseClick(chart, Qt::LeftButton, {}, bar);
        QTest::mouseDClick(chart, Qt::LeftButton, {}, bar);
        QCOMPARE(plot->xAxis->range().lower, localKey("2026-02-11 00:00:00"));
        plot->xAxis->setRange(-1e20, 1e20); // zoomed out past any calendar
        QVERIFY(model->index(0, 0).data(Qt::FontRole).value<QFont>().bold());

        dialog->findChild<QComboBox *>("dailyChannel")->setCurrentText("TW");
        for (auto *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == "Kopieren")
                button->click();
        }
        QCOMPARE(QApplication::clipboard()->text().section('\n', 0, 2),
                 QString("Tageswerte TW, 09.02.2026 bis 11.02.2026\nTag\tMin\tZeit Min\tMax\tZeit Max\tMittel\tDatensätze\n"
                         "Mo 09.02.2026\t2 °C\t00:00:00\t25 °C\t23:00:00\t13,5 °C\t24"));

        window.findChild<QAction *>("actionFollow")->setChecked(true);
        QFile file(log);
        QVERIFY(file.open(QIODevice::Append));
        file.write(LogBuilder::logBytes(records.mid(72)).mid(LogBuilder::kHeaderSize));
        file.close();
        QTRY_COMPARE(model->rowCount(), 4);
        QCOMPARE(model->index(3, 0).data().toString(), QString("Do 12.02.2026"));
        QCOMPARE(model->index(3, 6).data().toString(), QString("24"));
        window.findChild<QAction *>("actionFollow")->setChecked(false);
    }
};

QTEST_MAIN(TestDailyValues)
#include "tst_dailyvalues.moc"
