// SPDX-License-Identifier: GPL-3.0-or-later
// The envelope graph drawn side by side with the stock graph on the same data, image against
// image; its fill checked pixel by pixel against the points; its summary followed through every
// way the data can change.
#include "chart/chartcomparison.h"
#include "graph/envelopegraph.h"
#include "imagecompare.h"
#include "mainwindow.h"

#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

const QSize kChartSize(542, 390);
// The chart of a maximised window on a 1920 × 1080 screen.
const QSize kMaximisedChartSize(1920, 1080);
const double kFirstKey = 1.4e9;
const double kStep = 60;
const QColor kPen(0, 0, 255, 200);
const QColor kBrush(127, 160, 50, 150);

// The axes' ticks reach this far into the axis rect.
const int kTickRoom = 8;

QVector<QCPGraphData> smoothPoints(int count)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> jitter(-1, 1);
    QVector<QCPGraphData> points(count);
    for (int i = 0; i < count; ++i) {
        const double key = kFirstKey + kStep * i;
        points[i] = QCPGraphData(key, std::trunc(30 + 20 * std::sin(key / 86400 * 2 * M_PI)) + jitter(random));
    }
    return points;
}

QVector<QCPGraphData> jaggedPoints(int count)
{
    std::mt19937 random(12);
    std::uniform_int_distribution<int> step(-1, 1);
    QVector<QCPGraphData> points(count);
    double value = 40;
    for (int i = 0; i < count; ++i) {
        value += step(random);
        if (value < -10 || value > 100)
            value = qBound(-9.0, value, 99.0);
        points[i] = QCPGraphData(kFirstKey + kStep * i, value);
    }
    return points;
}

// Every key three times: the middle point of each key is a spike.
QVector<QCPGraphData> duplicateKeyPoints(int keys)
{
    QVector<QCPGraphData> points;
    const QVector<QCPGraphData> base = smoothPoints(keys);
    for (const QCPGraphData &point : base) {
        points.append(point);
        points.append(QCPGraphData(point.key, point.value + 25));
        points.append(QCPGraphData(point.key, point.value - 5));
    }
    return points;
}

// Every tenth point at the extreme a missing sensor reads, thousands of pixels off the chart.
QVector<QCPGraphData> farOffPoints(int count)
{
    QVector<QCPGraphData> points = smoothPoints(count);
    for (int i = 0; i < count; i += 10)
        points[i].value = i % 20 ? -3276 : 3276;
    return points;
}

QVector<QCPGraphData> shuffled(QVector<QCPGraphData> points)
{
    std::shuffle(points.begin(), points.end(), std::mt19937(13));
    return points;
}

struct Chart {
    explicit Chart(bool envelope)
    {
        plot.resize(kChartSize);
        graph = envelope ? new EnvelopeGraph(plot.xAxis, plot.yAxis) : new QCPGraph(plot.xAxis, plot.yAxis);
        graph->setPen(QPen(kPen));
        graph->setBrush(QBrush(kBrush));
        plot.yAxis->setRange(-10, 100);
    }
    void hideGrid()
    {
        plot.xAxis->grid()->setVisible(false);
        plot.yAxis->grid()->setVisible(false);
    }
    QImage image(const QCPRange &keys, const QSize &size = kChartSize, double scale = 1)
    {
        plot.resize(size);
        plot.xAxis->setRange(keys);
        return plot.toPixmap(size.width(), size.height(), scale).toImage();
    }
    // As a high-density screen has the chart drawn into its buffers: at a device pixel ratio
    // rather than scaled.
    QImage imageAtPixelRatio(const QCPRange &keys, const QSize &size, double ratio)
    {
        plot.resize(size);
        plot.xAxis->setRange(keys);
        QImage drawn(size * ratio, QImage::Format_ARGB32_Premultiplied);
        drawn.setDevicePixelRatio(ratio);
        drawn.fill(Qt::white);
        QCPPainter painter(&drawn);
        plot.toPainter(&painter, size.width(), size.height());
        return drawn;
    }

    QCustomPlot plot;
    QCPGraph *graph;
};

QCPRange keySpan(const QVector<QCPGraphData> &points)
{
    auto byKey = [](const QCPGraphData &a, const QCPGraphData &b) { return a.key < b.key; };
    const auto bounds = std::minmax_element(points.begin(), points.end(), byKey);
    return QCPRange(bounds.first->key, bounds.second->key);
}

} // namespace

using ImageCompare::differingShare;
using ImageCompare::kDifferingShare;

Q_DECLARE_METATYPE(QVector<QCPGraphData>)

class TestEnvelopeGraph : public QObject
{
    Q_OBJECT

private slots:
    void drawsLikeTheStockGraph_data();
    void drawsLikeTheStockGraph();
    void zoomedInDrawsLikeTheStockGraph();
    void viewsDrawLikeTheStockGraph_data();
    void viewsDrawLikeTheStockGraph();
    void linesDrawLikeTheStockStrokes_data();
    void linesDrawLikeTheStockStrokes();
    void threadsDrawWhatOneThreadDraws_data();
    void threadsDrawWhatOneThreadDraws();
    void clickHitsTheGraphTheStockGraphHits_data();
    void clickHitsTheGraphTheStockGraphHits();
    void fillCoversExactlyTheAreaToTheZeroLine_data();
    void fillCoversExactlyTheAreaToTheZeroLine();
    void summaryFollowsEveryChangeOfTheData_data();
    void summaryFollowsEveryChangeOfTheData();
    void nanGapsStayEmpty();
    void comparisonDrawsTheShiftedPoints_data();
    void comparisonDrawsTheShiftedPoints();
    void mainWindowChartUsesEnvelopeGraphs();
};

void TestEnvelopeGraph::drawsLikeTheStockGraph_data()
{
    QTest::addColumn<QVector<QCPGraphData>>("points");
    QTest::addColumn<bool>("sorted");
    QTest::newRow("smooth, dense") << smoothPoints(200000) << true;
    QTest::newRow("jagged, dense") << jaggedPoints(200000) << true;
    QTest::newRow("unordered, dense") << shuffled(jaggedPoints(50000)) << false;
    QTest::newRow("duplicate keys, dense") << duplicateKeyPoints(40000) << true;
    QTest::newRow("duplicate keys, sparse") << duplicateKeyPoints(150) << true;
    QTest::newRow("sparse") << jaggedPoints(300) << true;
    QTest::newRow("unordered, sparse") << shuffled(smoothPoints(400)) << false;
    QTest::newRow("far off the chart, sparse") << farOffPoints(300) << true;
    QTest::newRow("far off the chart, dense") << farOffPoints(1200) << true;
}

void TestEnvelopeGraph::drawsLikeTheStockGraph()
{
    QFETCH(QVector<QCPGraphData>, points);
    QFETCH(bool, sorted);
    Chart stock(false);
    Chart envelope(true);
    stock.graph->data()->set(points, sorted);
    envelope.graph->data()->set(points, sorted);
    const QCPRange keys = keySpan(points);
    const double share = differingShare(stock.image(keys), envelope.image(keys));
    QVERIFY2(share <= kDifferingShare, qPrintable(QString::number(share)));
}

void TestEnvelopeGraph::zoomedInDrawsLikeTheStockGraph()
{
    const QVector<QCPGraphData> points = jaggedPoints(400000);
    Chart stock(false);
    Chart envelope(true);
    stock.graph->data()->set(points, true);
    envelope.graph->data()->set(points, true);
    // 1 % of the range, as when dragging a zoomed chart, and a few hundred points.
    for (const QCPRange &keys : {QCPRange(points[100000].key, points[104000].key),
                                 QCPRange(points[200000].key, points[200300].key)}) {
        const double share = differingShare(stock.image(keys), envelope.image(keys));
        QVERIFY2(share <= kDifferingShare, qPrintable(QString::number(share)));
    }
}

void TestEnvelopeGraph::viewsDrawLikeTheStockGraph_data()
{
    QTest::addColumn<QVector<QCPGraphData>>("points");
    // Across, shares of the time span; down, °C. Points lie left and right of it, above and below.
    QTest::addColumn<QRectF>("view");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("selected");
    const QPair<const char *, QVector<QCPGraphData>> data[] = {
        {"jagged", jaggedPoints(200000)}, {"smooth", smoothPoints(100000)}, {"far off", farOffPoints(1200)}};
    const QPair<const char *, QRectF> views[] = {{"whole", QRectF(0, -10, 1, 110)},
                                                 {"pan by a tenth", QRectF(0.1, -10, 1, 110)},
                                                 {"20..60 °C", QRectF(0, 20, 1, 40)},
                                                 {"wheel notch", QRectF(0.075, -1.75, 0.85, 93.5)}};
    // The larger the picture, the fewer views (the first ones above) it is drawn in: the stock
    // graph takes seconds at 4K.
    struct Screen {
        const char *name;
        QSize size;
        double scale;
        int views;
    };
    const Screen screens[] = {
        {"small", kChartSize, 1, 4}, {"maximised", kMaximisedChartSize, 1, 3}, {"maximised 4K", kMaximisedChartSize, 2, 1}};
    for (const auto &points : data) {
        for (const Screen &screen : screens) {
            for (int v = 0; v < screen.views; ++v) {
                const auto &view = views[v];
                // The stock graph strokes a selected line for seconds; one view at two sizes shows it.
                const bool showsSelection = v == 0 && screen.scale == 1;
                for (bool selected : {false, true}) {
                    if (selected && !showsSelection)
                        continue;
                    QTest::addRow("%s, %s, %s%s", points.first, view.first, screen.name, selected ? ", selected" : "")
                        << points.second << view.second << screen.size << screen.scale << selected;
                }
            }
        }
    }
}

void TestEnvelopeGraph::viewsDrawLikeTheStockGraph()
{
    QFETCH(QVector<QCPGraphData>, points);
    QFETCH(QRectF, view);
    QFETCH(QSize, size);
    QFETCH(double, scale);
    QFETCH(bool, selected);
    Chart stock(false);
    Chart envelope(true);
    for (Chart *chart : {&stock, &envelope}) {
        chart->graph->data()->set(points, true);
        chart->plot.yAxis->setRange(view.top(), view.bottom());
        if (selected)
            chart->graph->setSelection(QCPDataSelection(chart->graph->data()->dataRange()));
    }
    const QCPRange span = keySpan(points);
    const QCPRange keys(span.lower + view.left() * span.size(), span.lower + view.right() * span.size());
    const double share = differingShare(stock.image(keys, size, scale), envelope.image(keys, size, scale));
    QVERIFY2(share <= kDifferingShare, qPrintable(QString::number(share)));
    // The fill lands on the same device pixels whether the chart is scaled or drawn at a device
    // pixel ratio (the stock line and fill themselves differ between the two).
    envelope.graph->setPen(Qt::NoPen);
    const double ratioShare = differingShare(envelope.image(keys, size, scale),
                                             envelope.imageAtPixelRatio(keys, size, scale));
    QVERIFY2(ratioShare <= kDifferingShare, qPrintable(QString::number(ratioShare)));
}

void TestEnvelopeGraph::linesDrawLikeTheStockStrokes_data()
{
    QTest::addColumn<QVector<QCPGraphData>>("points");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<bool>("selected");
    const QPair<const char *, QVector<QCPGraphData>> data[] = {{"jagged", jaggedPoints(200000)},
                                                               {"smooth", smoothPoints(200000)}};
    for (const auto &points : data) {
        for (double ratio : {1.0, 2.0}) {
            for (bool selected : {false, true})
                QTest::addRow("%s, ratio %g%s", points.first, ratio, selected ? ", selected" : "")
                    << points.second << ratio << selected;
        }
    }
}

// Pens alone, maximised and drawn at a device pixel ratio as a screen's buffers are: a curve's
// hairline lands on the stock stroke's pixels to the rounding of their blends; a selected
// curve's wide line, drawn segment by segment, differs from the stock joins by at most the usual
// share.
void TestEnvelopeGraph::linesDrawLikeTheStockStrokes()
{
    QFETCH(QVector<QCPGraphData>, points);
    QFETCH(double, ratio);
    QFETCH(bool, selected);
    Chart stock(false);
    Chart envelope(true);
    for (Chart *chart : {&stock, &envelope}) {
        chart->graph->setBrush(Qt::NoBrush);
        chart->graph->data()->set(points, true);
        if (selected)
            chart->graph->setSelection(QCPDataSelection(chart->graph->data()->dataRange()));
    }
    const QCPRange keys = keySpan(points);
    const int roundingSlack = 16;
    const double share = differingShare(stock.imageAtPixelRatio(keys, kMaximisedChartSize, ratio),
                                        envelope.imageAtPixelRatio(keys, kMaximisedChartSize, ratio),
                                        selected ? ImageCompare::kChannelSlack : roundingSlack);
    QVERIFY2(share <= (selected ? kDifferingShare : 0), qPrintable(QString::number(share)));
}

void TestEnvelopeGraph::threadsDrawWhatOneThreadDraws_data()
{
    QTest::addColumn<QSize>("size");
    // Across, shares of the time span; down, °C.
    QTest::addColumn<QRectF>("view");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<bool>("comparing");
    const QPair<const char *, QRectF> views[] = {{"whole", QRectF(0, -10, 1, 110)},
                                                 {"pan by a tenth", QRectF(0.1, -10, 1, 110)},
                                                 {"wheel notch", QRectF(0.075, -1.75, 0.85, 93.5)},
                                                 {"20..60 °C", QRectF(0, 20, 1, 40)},
                                                 {"across the gap", QRectF(0.35, -10, 0.3, 110)},
                                                 {"deep zoom", QRectF(0.3, -10, 0.0005, 110)}};
    for (const QSize &size : {kChartSize, kMaximisedChartSize}) {
        for (const auto &view : views) {
            for (bool selected : {false, true}) {
                for (double ratio : {1.0, 2.0})
                    QTest::addRow("%dx%d, %s%s, ratio %g", size.width(), size.height(), view.first,
                                  selected ? ", selected" : "", ratio)
                        << size << view.second << selected << ratio << false;
            }
            // Five dashed lines in five colours over them, in the small window, and maximised over
            // the band, where threads done with their own stripes draw pieces of the others'.
            for (double ratio : {1.0, 2.0}) {
                if (size == kChartSize || std::strcmp(view.first, "20..60 °C") == 0)
                    QTest::addRow("%dx%d, %s, last week's, ratio %g", size.width(), size.height(), view.first, ratio)
                        << size << view.second << false << ratio << true;
            }
        }
    }
}

// Five graphs replotted as the window's chart is, their drawings prepared on threads and put on
// in order, and replotted with one thread: the same picture, pixel for pixel, also with last
// week's five lines drawn over them in stripes. The data have a gap in the middle (sparse
// stretches beside dense columns) and values far off the chart.
void TestEnvelopeGraph::threadsDrawWhatOneThreadDraws()
{
    QFETCH(QSize, size);
    QFETCH(QRectF, view);
    QFETCH(bool, selected);
    QFETCH(double, ratio);
    QFETCH(bool, comparing);
    const int records = 200000;
    const QVector<QCPGraphData> channels[] = {smoothPoints(records), jaggedPoints(records), farOffPoints(records),
                                              duplicateKeyPoints(records / 3), smoothPoints(records)};
    QCustomPlot plot;
    plot.resize(size);
    plot.setBufferDevicePixelRatio(ratio);
    for (int channel = 0; channel < 5; ++channel) {
        auto *graph = new EnvelopeGraph(plot.xAxis, plot.yAxis);
        QVector<QCPGraphData> points = channels[channel];
        points.erase(points.begin() + points.size() * 2 / 5, points.begin() + points.size() * 3 / 5);
        graph->setPoints(points, true);
        graph->setPen(QPen(QColor::fromHsv(channel * 70, 255, 200)));
        graph->setBrush(QColor::fromHsv(channel * 70, 200, 230, 60));
        graph->setSelectable(QCP::stWhole);
        if (selected && channel == 1)
            graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
    }
    const QCPRange span = keySpan(channels[0]);
    plot.xAxis->setRange(span.lower + view.left() * span.size(), span.lower + view.right() * span.size());
    plot.yAxis->setRange(view.top(), view.bottom());
    auto *comparison = new ChartComparison(&plot);
    auto replotted = [&](int threads) {
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        // New pens each time, as choosing the period again gives: the threads find them fresh.
        comparison->setPeriod(ChartComparison::Period::None);
        comparison->setPeriod(comparing ? ChartComparison::Period::Week : ChartComparison::Period::None);
        plot.replot(QCustomPlot::rpImmediateRefresh);
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        plot.render(&image);
        return image;
    };
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    const QImage one = replotted(1);
    const QImage many = replotted(4);
    // Fewer threads than graphs, on canvases the last replot left behind.
    const QImage two = replotted(2);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QCOMPARE(many.size(), size * ratio);
    QVERIFY(many == one);
    QVERIFY(two == one);
    if (comparing) {
        comparing = false;
        QVERIFY(replotted(1) != one);
    }
}

void TestEnvelopeGraph::clickHitsTheGraphTheStockGraphHits_data()
{
    QTest::addColumn<QVector<QCPGraphData>>("lower");
    QTest::addColumn<QVector<QCPGraphData>>("upper");
    // Pixels between two clicks across and down: the stock graph samples all points for each.
    QTest::addColumn<QSize>("grid");
    const QSize fine(7, 5);
    const QSize coarse(61, 37);
    QTest::newRow("dense spreads overlapping") << jaggedPoints(200000) << smoothPoints(200000) << fine;
    QTest::newRow("dense and sparse") << smoothPoints(300000) << jaggedPoints(300) << fine;
    QTest::newRow("sparse") << smoothPoints(400) << jaggedPoints(250) << fine;
    QTest::newRow("far off, one point") << farOffPoints(1200) << smoothPoints(1) << fine;
    QTest::newRow("10M smooth under 2M jagged") << smoothPoints(10000000) << jaggedPoints(2000000) << coarse;
}

// A grid of clicks over the plot area, each answered by both charts: the graph hit (or none)
// must be the stock graph's.
void TestEnvelopeGraph::clickHitsTheGraphTheStockGraphHits()
{
    QFETCH(QVector<QCPGraphData>, lower);
    QFETCH(QVector<QCPGraphData>, upper);
    QFETCH(QSize, grid);
    Chart stock(false);
    Chart envelope(true);
    const QCPRange keys = keySpan(lower);
    for (Chart *chart : {&stock, &envelope}) {
        chart->graph->data()->set(lower, true);
        chart->graph->setName(QStringLiteral("lower"));
        QCPAxis *x = chart->plot.xAxis;
        QCPAxis *y = chart->plot.yAxis;
        QCPGraph *second = chart == &envelope ? new EnvelopeGraph(x, y) : new QCPGraph(x, y);
        second->data()->set(upper, true);
        second->setName(QStringLiteral("upper"));
        chart->image(keys);
    }
    const QRect area = stock.plot.axisRect()->rect();
    int hits = 0;
    for (int x = area.left(); x < area.right(); x += grid.width()) {
        for (int y = area.top(); y < area.bottom(); y += grid.height()) {
            const QPoint at(x, y);
            const QCPAbstractPlottable *stockHit = stock.plot.plottableAt(at, true);
            const QCPAbstractPlottable *envelopeHit = envelope.plot.plottableAt(at, true);
            const QString expected = stockHit ? stockHit->name() : QString();
            QCOMPARE(envelopeHit ? envelopeHit->name() : QString(), expected);
            hits += stockHit != nullptr;
        }
    }
    QVERIFY(hits > 0);
}

void TestEnvelopeGraph::fillCoversExactlyTheAreaToTheZeroLine_data()
{
    QTest::addColumn<QVector<QCPGraphData>>("points");
    QTest::newRow("jagged") << jaggedPoints(300000);
    QTest::newRow("smooth") << smoothPoints(300000);
    QTest::newRow("duplicate keys") << duplicateKeyPoints(60000);
}

// Without a pen, every pixel between the zero line and the farthest point of its column shows
// the brush once over the white background (no gap, nothing filled twice), and nothing beyond
// the farthest point of the column and its neighbours is filled.
void TestEnvelopeGraph::fillCoversExactlyTheAreaToTheZeroLine()
{
    QFETCH(QVector<QCPGraphData>, points);
    Chart envelope(true);
    envelope.graph->setPen(Qt::NoPen);
    envelope.hideGrid();
    envelope.graph->data()->set(points, true);
    const QImage image = envelope.image(keySpan(points));
    QCPAxis *xAxis = envelope.plot.xAxis;
    QCPAxis *yAxis = envelope.plot.yAxis;
    const QRect area = envelope.plot.axisRect()->rect();

    // Reach of the points per pixel column, zero line included. Columns are counted in chart
    // coordinates, which the antialiased painter shifts by half a pixel: image pixel x shows
    // the right half of column x - 1 and the left half of column x.
    const double zeroY = yAxis->coordToPixel(0);
    QVector<double> top(image.width(), zeroY);
    QVector<double> bottom(image.width(), zeroY);
    for (const QCPGraphData &point : qAsConst(points)) {
        const int column = int(std::floor(xAxis->coordToPixel(point.key)));
        const double y = yAxis->coordToPixel(point.value);
        top[column] = std::min(top[column], y);
        bottom[column] = std::max(bottom[column], y);
    }

    const QColor white(Qt::white);
    const int alpha = kBrush.alpha();
    const QColor once((kBrush.red() * alpha + white.red() * (255 - alpha)) / 255,
                      (kBrush.green() * alpha + white.green() * (255 - alpha)) / 255,
                      (kBrush.blue() * alpha + white.blue() * (255 - alpha)) / 255);
    auto near = [](QRgb pixel, const QColor &colour) {
        return qAbs(qRed(pixel) - colour.red()) <= 2 && qAbs(qGreen(pixel) - colour.green()) <= 2
               && qAbs(qBlue(pixel) - colour.blue()) <= 2;
    };
    int checked = 0;
    for (int x = area.left() + kTickRoom; x < area.right() - kTickRoom; ++x) {
        const double filledTop = std::max(top[x - 1], top[x]);
        const double filledBottom = std::min(bottom[x - 1], bottom[x]);
        const double reachTop = std::min({top[x - 2], top[x - 1], top[x], top[x + 1]});
        const double reachBottom = std::max({bottom[x - 2], bottom[x - 1], bottom[x], bottom[x + 1]});
        for (int y = area.top() + kTickRoom; y < area.bottom() - kTickRoom; ++y) {
            const QRgb pixel = image.pixel(x, y);
            if (y > filledTop + 1 && y < filledBottom - 1) {
                QVERIFY2(near(pixel, once), qPrintable(QString("gap or overlap at %1,%2").arg(x).arg(y)));
                ++checked;
            } else if (y < reachTop - 1.5 || y > reachBottom + 1.5) {
                QVERIFY2(near(pixel, white), qPrintable(QString("filled beyond the line at %1,%2").arg(x).arg(y)));
            }
        }
    }
    QVERIFY(checked > area.width() * 20);
}

void TestEnvelopeGraph::summaryFollowsEveryChangeOfTheData_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("set, same size and ends") << 0;
    QTest::newRow("add") << 1;
    QTest::newRow("remove") << 2;
    QTest::newRow("setData") << 3;
    QTest::newRow("clear and add") << 4;
    QTest::newRow("new container") << 5;
    // Records a followed log gained, after the last point or among the later ones.
    QTest::newRow("points added at the end") << 6;
    QTest::newRow("points added among the later ones") << 7;
}

// After a first drawing, the data change behind the graph's back; the next drawing must show
// the new points, as the stock graph does, not the extremes summarised before.
void TestEnvelopeGraph::summaryFollowsEveryChangeOfTheData()
{
    QFETCH(int, change);
    const QVector<QCPGraphData> before = smoothPoints(100000);
    // The same keys and ends, the inside lifted by 40 degrees.
    QVector<QCPGraphData> after = before;
    for (int i = 1; i + 1 < after.size(); ++i)
        after[i].value += 40;
    QVector<double> keys, values;
    for (const QCPGraphData &point : qAsConst(after)) {
        keys.append(point.key);
        values.append(point.value);
    }

    // Lifted by 40 degrees: after the last point, or half a step after each from the 30,000th on.
    QVector<QCPGraphData> added;
    for (int i = 0; i < 20000 && change >= 6; ++i) {
        const QCPGraphData &at = before[change == 6 ? i : 30000 + i];
        added.append(QCPGraphData(at.key + (change == 6 ? before.last().key - kFirstKey + kStep : kStep / 2), at.value + 40));
    }

    Chart stock(false);
    Chart envelope(true);
    const QCPRange span = keySpan(before + added);
    for (Chart *chart : {&stock, &envelope}) {
        chart->graph->data()->set(before, true);
        chart->image(span);
        QCPGraph *graph = chart->graph;
        switch (change) {
        case 0: graph->data()->set(after, true); break;
        case 1: graph->data()->add(after, true); break;
        case 2: graph->data()->remove(before[1000].key, before[90000].key); break;
        case 3: graph->setData(keys, values, true); break;
        case 4: graph->data()->clear(); graph->addData(keys, values, true); break;
        case 5: {
            QSharedPointer<QCPGraphDataContainer> fresh(new QCPGraphDataContainer);
            fresh->set(after, true);
            graph->setData(fresh);
            break;
        }
        case 6:
        case 7:
            if (auto *envelopeGraph = qobject_cast<EnvelopeGraph *>(graph))
                envelopeGraph->addPoints(added);
            else
                graph->data()->add(added, true);
            break;
        }
    }
    const double share = differingShare(stock.image(span), envelope.image(span));
    QVERIFY2(share <= kDifferingShare, qPrintable(QString::number(share)));
}

// NaN values break the line; the summary cannot, so such data are sampled the stock way.
void TestEnvelopeGraph::nanGapsStayEmpty()
{
    QVector<QCPGraphData> points = jaggedPoints(100000);
    for (int i = 40000; i < 50000; ++i)
        points[i].value = std::numeric_limits<double>::quiet_NaN();
    Chart stock(false);
    Chart envelope(true);
    envelope.hideGrid();
    stock.hideGrid();
    stock.graph->data()->set(points, true);
    envelope.graph->data()->set(points, true);
    const QCPRange keys = keySpan(points);
    const QImage image = envelope.image(keys);
    const double share = differingShare(stock.image(keys), image);
    QVERIFY2(share <= kDifferingShare, qPrintable(QString::number(share)));
    const int gapMiddle = qRound(envelope.plot.xAxis->coordToPixel(points[45000].key));
    for (int y = envelope.plot.axisRect()->top() + kTickRoom; y < envelope.plot.axisRect()->bottom() - kTickRoom; ++y)
        QCOMPARE(QColor(image.pixel(gapMiddle, y)), QColor(Qt::white));
}

Q_DECLARE_METATYPE(ChartComparison::Period)

void TestEnvelopeGraph::comparisonDrawsTheShiftedPoints_data()
{
    QTest::addColumn<ChartComparison::Period>("period");
    QTest::addColumn<QDateTime>("lower"); // the time axis's, local, a day before its upper bound
    QTest::addColumn<QDateTime>("recordsFrom");
    QTest::addColumn<QDateTime>("recordsTo");
    QTest::addColumn<double>("shift");
    QTest::addColumn<bool>("selected");
    // Records ten minutes apart, too few to sample, every tenth from the middle on without a value.
    QTest::addColumn<bool>("gaps");
    using P = ChartComparison::Period;
    auto at = [](int year, int month, int day, int hour = 0, int minute = 0) {
        return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime);
    };
    const double day = 86400;
    const QDateTime from = at(2026, 2, 10), to = at(2026, 2, 13), morning = at(2026, 2, 12, 6);
    QTest::newRow("Vortag") << P::Day << morning << from << to << day << false << false;
    QTest::newRow("Vorwoche") << P::Week << at(2026, 2, 20) << at(2026, 2, 12) << at(2026, 2, 15) << 7 * day << false
                              << false;
    QTest::newRow("Vorjahr") << P::Year << at(2026, 6, 15, 12) << at(2025, 6, 15) << at(2025, 6, 17) << 365 * day
                             << false << false;
    QTest::newRow("Vorjahr, summer-time change") << P::Year << at(2026, 3, 29, 3, 30) << at(2025, 3, 29)
                                                 << at(2025, 3, 31) << 365 * day - 3600 << false << false;
    QTest::newRow("Vorjahr, 29 February") << P::Year << at(2028, 2, 29, 10) << at(2027, 2, 28) << at(2027, 3, 2)
                                          << 366 * day << false << false;
    QTest::newRow("partly without records") << P::Day << at(2026, 2, 12) << at(2026, 2, 11, 15) << to << day << false
                                            << false;
    QTest::newRow("wholly without records") << P::Week << at(2026, 2, 12) << from << to << 7 * day << false << false;
    QTest::newRow("selected channel") << P::Day << morning << from << to << day << true << false;
    QTest::newRow("gaps in the records") << P::Day << morning << from << to << day << false << true;
}

// The comparison alone (the graph's own line and fill drawn invisibly) against a stock graph of
// the points moved by the shift with the comparison's pen: dashes may start a pixel or two apart
// where the samplings lay out a column's vertices differently, a few pixels of hundreds. A hidden
// graph beside it has none; on threads as on one.
void TestEnvelopeGraph::comparisonDrawsTheShiftedPoints()
{
    QFETCH(ChartComparison::Period, period);
    QFETCH(QDateTime, lower);
    QFETCH(QDateTime, recordsFrom);
    QFETCH(QDateTime, recordsTo);
    QFETCH(double, shift);
    QFETCH(bool, selected);
    QFETCH(bool, gaps);
    QVector<QCPGraphData> points;
    for (qint64 key = recordsFrom.toSecsSinceEpoch(); key < recordsTo.toSecsSinceEpoch(); key += gaps ? 600 : 60)
        points.append(QCPGraphData(key, std::trunc(30 + 20 * std::sin(key / 86400.0 * 2 * M_PI))));
    for (int i = points.size() / 2; gaps && i < points.size(); i += 10)
        points[i].value = qQNaN();
    const QCPRange keys(lower.toSecsSinceEpoch(), lower.toSecsSinceEpoch() + 86400.0);
    Chart envelope(true), stock(false);
    auto *graph = static_cast<EnvelopeGraph *>(envelope.graph);
    graph->setPoints(points, true);
    graph->setPen(Qt::NoPen);
    graph->setBrush(QColor(127, 160, 50, 0));
    graph->selectionDecorator()->setPen(Qt::NoPen);
    graph->setSelection(QCPDataSelection(selected ? graph->data()->dataRange() : QCPDataRange()));
    auto *hidden = new EnvelopeGraph(envelope.plot.xAxis, envelope.plot.yAxis);
    hidden->setPoints(points, true);
    hidden->setVisible(false);
    envelope.plot.xAxis->setRange(keys);
    auto *comparison = new ChartComparison(&envelope.plot);
    comparison->setPeriod(period);
    QCOMPARE(comparison->shift(), shift);
    QCOMPARE(graph->comparisonShift(), shift);

    for (QCPGraphData &point : points)
        point.key += shift;
    stock.graph->data()->set(points, true);
    stock.graph->setPen(graph->comparisonPen());
    stock.graph->setBrush(Qt::NoBrush);
    (new ChartComparison(&stock.plot))->setPeriod(period); // its caption alone
    for (Chart *chart : {&envelope, &stock})
        chart->hideGrid();
    const QImage drawn = envelope.image(keys);
    const QImage expected = stock.image(keys);
    graph->setVisible(false);
    const double lineShare = differingShare(expected, envelope.image(keys));
    graph->setVisible(true);
    const double share = differingShare(expected, drawn);
    QVERIFY2(share <= lineShare / 10, qPrintable(QString("%1 of %2").arg(share).arg(lineShare)));
    QCOMPARE(lineShare > 0, std::any_of(points.begin(), points.end(), [&](const QCPGraphData &p) { return keys.contains(p.key); }));
    QCOMPARE(graph->selected(), selected);

    auto replotted = [&](int threads) {
        QThreadPool::globalInstance()->setMaxThreadCount(threads);
        envelope.plot.replot(QCustomPlot::rpImmediateRefresh);
        return envelope.plot.grab().toImage();
    };
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    const bool threadsAlike = replotted(4) == replotted(1);
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QVERIFY(threadsAlike);
}

void TestEnvelopeGraph::mainWindowChartUsesEnvelopeGraphs()
{
    MainWindow window;
    auto *plot = window.findChild<QCustomPlot *>("customPlot");
    QVERIFY(plot);
    QCOMPARE(plot->graphCount(), 5);
    for (int i = 0; i < plot->graphCount(); ++i)
        QVERIFY(qobject_cast<EnvelopeGraph *>(plot->graph(i)));
}

QTEST_MAIN(TestEnvelopeGraph)
#include "tst_envelopegraph.moc"
