// SPDX-License-Identifier: GPL-3.0-or-later
// The sample log that the README opens: a newcomer's first chart must show five distinct daily
// waves inside the chart's temperature range, from the first minute to the last.
#include "logs/logdecoder.h"
#include "mainwindow.h"

#include <QFile>
#include <QStatusBar>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>

namespace {

const int kDays = 3;
const int kSecondsPerDay = 86400;
const int kRecordInterval = 60;
const int kRecordCount = kDays * kSecondsPerDay / kRecordInterval;
// 2026-02-09 00:00 at UTC+01:00, the first record.
const double kFirstKey = 1770591600;
const double kChartLowest = -10;
const double kChartHighest = 100;
const double kLeastDailySwing = 3;

} // namespace

class TestSample : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void threeDaysOfOneMinuteRecords();
    void everyValueLiesInTheChartsTemperatureRange();
    void everyChannelRisesAndFallsEachDay();
    void outsideAirIsWarmestInTheAfternoon();
    void openingFillsTheChartFromFirstToLastRecord();

private:
    QVector<double> dayOf(int channel, int day) const;

    QVector<LogDecoder::LogRecord> mRecords;
};

void TestSample::initTestCase()
{
    QFile file(QStringLiteral(SAMPLE_LOG));
    QVERIFY2(file.open(QIODevice::ReadOnly), SAMPLE_LOG);
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), int(LogDecoder::kHeaderSize + kRecordCount * LogDecoder::kRecordSize));
    mRecords = LogDecoder::decodeLogFile(bytes);
}

QVector<double> TestSample::dayOf(int channel, int day) const
{
    const int perDay = kSecondsPerDay / kRecordInterval;
    QVector<double> values;
    for (int i = day * perDay; i < (day + 1) * perDay; ++i)
        values.append(mRecords.at(i).values[channel]);
    return values;
}

void TestSample::threeDaysOfOneMinuteRecords()
{
    QCOMPARE(mRecords.size(), kRecordCount);
    QCOMPARE(mRecords.first().key, kFirstKey);
    for (int i = 1; i < mRecords.size(); ++i)
        QCOMPARE(mRecords.at(i).key - mRecords.at(i - 1).key, double(kRecordInterval));
}

void TestSample::everyValueLiesInTheChartsTemperatureRange()
{
    for (const LogDecoder::LogRecord &record : qAsConst(mRecords)) {
        for (double value : record.values)
            QVERIFY2(value >= kChartLowest && value <= kChartHighest, qPrintable(QString::number(value)));
    }
}

void TestSample::everyChannelRisesAndFallsEachDay()
{
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        for (int day = 0; day < kDays; ++day) {
            const QVector<double> values = dayOf(channel, day);
            const auto [lowest, highest] = std::minmax_element(values.cbegin(), values.cend());
            QVERIFY2(*highest - *lowest >= kLeastDailySwing,
                     qPrintable(QStringLiteral("channel %1, day %2").arg(channel).arg(day)));
        }
    }
}

void TestSample::outsideAirIsWarmestInTheAfternoon()
{
    const int tam = 4;
    for (int day = 0; day < kDays; ++day) {
        const QVector<double> values = dayOf(tam, day);
        const int warmestMinute = int(std::max_element(values.cbegin(), values.cend()) - values.cbegin());
        QVERIFY2(warmestMinute >= 12 * 60 && warmestMinute < 18 * 60,
                 qPrintable(QStringLiteral("day %1: minute %2").arg(day).arg(warmestMinute)));
    }
}

void TestSample::openingFillsTheChartFromFirstToLastRecord()
{
    MainWindow window;
    window.loadLogFiles({QStringLiteral(SAMPLE_LOG)});

    auto *chart = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    QVERIFY(chart);
    for (int graph = 0; graph < LogDecoder::kChannelCount; ++graph)
        QCOMPARE(chart->graph(graph)->dataCount(), kRecordCount);
    QCOMPARE(chart->xAxis->range(), QCPRange(kFirstKey, mRecords.last().key));
    QCOMPARE(chart->yAxis->range(), QCPRange(kChartLowest, kChartHighest));
    QVERIFY(window.statusBar()->currentMessage().isEmpty());
}

QTEST_MAIN(TestSample)
#include "tst_sample.moc"
