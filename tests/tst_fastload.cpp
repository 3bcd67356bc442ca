// SPDX-License-Identifier: GPL-3.0-or-later
// The program's loader and drawing against the straightforward way of reading logs (41-byte
// reads, one addData per point, stock graphs): the same points in the same order, the same axis
// ranges, and drawings that match, on the inputs where a fast path could cut corners.
#include "graph/envelopegraph.h"
#include "imagecompare.h"
#include "logbuilder.h"
#include "mainwindow.h"
#include "referencepath.h"

#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include <random>

using LogBuilder::Record;

namespace {

const qint32 kJune2015 = 488419200;
const int kStep = 60;

// One record a minute with random-walk channels, from a given start.
QVector<Record> walk(qint32 start, int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-15, 15);
    QVector<Record> records(count);
    std::array<int, 5> tenths = {200, 300, 400, 500, 600};
    for (int i = 0; i < count; ++i) {
        for (int &value : tenths)
            value = qBound(-95, value + step(random), 995);
        records[i].timeStamp = start + i * kStep;
        for (int channel = 0; channel < 5; ++channel)
            records[i].tenths[channel] = qint16(tenths[channel]);
    }
    return records;
}

struct LogFile {
    QString name;
    QByteArray bytes;
};

} // namespace

Q_DECLARE_METATYPE(QVector<LogFile>)

class TestFastLoad : public QObject
{
    Q_OBJECT

private slots:
    void samePointsRangesAndDrawing_data();
    void samePointsRangesAndDrawing();
    void threadsLoadWhatOneThreadLoads_data();
    void threadsLoadWhatOneThreadLoads();
    void reopeningGivesTheSameAsOpeningOnce();
    void reopeningALookAlikeDrawsItsOwnPoints();

private:
    QStringList writeFiles(const QTemporaryDir &dir, const QVector<LogFile> &files);
    void compareWithReference(const QStringList &names);
};

QStringList TestFastLoad::writeFiles(const QTemporaryDir &dir, const QVector<LogFile> &files)
{
    QStringList names;
    for (const LogFile &file : files) {
        names.append(dir.filePath(file.name));
        if (!file.bytes.isNull() && !LogBuilder::writeFile(names.last(), file.bytes))
            qFatal("cannot write %s", qPrintable(names.last()));
    }
    return names;
}

void TestFastLoad::samePointsRangesAndDrawing_data()
{
    using LogBuilder::logBytes;
    QTest::addColumn<QVector<LogFile>>("files");

    const QVector<Record> early = walk(kJune2015, 3000, 1);
    const QVector<Record> late = walk(kJune2015 + 3000 * kStep, 3000, 2);
    QTest::newRow("several files in time order")
        << QVector<LogFile>{{"a.log", logBytes(early)}, {"b.log", logBytes(late)}};
    QTest::newRow("several files out of time order")
        << QVector<LogFile>{{"b.log", logBytes(late)}, {"a.log", logBytes(early)}};

    QVector<Record> shuffled = walk(kJune2015, 5000, 3);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(4));
    QTest::newRow("records out of order within a file") << QVector<LogFile>{{"shuffled.log", logBytes(shuffled)}};

    // The same minutes twice over in one file, and again in a second file that overlaps it.
    QVector<Record> twice = walk(kJune2015, 2000, 5);
    twice += walk(kJune2015, 2000, 6);
    QTest::newRow("duplicate keys")
        << QVector<LogFile>{{"twice.log", logBytes(twice)}, {"overlap.log", logBytes(walk(kJune2015 + 1000 * kStep, 2000, 7))}};

    QByteArray cut = logBytes(walk(kJune2015, 4000, 8));
    cut.chop(17);
    QTest::newRow("partial last record, short and missing files")
        << QVector<LogFile>{{"cut.log", cut},
                            {"header-only.log", LogBuilder::header()},
                            {"short.log", LogBuilder::header().left(100)},
                            {"missing.log", QByteArray()},
                            {"next.log", logBytes(walk(kJune2015 + 5000 * kStep, 1000, 9))}};

    // Enough points per pixel column that the graphs draw from their summaries.
    QTest::newRow("dense, two files")
        << QVector<LogFile>{{"one.log", logBytes(walk(kJune2015, 150000, 10))},
                            {"two.log", logBytes(walk(kJune2015 + 150000 * kStep, 150000, 11))}};
}

void TestFastLoad::samePointsRangesAndDrawing()
{
    QFETCH(QVector<LogFile>, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    compareWithReference(writeFiles(dir, files));
}

void TestFastLoad::threadsLoadWhatOneThreadLoads_data()
{
    using LogBuilder::logBytes;
    QTest::addColumn<QVector<LogFile>>("files");
    const QByteArray log = logBytes(walk(kJune2015, 300000, 15));
    QTest::newRow("in time order") << QVector<LogFile>{{"a.log", log}, {"b.log", logBytes(walk(kJune2015 + 300000 * kStep, 1000, 16))}};
    QTest::newRow("copies") << QVector<LogFile>{{"a.log", log}, {"b.log", log}, {"c.log", log}};
    QVector<Record> shuffled = walk(kJune2015, 100000, 17);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(18));
    QTest::newRow("out of order within a file") << QVector<LogFile>{{"shuffled.log", logBytes(shuffled)}};
    const QByteArray later = logBytes(walk(kJune2015 + 300000 * kStep, 200000, 20));
    QTest::newRow("newest first") << QVector<LogFile>{{"later.log", later}, {"a.log", log}};
    QTest::newRow("back in time between ascending ends, and a partial record")
        << QVector<LogFile>{{"a.log", later + log.mid(LogBuilder::kHeaderSize) + logBytes(walk(kJune2015 + 900000 * kStep, 1, 21)).mid(LogBuilder::kHeaderSize) + "part"}};
}

// Loaded with one thread and with several, the graphs hold the same points, and the summaries
// each has when loading ends (built on threads, or one after the other) answer as a scan does.
void TestFastLoad::threadsLoadWhatOneThreadLoads()
{
    QFETCH(QVector<LogFile>, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList names = writeFiles(dir, files);
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    MainWindow one;
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    one.loadLogFiles(names);
    MainWindow many;
    QThreadPool::globalInstance()->setMaxThreadCount(4);
    many.loadLogFiles(names);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    std::mt19937 random(19);
    for (int channel = 0; channel < 5; ++channel) {
        const auto *graph = qobject_cast<EnvelopeGraph *>(many.findChild<QCustomPlot *>("customPlot")->graph(channel));
        const auto *alone = qobject_cast<EnvelopeGraph *>(one.findChild<QCustomPlot *>("customPlot")->graph(channel));
        const QCPGraphDataContainer &points = *graph->data();
        QCOMPARE(points.size(), alone->data()->size());
        const QCPGraphData *first = &*points.constBegin();
        QVERIFY(std::equal(points.constBegin(), points.constEnd(), alone->data()->constBegin(),
                           [](const QCPGraphData &a, const QCPGraphData &b) { return a.key == b.key && a.value == b.value; }));
        for (int i = 0; i < 20; ++i) {
            std::uniform_int_distribution<int> at(0, points.size() - 1);
            const int from = i == 0 ? 0 : at(random);
            const int to = i == 0 ? points.size() : from + 1 + at(random) % (points.size() - from);
            const auto byValue = [](const QCPGraphData &a, const QCPGraphData &b) { return a.value < b.value; };
            const auto scan = std::minmax_element(first + from, first + to, byValue);
            for (const EnvelopeGraph *loaded : {graph, alone}) {
                const QCPRange range = loaded->upToDateSummary().valueRange(&*loaded->data()->constBegin(), from, to);
                QCOMPARE(range.lower, scan.first->value);
                QCOMPARE(range.upper, scan.second->value);
            }
        }
    }
}

// A second Open replaces the first: its result must not depend on what was shown before.
void TestFastLoad::reopeningGivesTheSameAsOpeningOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList big = writeFiles(dir, {{"big.log", LogBuilder::logBytes(walk(kJune2015, 200000, 12))}});
    const QStringList small = writeFiles(dir, {{"small.log", LogBuilder::logBytes(walk(kJune2015 + 7, 3000, 13))}});
    MainWindow window;
    window.loadLogFiles(big);
    window.loadLogFiles(small);
    auto *plot = window.findChild<QCustomPlot *>("customPlot");
    MainWindow once;
    once.loadLogFiles(small);
    auto *alone = once.findChild<QCustomPlot *>("customPlot");
    for (int graph = 0; graph < 5; ++graph) {
        QCOMPARE(plot->graph(graph)->dataCount(), 3000);
        QCOMPARE(plot->graph(graph)->data()->at(2999)->key, alone->graph(graph)->data()->at(2999)->key);
    }
    const QImage reopened = plot->toPixmap(542, 390).toImage();
    QCOMPARE(reopened, alone->toPixmap(542, 390).toImage());
}

// A second log of the same length with the same first and last record as the first: only its
// middle differs, and that is what the chart must show after the reload.
void TestFastLoad::reopeningALookAlikeDrawsItsOwnPoints()
{
    const QVector<Record> first = walk(kJune2015, 200000, 14);
    QVector<Record> second = first;
    for (int i = 1; i + 1 < second.size(); ++i) {
        for (qint16 &tenths : second[i].tenths)
            tenths = qint16(tenths - 400);
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList names = writeFiles(dir, {{"first.log", LogBuilder::logBytes(first)},
                                               {"second.log", LogBuilder::logBytes(second)}});
    MainWindow window;
    auto *plot = window.findChild<QCustomPlot *>("customPlot");
    window.loadLogFiles({names[0]});
    plot->toPixmap(542, 390);
    window.loadLogFiles({names[1]});
    const QImage reopened = plot->toPixmap(542, 390).toImage();

    MainWindow once;
    once.loadLogFiles({names[1]});
    const QImage alone = once.findChild<QCustomPlot *>("customPlot")->toPixmap(542, 390).toImage();
    QCOMPARE(reopened, alone);
}

void TestFastLoad::compareWithReference(const QStringList &names)
{
    MainWindow fast;
    auto *fastPlot = fast.findChild<QCustomPlot *>("customPlot");
    fast.loadLogFiles(names);

    MainWindow reference;
    auto *referencePlot = reference.findChild<QCustomPlot *>("customPlot");
    ReferencePath::useStockGraphs(referencePlot);
    ReferencePath::openLogs(referencePlot, names);

    for (int graph = 0; graph < 5; ++graph) {
        QSharedPointer<QCPGraphDataContainer> ours = fastPlot->graph(graph)->data();
        QSharedPointer<QCPGraphDataContainer> theirs = referencePlot->graph(graph)->data();
        QVERIFY(ours->size() > 0);
        QCOMPARE(ours->size(), theirs->size());
        for (int i = 0; i < ours->size();) {
            // Points of one key: the reference inserts a later one before the earlier ones when
            // it lands inside the data, while the loader keeps read order throughout; so the
            // values of one key are compared as a set.
            int end = i + 1;
            while (end < ours->size() && ours->at(end)->key == ours->at(i)->key)
                ++end;
            QVector<double> ourValues, theirValues;
            for (int j = i; j < end; ++j) {
                if (theirs->at(j)->key != ours->at(i)->key)
                    QFAIL(qPrintable(QString("graph %1, point %2: key %3 instead of %4")
                                         .arg(graph).arg(j).arg(ours->at(i)->key).arg(theirs->at(j)->key)));
                ourValues.append(ours->at(j)->value);
                theirValues.append(theirs->at(j)->value);
            }
            std::sort(ourValues.begin(), ourValues.end());
            std::sort(theirValues.begin(), theirValues.end());
            if (ourValues != theirValues)
                QFAIL(qPrintable(QString("graph %1, points %2 to %3: other values").arg(graph).arg(i).arg(end - 1)));
            i = end;
        }
    }
    QCOMPARE(fastPlot->xAxis->range(), referencePlot->xAxis->range());
    QCOMPARE(fastPlot->yAxis->range(), referencePlot->yAxis->range());

    const QImage ours = fastPlot->toPixmap(542, 390).toImage();
    const QImage theirs = referencePlot->toPixmap(542, 390).toImage();
    const double share = ImageCompare::differingShare(ours, theirs);
    QVERIFY2(share <= ImageCompare::kDifferingShare, qPrintable(QString::number(share)));
}

QTEST_MAIN(TestFastLoad)
#include "tst_fastload.moc"
