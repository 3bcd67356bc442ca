#ifndef BENCHREPORT_H
#define BENCHREPORT_H

// What every part of the benchmark shares: lines printed at once, so that a long run shows its
// progress, the median of repeated timings, a shown window with a log loaded, and the mouse.

#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QString>
#include <QVector>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>

namespace BenchReport {

const qint64 kMillion = 1000000;
const qint64 kTenMillion = 10000000;

inline void print(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median milliseconds of a step, given the repetition's number.
template <typename Step>
double medianMilliseconds(int repetitions, Step step)
{
    QVector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        times.append(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// The window shown with the log loaded; its chart, drawn.
inline QCustomPlot *loadedChart(MainWindow &window, const QString &log)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        print(QStringLiteral("window not shown"));
    window.loadLogFiles({log});
    auto *plot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    plot->replot(QCustomPlot::rpImmediateRefresh);
    return plot;
}

// A press or release of the left button, or a move with the buttons held.
inline void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace BenchReport

#endif // BENCHREPORT_H
