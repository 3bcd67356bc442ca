#ifndef LOGGENERATOR_H
#define LOGGENERATOR_H

#include <QString>

// Synthetic logs of one record a minute for the benchmark, written fast enough for 10 million
// records. Smooth: slow daily waves with a degree of jitter. Jagged: each channel a random walk
// over the whole temperature range.
namespace LogGenerator {

enum class Shape { Smooth, Jagged };

QString shapeName(Shape shape);
bool writeLog(const QString &path, qint64 records, Shape shape);

} // namespace LogGenerator

#endif // LOGGENERATOR_H
