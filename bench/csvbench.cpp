// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvbench.h"

#include "benchreport.h"
#include "chart/chartexport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <cstdio>

namespace {

using BenchReport::median;

const int kRecords = 1000000;
const int kChannels = 5;
const int kRuns = 5;
// One record a minute from 2026-01-01 00:00 UTC: the year's two clock changes lie inside.
const qint64 kFirstKey = 1767225600;
const qint64 kStepSeconds = 60;
// Ours at most a tenth of numpy's time.
const double kSpeedUp = 10;
// Debian's interpreter, which python3-numpy serves, whatever else is first on PATH.
const char kPython[] = "/usr/bin/python3";

// Times numpy.savetxt on the rows stored as int64 in argv[1], writing argv[2]; prints seconds.
const char kNumpyScript[] =
    "import sys, time, numpy\n"
    "rows = numpy.fromfile(sys.argv[1], dtype=numpy.int64).reshape(-1, 6)\n"
    "times = []\n"
    "for run in range(int(sys.argv[3])):\n"
    "    start = time.perf_counter()\n"
    "    numpy.savetxt(sys.argv[2], rows, fmt='%d', delimiter=';', newline='\\r\\n',\n"
    "                  header='Zeit;TSA1;TSE;TW;TSV;TAM', comments='')\n"
    "    times.append(time.perf_counter() - start)\n"
    "print(sorted(times)[len(times) // 2])\n";

// The chart as a load leaves it: five graphs of random walks over whole degrees.
void fillChart(QCustomPlot &plot)
{
    QRandomGenerator random(11);
    for (int channel = 0; channel < kChannels; ++channel) {
        QVector<QCPGraphData> points(kRecords);
        int value = 40;
        for (int i = 0; i < kRecords; ++i) {
            value = qBound(-20, value + int(random.bounded(3)) - 1, 100);
            points[i] = QCPGraphData(double(kFirstKey + i * kStepSeconds), value);
        }
        plot.addGraph()->data()->set(points, true);
        plot.graph(channel)->setName(QStringLiteral("C%1").arg(channel));
    }
    plot.xAxis->setRange(kFirstKey, kFirstKey + (kRecords - 1) * kStepSeconds);
}

// The same rows as six int64 each, the time as seconds.
bool writeRawRows(const QCustomPlot &plot, const QString &path)
{
    QVector<qint64> rows;
    rows.reserve(kRecords * (kChannels + 1));
    for (int i = 0; i < kRecords; ++i) {
        rows.append(qint64(plot.graph(0)->data()->at(i)->key));
        for (int channel = 0; channel < kChannels; ++channel)
            rows.append(qint64(plot.graph(channel)->data()->at(i)->value));
    }
    QFile file(path);
    const qint64 bytes = qint64(rows.size()) * qint64(sizeof(qint64));
    return file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char *>(rows.constData()), bytes) == bytes;
}

double numpySeconds(const QString &raw, const QString &out)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QString::fromLatin1(kPython), {QStringLiteral("-c"), QString::fromLatin1(kNumpyScript), raw, out,
                                             QString::number(kRuns)});
    if (!python.waitForFinished(-1) || python.exitCode() != 0)
        return -1;
    return python.readAllStandardOutput().trimmed().toDouble();
}

} // namespace

int runCsvBenchmark()
{
    QTemporaryDir dir;
    QCustomPlot plot;
    fillChart(plot);
    const QString raw = dir.filePath(QStringLiteral("rows.raw"));
    if (!dir.isValid() || !writeRawRows(plot, raw)) {
        std::printf("cannot write the rows for numpy\n");
        return 1;
    }
    QVector<double> ours;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!ChartExport::saveRecords(&plot, dir.filePath(QStringLiteral("ours.csv")))) {
            std::printf("export failed\n");
            return 1;
        }
        ours.append(timer.nsecsElapsed() / 1e9);
    }
    const double mine = median(ours);
    const double numpy = numpySeconds(raw, dir.filePath(QStringLiteral("numpy.csv")));
    if (numpy <= 0) {
        std::printf("numpy.savetxt did not run (python3-numpy missing?)\n");
        return 1;
    }
    const double speedUp = numpy / mine;
    std::printf("\n| CSV export of %d records, median of %d | ours | numpy.savetxt | ratio |\n", kRecords, kRuns);
    std::printf("|---|---:|---:|---:|\n");
    std::printf("| chart's time range to file, through a temporary file | %.3f s | %.3f s | %.1f× |\n", mine,
                numpy, speedUp);
    std::printf("\n| target | measured | wanted | met |\n|---|---:|---:|---|\n");
    std::printf("| CSV export 1M, times faster than numpy.savetxt | %.2f | at least %.0f | %s |\n", speedUp,
                kSpeedUp, speedUp >= kSpeedUp ? "yes" : "NO");
    std::fflush(stdout);
    return speedUp >= kSpeedUp ? 0 : 1;
}
