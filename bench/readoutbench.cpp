// SPDX-License-Identifier: GPL-3.0-or-later
#include "readoutbench.h"

#include "benchreport.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

namespace {

using BenchReport::medianMilliseconds;
using BenchReport::print;
using BenchReport::kMillion;
using BenchReport::kTenMillion;

const int kMoves = 301;
const int kRedraws = 7;
// Moves step this many pixels, so that each lands on records of its own.
const int kMoveStepPixels = 7;
const double kMostMoveMilliseconds = 2.0;
const double kMostShareOfRedraw = 0.25;
// In a window larger than the program's first one, the move's own target.
const QSize kFirstWindow(542, 390);
const double kMostMoveMillisecondsLarger = 8.0;

struct Figures {
    double move = 0;
    double redraw = 0;
};

// Moves without a button over the plot area, each followed by the paint it asks for, which
// puts the read-out on screen; and full redraws of the same chart.
Figures measure(const QString &log, const QSize &size)
{
    MainWindow window;
    window.resize(size);
    QCustomPlot *plot = BenchReport::loadedChart(window, log);
    const QRect area = plot->axisRect()->rect();

    Figures figures;
    figures.move = medianMilliseconds(kMoves, [&](int i) {
        const QPoint at(area.left() + (i * kMoveStepPixels) % area.width(), area.center().y());
        QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(plot, &move);
        QCoreApplication::processEvents();
    });
    figures.redraw = medianMilliseconds(kRedraws, [&](int) { plot->replot(QCustomPlot::rpImmediateRefresh); });
    return figures;
}

} // namespace

int ReadoutBench::run(const QVector<qint64> &recordCounts, const QSize &windowSize)
{
    const bool larger = windowSize != kFirstWindow;
    QTemporaryDir dir;
    bool allMet = true;
    print(QString());
    print(QStringLiteral("| records | logs | mouse move with read-out | full redraw | move / redraw | targets met |"));
    print(QStringLiteral("|---:|---|---:|---:|---:|---|"));
    for (qint64 records : {kMillion, kTenMillion}) {
        if (!recordCounts.contains(records))
            continue;
        const QString log = dir.filePath(QStringLiteral("readout-%1.log").arg(records));
        if (!LogGenerator::writeLog(log, records, LogGenerator::Shape::Jagged)) {
            print(QStringLiteral("cannot write ") + log);
            return 1;
        }
        const Figures figures = measure(log, windowSize);
        QFile::remove(log);
        const double share = figures.move / figures.redraw;
        // The targets are set at 10M; 1M is shown for the scaling.
        const bool met = larger ? figures.move <= kMostMoveMillisecondsLarger
                                : records != kTenMillion
                                      || (figures.move <= kMostMoveMilliseconds && share <= kMostShareOfRedraw);
        allMet = allMet && met;
        print(QStringLiteral("| %1 | jagged | %2 ms | %3 ms | %4 | %5 |")
                .arg(QLocale::c().toString(records))
                .arg(figures.move, 0, 'f', 3)
                .arg(figures.redraw, 0, 'f', 1)
                .arg(share, 0, 'f', 3)
                .arg(records != kTenMillion && !larger ? QStringLiteral("(set at 10M)")
                                                       : met ? QStringLiteral("yes") : QStringLiteral("NO")));
    }
    if (larger)
        print(QStringLiteral("Target in this window: a move at most %1 ms.").arg(kMostMoveMillisecondsLarger));
    else
        print(QStringLiteral("Targets at 10M: a move at most %1 ms and at most %2 of a full redraw.")
                  .arg(kMostMoveMilliseconds)
                  .arg(kMostShareOfRedraw));
    return allMet ? 0 : 1;
}
