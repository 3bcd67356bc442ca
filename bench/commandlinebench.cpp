// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandlinebench.h"

#include "benchreport.h"
#include "loggenerator.h"
#include "logs/logdecoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <array>
#include <limits>
#include <vector>

namespace CommandLineBench {

namespace {

using BenchReport::Check;
using BenchReport::print;

const int kRuns = 3;
const qint64 kRecordCounts[] = {BenchReport::kMillion, BenchReport::kTenMillion};
const QString kPictureSize = QStringLiteral("1280x720");
const char *const kChannelNames[] = {"TSA1", "TSE", "TW", "TSV", "TAM"};
// Targets: whole-process seconds at most, and how many times faster than the peer at least.
const double kMostPictureSeconds1M = 0.35;
const double kMostPictureSeconds10M = 1.5;
const double kKstSpeedUp1M = 3;
const double kKstSpeedUp10M = 2.5;
const double kMostCsvSeconds = 0.35;
const double kNumpySpeedUp = 10;
const double kMostDaysSeconds = 0.2;
const double kPandasSpeedUp = 6;
// Both tell days in the same zone.
const QString kZone = QStringLiteral("Europe/Berlin");
// Debian's interpreter, which python3-numpy serves, whatever else is first on PATH.
const QString kPython = QStringLiteral("/usr/bin/python3");

// Writes argv[2] from the rows stored as six int64 each in argv[1], as the CSV benchmark does.
const char kNumpyScript[] =
    "import sys, numpy\n"
    "rows = numpy.fromfile(sys.argv[1], dtype=numpy.int64).reshape(-1, 6)\n"
    "numpy.savetxt(sys.argv[2], rows, fmt='%d', delimiter=';', newline='\\r\\n',\n"
    "              header='Zeit;TSA1;TSE;TW;TSV;TAM', comments='')\n";
// Writes argv[2] with each local day's lowest, highest and mean value per channel and the day's
// records, from the log argv[1] read with its record layout.
const char kPandasScript[] =
    "import os, sys, numpy, pandas\n"
    "record = numpy.dtype([('t', '<i4'), ('c0', '<i2'), ('c1', '<i2'), ('c2', '<i2'), ('gap', '<i2'),\n"
    "                      ('c3', '<i2'), ('c4', '<i2'), ('rest', 'V25')])\n"
    "rows = numpy.fromfile(sys.argv[1], dtype=record, offset=433)\n"
    "names = ['TSA1', 'TSE', 'TW', 'TSV', 'TAM']\n"
    "times = pandas.to_datetime(rows['t'].astype('int64') + 946681200, unit='s', utc=True)\n"
    "frame = pandas.DataFrame({name: numpy.fix(rows['c%d' % i] / 10) for i, name in enumerate(names)},\n"
    "                         index=times.tz_convert(os.environ['TZ']))\n"
    "days = frame.resample('D').agg(['min', 'max', 'mean'])\n"
    "days['count'] = frame['TSA1'].resample('D').count()\n"
    "days.to_csv(sys.argv[2], sep=';', decimal=',', float_format='%.1f', lineterminator='\\r\\n')\n";
// Runs argv[1:] and prints the child's peak memory in KiB.
const char kPeakScript[] =
    "import resource, subprocess, sys\n"
    "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
    "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n";

// Seconds of the fastest of kRuns runs, from the start of the process to its exit; infinite when
// one fails.
double bestSeconds(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    double best = qInf();
    for (int run = 0; run < kRuns; ++run) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        process.start(program, arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return qInf();
        best = qMin(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

// The same records as the log holds, as the chart shows them: the time as Unix seconds and each
// channel in whole degrees, one raw little-endian column a field, and the rows as six int64 for
// numpy.
bool writePeerData(const QString &log, const QString &dirfile, const QString &rows)
{
    QFile in(log);
    if (!QDir().mkpath(dirfile) || !in.open(QIODevice::ReadOnly) || !in.seek(LogDecoder::kHeaderSize))
        return false;
    std::vector<qint32> times;
    std::array<std::vector<qint16>, LogDecoder::kChannelCount> channels;
    std::vector<qint64> table;
    LogDecoder::readRecords(in, std::numeric_limits<qint64>::max(), [&](const LogDecoder::LogRecord &record) {
        times.push_back(qint32(record.key));
        table.push_back(qint64(record.key));
        for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
            channels[size_t(channel)].push_back(qint16(record.values[channel]));
            table.push_back(qint64(record.values[channel]));
        }
    });
    auto writeRaw = [](const QString &path, const void *data, qint64 bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(static_cast<const char *>(data), bytes) == bytes;
    };
    QByteArray format = "ts RAW INT32 1\n";
    bool written = writeRaw(dirfile + QStringLiteral("/ts"), times.data(), qint64(times.size() * sizeof(qint32)));
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        format += QByteArray(kChannelNames[channel]) + " RAW INT16 1\n";
        written = written && writeRaw(dirfile + QLatin1Char('/') + QLatin1String(kChannelNames[channel]),
                                      channels[size_t(channel)].data(), qint64(times.size() * sizeof(qint16)));
    }
    return written && writeRaw(dirfile + QStringLiteral("/format"), format.constData(), format.size())
           && writeRaw(rows, table.data(), qint64(table.size() * sizeof(qint64)));
}

// kst2 runs headless on Qt's offscreen platform, its settings in a folder of the benchmark's.
double kstSeconds(const QString &kst, const QString &dirfile, const QString &picture, const QString &home)
{
    QStringList arguments{dirfile, QStringLiteral("-x"), QStringLiteral("ts"), QStringLiteral("-P"), QStringLiteral("P1")};
    for (const char *name : kChannelNames)
        arguments << QStringLiteral("-y") << QLatin1String(name);
    arguments << QStringLiteral("--png") << picture;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    return bestSeconds(kst, arguments, environment);
}

// Peak memory of the program writing the picture, and of the window loading the same log (the
// window's open case of this benchmark), in bytes; infinite when unknown.
double programPeak(const QStringList &arguments)
{
    QProcess python;
    python.start(kPython, QStringList{QStringLiteral("-c"), QString::fromLatin1(kPeakScript),
                                      QStringLiteral(VIEWER_PROGRAM)} + arguments);
    python.waitForFinished(-1);
    bool known = false;
    const double kibibytes = python.readAllStandardOutput().trimmed().toDouble(&known);
    return known ? kibibytes * 1024 : qInf();
}

double windowPeak(const QString &log)
{
    QProcess window;
    window.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--case"), QStringLiteral("open"), log, kPictureSize});
    window.waitForFinished(-1);
    for (const QByteArray &line : window.readAllStandardOutput().split('\n')) {
        if (line.startsWith("peak "))
            return line.mid(5).toDouble();
    }
    return 0;
}

QString seconds(double value)
{
    return qIsInf(value) ? QStringLiteral("failed") : QStringLiteral("%1 s").arg(value, 0, 'f', 3);
}

int run()
{
    const QString kst = QStandardPaths::findExecutable(QStringLiteral("kst2"));
    if (kst.isEmpty())
        print(QStringLiteral("kst2 is not installed (Debian package kst): our figures only"));
    QTemporaryDir dir;
    const QString program = QStringLiteral(VIEWER_PROGRAM);
    const QString picture = dir.filePath(QStringLiteral("ours.png"));
    QVector<Check> checks;
    print(QStringLiteral("\n| records | whole process, best of %1 | ours | peer | ratio |\n|---:|---|---:|---:|---:|")
              .arg(kRuns));
    for (const qint64 records : kRecordCounts) {
        const QString log = dir.filePath(QStringLiteral("log"));
        const QString dirfile = dir.filePath(QStringLiteral("dirfile"));
        const QString rows = dir.filePath(QStringLiteral("rows.raw"));
        if (!LogGenerator::writeLog(log, records, LogGenerator::Shape::Smooth) || !writePeerData(log, dirfile, rows)) {
            print(QStringLiteral("cannot write the logs"));
            return 1;
        }
        const bool million = records == BenchReport::kMillion;
        const QString count = QLocale::c().toString(records);
        const double ours = bestSeconds(program, {QStringLiteral("--picture"), picture, QStringLiteral("--size"), kPictureSize, log});
        print(QStringLiteral("| %1 | PNG %2 | %3 | | |").arg(count, kPictureSize, seconds(ours)));
        checks.append({QStringLiteral("PNG %1 of %2 records, seconds").arg(kPictureSize, count), ours,
                       million ? kMostPictureSeconds1M : kMostPictureSeconds10M, false});
        if (!kst.isEmpty()) {
            const QString kstPicture = dir.filePath(QStringLiteral("kst.png"));
            const double theirs = kstSeconds(kst, dirfile, kstPicture, dir.path());
            const QSize size = QImage(kstPicture).size();
            const QString sizeText = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            const double same = bestSeconds(program, {QStringLiteral("--picture"), picture, QStringLiteral("--size"), sizeText, log});
            print(QStringLiteral("| %1 | PNG %2 (the size kst2 draws), kst2 from a dirfile | %3 | %4 | %5× |")
                      .arg(count, sizeText, seconds(same), seconds(theirs))
                      .arg(theirs / same, 0, 'f', 2));
            checks.append({QStringLiteral("PNG %1 records, times faster than kst2").arg(count), theirs / same,
                           million ? kKstSpeedUp1M : kKstSpeedUp10M, true});
        }
        const double ourPeak = programPeak({QStringLiteral("--picture"), picture, log});
        const double windowsPeak = windowPeak(log);
        print(QStringLiteral("| %1 | peak memory of the PNG's run, window's open | %2 MiB | %3 MiB | %4× |")
                  .arg(count)
                  .arg(ourPeak / 1048576, 0, 'f', 0)
                  .arg(windowsPeak / 1048576, 0, 'f', 0)
                  .arg(ourPeak / windowsPeak, 0, 'f', 2));
        checks.append({QStringLiteral("peak memory %1 records, ours / window's").arg(count), ourPeak / windowsPeak, 1, false});
        if (million) {
            const double csv = bestSeconds(program, {QStringLiteral("--csv"), dir.filePath(QStringLiteral("ours.csv")), log});
            const double numpy = bestSeconds(kPython, {QStringLiteral("-c"), QString::fromLatin1(kNumpyScript), rows,
                                                      dir.filePath(QStringLiteral("numpy.csv"))});
            print(QStringLiteral("| %1 | CSV, numpy.savetxt of the same integers | %2 | %3 | %4× |")
                      .arg(count, seconds(csv), seconds(numpy))
                      .arg(numpy / csv, 0, 'f', 2));
            checks.append({QStringLiteral("CSV of %1 records, seconds").arg(count), csv, kMostCsvSeconds, false});
            checks.append({QStringLiteral("CSV of %1 records, times faster than numpy.savetxt").arg(count), numpy / csv,
                           kNumpySpeedUp, true});
            QProcessEnvironment zoned = QProcessEnvironment::systemEnvironment();
            zoned.insert(QStringLiteral("TZ"), kZone);
            const double days = bestSeconds(program, {QStringLiteral("--days"), dir.filePath(QStringLiteral("ours-days.csv")), log},
                                            zoned);
            const double pandas = bestSeconds(kPython, {QStringLiteral("-c"), QString::fromLatin1(kPandasScript), log,
                                                       dir.filePath(QStringLiteral("pandas-days.csv"))},
                                              zoned);
            print(QStringLiteral("| %1 | days, pandas resample('D') of the log's records | %2 | %3 | %4× |")
                      .arg(count, seconds(days), seconds(pandas))
                      .arg(pandas / days, 0, 'f', 2));
            checks.append({QStringLiteral("days of %1 records, seconds").arg(count), days, kMostDaysSeconds, false});
            checks.append({QStringLiteral("days of %1 records, times faster than pandas").arg(count), pandas / days,
                           kPandasSpeedUp, true});
        }
        QDir(dirfile).removeRecursively();
    }
    bool allMet = true;
    print(QString());
    BenchReport::printChecks(checks, &allMet);
    return allMet ? 0 : 1;
}

} // namespace

int runFromArguments(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments[1] != QLatin1String("--command-line"))
        return -1;
    return run();
}

} // namespace CommandLineBench
