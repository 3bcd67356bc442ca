// SPDX-License-Identifier: GPL-3.0-or-later
// The min/max summary against a plain scan of the same points, on every kind of range: the
// extremes, the sum, and where each extreme first occurs.
#include "graph/minmaxsummary.h"

#include <QtTest>

#include <random>

namespace {

// Values over the whole range of a channel, or (sparse) zeros with one in fifty at -1 or 1, so
// that each extreme occurs in several places of a range.
QVector<QCPGraphData> randomPoints(int count, unsigned seed, bool sparse = false)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> value(-3276, 3276);
    std::uniform_int_distribution<int> rare(-25, 25);
    QVector<QCPGraphData> points(count);
    for (int i = 0; i < count; ++i)
        points[i] = QCPGraphData(i, sparse ? rare(random) / 25 : value(random));
    return points;
}

QCPRange scannedRange(const QVector<QCPGraphData> &points, int first, int last)
{
    QCPRange range(points[first].value, points[first].value);
    for (int i = first + 1; i < last; ++i)
        range.expand(points[i].value);
    return range;
}

// What the summary tells of points[first, last) equals what a scan finds.
bool matchesScan(const MinMaxSummary &summary, const QVector<QCPGraphData> &points, int first, int last)
{
    const QCPRange range = scannedRange(points, first, last);
    double sum = 0;
    for (int i = first; i < last; ++i)
        sum += points[i].value;
    auto firstAt = [&](double value) {
        int i = first;
        while (points[i].value != value)
            ++i;
        return i;
    };
    const QCPRange found = summary.valueRange(points.constData(), first, last);
    return found.lower == range.lower && found.upper == range.upper
           && summary.valueSum(points.constData(), first, last) == sum
           && summary.firstReaching(points.constData(), first, last, range.lower, MinMaxSummary::End::Lowest) == firstAt(range.lower)
           && summary.firstReaching(points.constData(), first, last, range.upper, MinMaxSummary::End::Highest) == firstAt(range.upper);
}

} // namespace

class TestMinMaxSummary : public QObject
{
    Q_OBJECT

private slots:
    void everyRangeOfAShortRunMatchesAScan();
    void longRangesAcrossLevelsMatchAScan();
    void extremesAtTheRaggedEndsAreFound();
    void nanValuesAreReportedAsGaps();
    void rebuildingForgetsThePreviousPoints();
    void buildInPartsMatchesAScan();
    void extendingMatchesAScan();
    void fillingInStretchesMatchesAScan();
};

void TestMinMaxSummary::everyRangeOfAShortRunMatchesAScan()
{
    // Long enough for two levels of blocks, short enough to try every range.
    for (bool sparse : {false, true}) {
        const QVector<QCPGraphData> points = randomPoints(1100, 1, sparse);
        MinMaxSummary summary;
        summary.build(points.constData(), points.size());
        for (int first = 0; first < points.size(); first += 7) {
            for (int last = first + 1; last <= points.size(); ++last) {
                if (!matchesScan(summary, points, first, last))
                    QFAIL(qPrintable(QString("range %1..%2").arg(first).arg(last)));
            }
        }
    }
}

void TestMinMaxSummary::longRangesAcrossLevelsMatchAScan()
{
    const QVector<QCPGraphData> points = randomPoints(200000, 2);
    MinMaxSummary summary;
    summary.build(points.constData(), points.size());
    std::mt19937 random(3);
    std::uniform_int_distribution<int> index(0, points.size() - 1);
    for (int trial = 0; trial < 300; ++trial) {
        int first = index(random);
        int last = index(random);
        if (first > last)
            std::swap(first, last);
        ++last;
        QVERIFY2(matchesScan(summary, points, first, last), qPrintable(QString("range %1..%2").arg(first).arg(last)));
    }
    QVERIFY(matchesScan(summary, points, 0, points.size()));
}

void TestMinMaxSummary::extremesAtTheRaggedEndsAreFound()
{
    QVector<QCPGraphData> points(5000);
    for (int i = 0; i < points.size(); ++i)
        points[i] = QCPGraphData(i, 0);
    // Just inside the range's ends, where whole blocks do not reach.
    points[101].value = -7;
    points[4998].value = 9;
    MinMaxSummary summary;
    summary.build(points.constData(), points.size());
    const QCPRange found = summary.valueRange(points.constData(), 101, 4999);
    QCOMPARE(found.lower, -7.0);
    QCOMPARE(found.upper, 9.0);
    const QCPRange inner = summary.valueRange(points.constData(), 102, 4998);
    QCOMPARE(inner.lower, 0.0);
    QCOMPARE(inner.upper, 0.0);
    // Each extreme also in the whole blocks left of the right end: those come first.
    points[4500].value = points[4995].value = -7;
    points[4600].value = 9;
    summary.build(points.constData(), points.size());
    QVERIFY(matchesScan(summary, points, 102, 4999));
}

void TestMinMaxSummary::nanValuesAreReportedAsGaps()
{
    QVector<QCPGraphData> points = randomPoints(3000, 4);
    MinMaxSummary summary;
    summary.build(points.constData(), points.size());
    QVERIFY(!summary.hasGaps());
    points[2999].value = std::numeric_limits<double>::quiet_NaN();
    summary.build(points.constData(), points.size());
    QVERIFY(summary.hasGaps());
}

void TestMinMaxSummary::rebuildingForgetsThePreviousPoints()
{
    const QVector<QCPGraphData> large = randomPoints(100000, 5);
    QVector<QCPGraphData> small(40);
    for (int i = 0; i < small.size(); ++i)
        small[i] = QCPGraphData(i, 1000 + i);
    MinMaxSummary summary;
    summary.build(large.constData(), large.size());
    summary.build(small.constData(), small.size());
    const QCPRange found = summary.valueRange(small.constData(), 0, 40);
    QCOMPARE(found.lower, 1000.0);
    QCOMPARE(found.upper, 1039.0);
}

// A load's build calls back after each 4M points: twice for 9M, and what it built still
// matches a scan across the parts' borders.
void TestMinMaxSummary::buildInPartsMatchesAScan()
{
    const QVector<QCPGraphData> points = randomPoints(9000000, 6);
    int parts = 0;
    MinMaxSummary summary;
    summary.build(points.constData(), points.size(), [&parts] { ++parts; });
    QCOMPARE(parts, 2);
    QVERIFY(matchesScan(summary, points, 0, points.size()));
    QVERIFY(matchesScan(summary, points, 4194000, 8389000));
}

// Points added in steps, some ending inside a block, some changing points from well before the
// old end (as records out of order move the later ones): every level matches a scan, as a build
// of the whole does.
void TestMinMaxSummary::extendingMatchesAScan()
{
    QVector<QCPGraphData> points = randomPoints(70000, 7);
    MinMaxSummary summary;
    summary.build(points.constData(), 20);
    const QVector<QCPGraphData> more = randomPoints(points.size(), 8);
    struct Step {
        int from;
        int count;
    };
    for (const Step step : {Step{20, 31}, Step{31, 33}, Step{33, 1100}, Step{1000, 1024}, Step{1024, 33000},
                            Step{5, 69999}, Step{69999, 70000}}) {
        for (int i = step.from; i < step.count; ++i)
            points[i] = more[i];
        summary.extend(points.constData(), step.from, step.count);
        QVERIFY2(matchesScan(summary, points, 0, step.count), qPrintable(QString("up to %1").arg(step.count)));
        QVERIFY(matchesScan(summary, points, step.count / 3, step.count));
    }
}

// Points written in stretches cut anywhere, filled in any order as threads would, some written
// past what is then shown or again from well before the old end: every level matches a scan, and
// a NaN one stretch met is a gap.
void TestMinMaxSummary::fillingInStretchesMatchesAScan()
{
    QVector<QCPGraphData> points = randomPoints(70000, 9);
    MinMaxSummary summary;
    struct Step {
        int from;
        int end; // written
        int count; // then shown
        QVector<int> cuts;
    };
    const Step steps[] = {{0, 20, 20, {}}, {20, 1100, 1100, {31, 64, 700}}, {1100, 9000, 5001, {3333}},
                          {5001, 40000, 40000, {5003, 6000, 6001, 20000}}, {7, 69999, 69999, {9, 40, 35000}}};
    unsigned seed = 10;
    for (const Step &step : steps) {
        const QVector<QCPGraphData> more = randomPoints(points.size(), ++seed);
        for (int i = step.from; i < step.end; ++i)
            points[i] = more[i];
        summary.makeRoom(step.from, step.end);
        QVector<int> edges = QVector<int>{step.from} + step.cuts + QVector<int>{step.end};
        bool gaps = false;
        for (int stretch = edges.size() - 2; stretch >= 0; --stretch)
            gaps |= summary.fill(points.constData(), edges[stretch], edges[stretch + 1]);
        summary.extendFilled(points.constData(), step.from, step.count, gaps);
        QVERIFY2(matchesScan(summary, points, 0, step.count), qPrintable(QString("up to %1").arg(step.count)));
        QVERIFY(matchesScan(summary, points, step.count / 3, step.count));
        QVERIFY(!summary.hasGaps());
    }
    points[69990].value = std::numeric_limits<double>::quiet_NaN();
    summary.makeRoom(69000, 70000);
    summary.extendFilled(points.constData(), 69000, 70000, summary.fill(points.constData(), 69000, 70000));
    QVERIFY(summary.hasGaps());
}

QTEST_APPLESS_MAIN(TestMinMaxSummary)
#include "tst_minmaxsummary.moc"
