#include "viewfindingbench.h"

#include "benchreport.h"
#include "chart/overviewstrip.h"
#include "loggenerator.h"
#include "mainwindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <qcustomplot.h>

namespace {

using BenchReport::medianMilliseconds;
using BenchReport::print;
using BenchReport::sendMouse;
using BenchReport::kMillion;
using BenchReport::kTenMillion;

const int kRepetitions = 21;
const int kMoves = 101;
const int kDragSteps = 40;
const int kMoveStepPixels = 7;
// The chart's view in the cases: the middle tenth of the whole range.
const double kViewShare = 0.1;
const double kMostStepOverRedraw = 1.1;
const double kMostStripFollowMs = 1.0;
const double kMostStripBuildMs = 20.0;
const double kMostStripDragOverChartDrag = 1.1;
const double kMostWithStripOverWithout = 1.1;

struct Figure {
    QString label;
    double ms;
    QString against; // the figure it is held to, empty for an absolute target
    double most;     // ratio or milliseconds; 0 for no target
};

// An event and all it sets off, the queued redraw and the paints included.
template <typename Send>
double handledMs(int repetitions, Send send)
{
    return medianMilliseconds(repetitions, [&](int i) {
        send(i);
        QCoreApplication::processEvents();
    });
}

void key(QWidget *widget, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

// "Zeitraum..." answered with "OK" at once: from the press of "OK" to the chart redrawn.
double timeRangeOkMs(MainWindow &window)
{
    QVector<double> ms;
    for (int i = 0; i < kRepetitions; ++i) {
        QElapsedTimer timer;
        QTimer::singleShot(0, [&timer]() {
            auto *buttons = QApplication::activeModalWidget()->findChild<QDialogButtonBox *>();
            timer.start();
            buttons->button(QDialogButtonBox::Ok)->click();
        });
        window.findChild<QAction *>(QStringLiteral("actionTimeRange"))->trigger();
        QCoreApplication::processEvents();
        ms.append(timer.nsecsElapsed() / 1e6);
    }
    return BenchReport::median(ms);
}

// A drag across the widget's middle, each move with what it sets off.
double dragStepMs(QWidget *widget, const QRect &area)
{
    const int y = area.center().y();
    const int from = area.center().x();
    sendMouse(widget, QEvent::MouseButtonPress, QPoint(from, y), Qt::LeftButton);
    const double ms = handledMs(kDragSteps, [&](int i) {
        sendMouse(widget, QEvent::MouseMove, QPoint(from + (i % 2 ? 1 : -1) * (1 + i / 2), y), Qt::LeftButton);
    });
    sendMouse(widget, QEvent::MouseButtonRelease, QPoint(from, y), Qt::NoButton);
    return ms;
}

QVector<Figure> measure(const QString &log, const QSize &size)
{
    MainWindow window;
    window.resize(size);
    QCustomPlot *plot = BenchReport::loadedChart(window, log);
    auto *strip = window.findChild<OverviewStrip *>(QStringLiteral("overview"));
    auto *overview = window.findChild<QAction *>(QStringLiteral("actionOverview"));
    const QCPRange whole = plot->xAxis->range();
    const QRect area = plot->axisRect()->rect();
    const auto redrawMs = [&]() { return handledMs(kRepetitions, [&](int) { plot->replot(QCustomPlot::rpImmediateRefresh); }); };
    const auto hoverMs = [&]() {
        return handledMs(kMoves, [&](int i) {
            sendMouse(plot, QEvent::MouseMove, QPoint(area.left() + (i * kMoveStepPixels) % area.width(), area.center().y()), Qt::NoButton);
        });
    };
    const auto clickMs = [&]() {
        return handledMs(kRepetitions, [&](int) {
            sendMouse(plot, QEvent::MouseButtonPress, area.center(), Qt::LeftButton);
            sendMouse(plot, QEvent::MouseButtonRelease, area.center(), Qt::NoButton);
        });
    };

    const QCPRange tenth(whole.center() - whole.size() * kViewShare / 2, whole.center() + whole.size() * kViewShare / 2);
    QVector<Figure> figures;
    plot->xAxis->setRange(tenth);
    figures.append({QStringLiteral("redraw of a tenth of the range, no strip"), redrawMs(), QString(), 0});
    figures.append({QStringLiteral("read-out move, no strip"), hoverMs(), QString(), 0});
    figures.append({QStringLiteral("click, no strip"), clickMs(), QString(), 0});
    // The tenth and the whole view in the history, to go back and forth between.
    key(plot, Qt::Key_Home, Qt::NoModifier);
    figures.append({QStringLiteral("back or forward, key to chart redrawn"), handledMs(kRepetitions, [&](int i) {
                        key(plot, i % 2 ? Qt::Key_Right : Qt::Key_Left, Qt::AltModifier);
                    }), QStringLiteral("the same views redrawn by turns"), kMostStepOverRedraw});
    figures.append({QStringLiteral("the same views redrawn by turns"), handledMs(kRepetitions, [&](int i) {
                        plot->xAxis->setRange(i % 2 ? whole : tenth);
                        plot->replot(QCustomPlot::rpImmediateRefresh);
                    }), QString(), 0});
    plot->xAxis->setRange(tenth);
    figures.append({QStringLiteral("\"Zeitraum...\" OK to chart redrawn"), timeRangeOkMs(window),
                    QStringLiteral("redraw of a tenth of the range, no strip"), kMostStepOverRedraw});

    overview->setChecked(true);
    QCoreApplication::processEvents();
    figures.append({QStringLiteral("strip built after a load"), medianMilliseconds(kRepetitions, [&](int) {
                        strip->refresh();
                        strip->repaint();
                    }), QString(), kMostStripBuildMs});
    plot->xAxis->setRange(tenth);
    figures.append({QStringLiteral("strip following the chart's range"), medianMilliseconds(kRepetitions, [&](int i) {
                        plot->xAxis->moveRange((i % 2 ? 1 : -1) * whole.size() / 1000);
                        strip->repaint();
                    }), QString(), kMostStripFollowMs});
    figures.append({QStringLiteral("drag step on the chart"), dragStepMs(plot, area), QString(), 0});
    figures.append({QStringLiteral("drag step on the strip"), dragStepMs(strip, strip->rect()),
                    QStringLiteral("drag step on the chart"), kMostStripDragOverChartDrag});
    figures.append({QStringLiteral("redraw of a tenth of the range, strip shown"), redrawMs(),
                    QStringLiteral("redraw of a tenth of the range, no strip"), kMostWithStripOverWithout});
    figures.append({QStringLiteral("read-out move, strip shown"), hoverMs(), QStringLiteral("read-out move, no strip"),
                    kMostWithStripOverWithout});
    figures.append({QStringLiteral("click, strip shown"), clickMs(), QStringLiteral("click, no strip"), kMostWithStripOverWithout});
    return figures;
}

} // namespace

int ViewFindingBench::run(const QVector<qint64> &recordCounts, const QSize &windowSize)
{
    // The strip is switched on in the cases: the user's own setting stays as it is.
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    bool allMet = true;
    print(QString());
    print(QStringLiteral("| records | logs | views, range, overview | ms | held to | wanted | met |"));
    print(QStringLiteral("|---:|---|---|---:|---|---:|---|"));
    for (qint64 records : {kMillion, kTenMillion}) {
        if (!recordCounts.contains(records))
            continue;
        const QString log = dir.filePath(QStringLiteral("views-%1.log").arg(records));
        if (!LogGenerator::writeLog(log, records, LogGenerator::Shape::Jagged)) {
            print(QStringLiteral("cannot write ") + log);
            return 1;
        }
        const QVector<Figure> figures = measure(log, windowSize);
        QFile::remove(log);
        QMap<QString, double> byLabel;
        for (const Figure &figure : figures)
            byLabel.insert(figure.label, figure.ms);
        for (const Figure &figure : figures) {
            const double measured = figure.against.isEmpty() ? figure.ms : figure.ms / byLabel.value(figure.against);
            // The targets are set at 10M; 1M is shown for the scaling.
            const bool target = figure.most > 0 && records == kTenMillion;
            const bool met = !target || measured <= figure.most;
            allMet = allMet && met;
            print(QStringLiteral("| %1 | jagged | %2 | %3 | %4 | %5 | %6 |")
                      .arg(QLocale::c().toString(records), figure.label)
                      .arg(figure.ms, 0, 'f', 3)
                      .arg(figure.against.isEmpty() ? QString() : QStringLiteral("%1× %2").arg(measured, 0, 'f', 2).arg(figure.against))
                      .arg(figure.most > 0 ? (figure.against.isEmpty() ? QStringLiteral("%1 ms") : QStringLiteral("%1×")).arg(figure.most) : QString())
                      .arg(!target ? QString() : met ? QStringLiteral("yes") : QStringLiteral("NO")));
        }
    }
    return allMet ? 0 : 1;
}
