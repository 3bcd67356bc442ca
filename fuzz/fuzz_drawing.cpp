// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the drawing engine. The input steers a chart of up to five envelope
// graphs: the plot's size and device pixel ratio, the time and temperature ranges (far-off
// values, deep zooms), which curve is selected, an earlier period's shift laid over the graphs
// (anywhere within centuries), and the points. Each chart is replotted with one
// thread and with several; both pictures must be the same, pixel for pixel. The canvas's scratch
// is heap memory of its exact size, so a write outside it is AddressSanitizer's to find.
#include "graph/envelopegraph.h"

#include <QApplication>
#include <QImage>
#include <QThreadPool>
#include <qcustomplot.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const int kMostGraphs = 5;
const double kRatios[] = {1, 1.5, 2, 3};
const int kThreadsCompared = 4;
const double kFirstKey = 1.4e9;
// Seconds a step of the comparison's shift moves the earlier period.
const double kShiftUnit = 7;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads the input front to back; past its end, zeros.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : mData(data), mSize(size) {}
    template <typename T>
    T take()
    {
        T value{};
        const size_t count = std::min(sizeof(T), mSize - mAt);
        std::memcpy(&value, mData + mAt, count);
        mAt += count;
        return value;
    }
    bool atEnd() const { return mAt >= mSize; }

private:
    const uint8_t *mData;
    size_t mSize;
    size_t mAt = 0;
};

// A range from a start and a span steered by the input: from hours to a millionth of a second,
// anywhere within centuries of the points, and temperatures far beyond the chart.
QCPRange rangeFrom(Input &input, double origin, double unit)
{
    const double start = origin + input.take<int32_t>() * unit;
    const double span = std::ldexp(1.0, int(input.take<uint8_t>() % 60) - 20) * unit;
    return QCPRange(start, start + span);
}

// The graphs' comparisons drawn over them all, as the window's chart draws them.
class Comparisons : public QCPLayerable
{
public:
    explicit Comparisons(QCustomPlot *plot) : QCPLayerable(plot) {}

protected:
    QRect clipRect() const override { return mParentPlot->axisRect()->rect(); }
    void applyDefaultAntialiasingHint(QCPPainter *) const override {}
    void draw(QCPPainter *painter) override { EnvelopeGraph::drawComparisons(painter, mParentPlot); }
};

QImage replotted(QCustomPlot &plot, double ratio, int threads)
{
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    QImage image(plot.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    plot.render(&image);
    return image;
}

} // namespace

// The application, and one chart drawn before the first input, so that what the font and
// platform libraries keep for the process's life is there before inputs are counted for leaks.
// The application lives to the process's end: the platform plugin's screens are never freed.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication *app = new QApplication(*argc, *argv);
    Q_UNUSED(app)
    QCustomPlot plot;
    plot.resize(100, 100);
    replotted(plot, 1, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input input(data, size);
    QCustomPlot plot;
    plot.resize(40 + input.take<uint8_t>() * 2, 40 + input.take<uint8_t>() * 2);
    const double ratio = kRatios[input.take<uint8_t>() % 4];
    plot.setBufferDevicePixelRatio(ratio);
    const int graphs = 1 + input.take<uint8_t>() % kMostGraphs;
    const int selected = input.take<uint8_t>() % (kMostGraphs + 1);
    plot.xAxis->setRange(rangeFrom(input, kFirstKey, 60));
    plot.yAxis->setRange(rangeFrom(input, 0, 0.1));
    // An odd step count compares: the points moved by that many steps.
    const int32_t shiftSteps = input.take<int32_t>();

    // The points: each a step forwards (or back, to be sorted) in seconds and a value in tenths,
    // as the loader makes them, dealt to the graphs in turn.
    QVector<QCPGraphData> points[kMostGraphs];
    double key = kFirstKey;
    for (int i = 0; !input.atEnd(); ++i) {
        key += input.take<int8_t>() * 7;
        points[i % graphs].append(QCPGraphData(key, std::trunc(input.take<int16_t>() / 10.0)));
    }
    for (int g = 0; g < graphs; ++g) {
        auto *graph = new EnvelopeGraph(plot.xAxis, plot.yAxis);
        graph->setPoints(points[g], false);
        graph->setPen(QPen(QColor::fromHsv(g * 70, 255, 200)));
        graph->setBrush(QColor::fromHsv(g * 70, 200, 230, 60));
        graph->setSelectable(QCP::stWhole);
        if (g == selected)
            graph->setSelection(QCPDataSelection(graph->data()->dataRange()));
        if (shiftSteps & 1)
            graph->setComparison(shiftSteps * kShiftUnit, QPen(QColor::fromHsv(g * 70, 255, 120), 1, Qt::DashLine));
    }
    new Comparisons(&plot);
    require(replotted(plot, ratio, 1) == replotted(plot, ratio, kThreadsCompared));
    return 0;
}
