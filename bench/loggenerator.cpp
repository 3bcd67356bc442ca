// SPDX-License-Identifier: GPL-3.0-or-later
#include "loggenerator.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <random>

#include <unistd.h>

namespace {

const int kHeaderBytes = 433;
const int kRecordBytes = 41;
const int kChannelBytes[] = {4, 6, 8, 12, 14};
const int kSecondsPerDay = 86400;
const int kLowestTenths = -100;
const int kHighestTenths = 1000;
const int kRecordsPerWrite = 1 << 15;

// Per channel: mean and daily swing in tenths of a degree.
const int kSmoothMean[] = {550, 450, 380, 300, 140};
const int kSmoothSwing[] = {300, 120, 80, 60, 90};

class Channels
{
public:
    explicit Channels(LogGenerator::Shape shape)
        : mShape(shape)
        , mRandom(2015)
    {
        for (int channel = 0; channel < 5; ++channel)
            mWalk[channel] = kSmoothMean[channel];
    }

    qint16 next(int channel, qint32 timeStamp)
    {
        if (mShape == LogGenerator::Shape::Smooth) {
            const double phase = 2 * M_PI * (timeStamp % kSecondsPerDay) / kSecondsPerDay;
            return qint16(kSmoothMean[channel] + kSmoothSwing[channel] * std::cos(phase) + mJitter(mRandom));
        }
        // A step of up to one degree either way, turned back at the ends of the range.
        int value = mWalk[channel] + mStep(mRandom);
        if (value < kLowestTenths || value > kHighestTenths)
            value = 2 * qBound(kLowestTenths, value, kHighestTenths) - value;
        mWalk[channel] = value;
        return qint16(value);
    }

private:
    LogGenerator::Shape mShape;
    std::mt19937 mRandom;
    std::uniform_int_distribution<int> mJitter{-5, 5};
    std::uniform_int_distribution<int> mStep{-10, 10};
    int mWalk[5];
};

} // namespace

namespace LogGenerator {

QString shapeName(Shape shape)
{
    return shape == Shape::Smooth ? QStringLiteral("smooth") : QStringLiteral("jagged");
}

bool writeLog(const QString &path, qint64 records, Shape shape, qint32 start, int step)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (file.write(QByteArray(kHeaderBytes, 'H')) != kHeaderBytes)
        return false;
    Channels channels(shape);
    QByteArray block;
    for (qint64 n = 0; n < records;) {
        const qint64 inBlock = qMin<qint64>(kRecordsPerWrite, records - n);
        block.fill('\0', int(inBlock * kRecordBytes));
        for (qint64 i = 0; i < inBlock; ++i, ++n) {
            char *record = block.data() + i * kRecordBytes;
            const qint32 timeStamp = qint32(start + n * step);
            qToLittleEndian<qint32>(timeStamp, record);
            for (int channel = 0; channel < 5; ++channel)
                qToLittleEndian<qint16>(channels.next(channel, timeStamp), record + kChannelBytes[channel]);
        }
        if (file.write(block) != block.size())
            return false;
    }
    // On disk before anything is timed, so that no write-back competes with the reads.
    return file.flush() && ::fsync(file.handle()) == 0;
}

} // namespace LogGenerator
