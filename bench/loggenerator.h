// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGGENERATOR_H
#define LOGGENERATOR_H

#include <QString>

// Synthetic logs of one record a minute for the benchmark, written fast enough for 10 million
// records. Smooth: slow daily waves with a degree of jitter. Jagged: each channel a random walk
// over the whole temperature range.
namespace LogGenerator {

enum class Shape { Smooth, Jagged };

// Time stamps count seconds from 2000-01-01 00:00 at UTC+01:00, as in the log.
const qint32 kJune2015 = 488419200;
const int kStepSeconds = 60;

QString shapeName(Shape shape);
// Records step seconds apart from the time stamp start on.
bool writeLog(const QString &path, qint64 records, Shape shape, qint32 start = kJune2015, int step = kStepSeconds);

} // namespace LogGenerator

#endif // LOGGENERATOR_H
