#ifndef BENCHREPORT_H
#define BENCHREPORT_H

// What every part of the benchmark shares: lines printed at once, so that a long run shows its
// progress, the median of repeated timings, and a shown window with a log loaded.

#include "mainwindow.h"

#include <QElapsedTimer>
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

// A target: the figure measured, and the most or the least it may be.
struct Check {
    QString what;
    double measured;
    double target;
    bool atLeast;
};

inline void printChecks(const QVector<Check> &checks, bool *allMet)
{
    print(QStringLiteral("| target | measured | wanted | met |"));
    print(QStringLiteral("|---|---:|---:|---|"));
    for (const Check &check : checks) {
        const bool met = check.atLeast ? check.measured >= check.target : check.measured <= check.target;
        *allMet = *allMet && met;
        print(QStringLiteral("| %1 | %2 | %3 %4 | %5 |")
                  .arg(check.what)
                  .arg(check.measured, 0, 'f', 2)
                  .arg(check.atLeast ? QStringLiteral("at least") : QStringLiteral("at most"))
                  .arg(check.target)
                  .arg(met ? QStringLiteral("yes") : QStringLiteral("NO")));
    }
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

} // namespace BenchReport

#endif // BENCHREPORT_H
