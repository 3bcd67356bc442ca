// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHREPORT_H
#define BENCHREPORT_H

// What every part of the benchmark shares: lines printed at once, so that a long run shows its
// progress, the median of repeated timings, the views measured, a shown window with a log loaded,
// the mouse, the process's memory, and cases run in child processes of their own.

#include "mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtTest>
#include <qcustomplot.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace BenchReport {

const qint64 kMillion = 1000000;
const qint64 kTenMillion = 10000000;
// The views a user reaches from the whole range in one gesture.
const double kPanShare = 0.1;
const double kWheelNotchFactor = 0.85;
const QCPRange kTemperatureBand(20, 60);

// A view of the chart, set from the whole range; key is the figure's name in a case's output.
struct View {
    QString key;
    QString label;
    std::function<void(QCustomPlot *)> apply;
};

inline QVector<View> views()
{
    return {
        {QStringLiteral("pan"), QStringLiteral("redraw after a pan by a tenth of the range"),
         [](QCustomPlot *plot) { plot->xAxis->moveRange(plot->xAxis->range().size() * kPanShare); }},
        {QStringLiteral("notch"),
         QStringLiteral("redraw after one wheel notch (both axes to %1 %)").arg(qRound(kWheelNotchFactor * 100)),
         [](QCustomPlot *plot) {
             for (QCPAxis *axis : {plot->xAxis, plot->yAxis})
                 axis->scaleRange(kWheelNotchFactor, axis->range().center());
         }},
        {QStringLiteral("band"),
         QStringLiteral("redraw, temperature axis at %1..%2 °C")
             .arg(kTemperatureBand.lower)
             .arg(kTemperatureBand.upper),
         [](QCustomPlot *plot) { plot->yAxis->setRange(kTemperatureBand); }},
    };
}

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

// Bytes of a line of /proc/self/status such as "VmHWM:"; -1 when it cannot be read.
inline qint64 statusBytes(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// The figures a case run in a child process of this program (caseOption name folder) printed as
// "name value" pairs on one line, in its order; empty when it failed.
inline QVector<double> childFigures(const QString &caseOption, const QString &name, const QString &folder)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {caseOption, name, folder});
    child.waitForFinished(-1);
    const QList<QByteArray> parts = child.readAllStandardOutput().trimmed().split(' ');
    QVector<double> figures;
    for (int i = 1; i < parts.size(); i += 2)
        figures.append(parts[i].toDouble());
    if (child.exitCode() != 0 || figures.isEmpty() || parts.size() % 2 != 0) {
        print(QStringLiteral("case %1 failed").arg(name));
        return {};
    }
    return figures;
}

// What the program's arguments ask of a part with cases of its own: all of it (option), or one
// case in this process (caseOption NAME FOLDER); its exit code, -1 when they ask nothing of it.
inline int runFromArguments(const QStringList &arguments, const QString &option, const QString &caseOption,
                            const std::function<int()> &runAll,
                            const std::function<int(const QString &, const QString &)> &runOne)
{
    if (arguments.size() == 2 && arguments[1] == option)
        return runAll();
    if (arguments.size() == 4 && arguments[1] == caseOption)
        return runOne(arguments[2], arguments[3]);
    return -1;
}

// A press or release of the left button, or a move with the buttons held.
inline void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace BenchReport

#endif // BENCHREPORT_H
