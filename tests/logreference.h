// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGREFERENCE_H
#define LOGREFERENCE_H

// What a log file must show, worked out byte by byte from the file layout for tests and the
// fuzzer. It shares no code with the decoder it checks.

#include "logbuilder.h"

#include <QByteArray>
#include <QVector>

#include <array>
#include <cstdint>

namespace LogReference {

struct Point {
    double key;
    std::array<double, 5> values; // TSA1, TSE, TW, TSV, TAM
};

inline std::uint32_t littleEndianAt(const char *at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(at[i]);
    return value;
}

// One record's point: time stamp plus the epoch offset, tenths truncated toward zero.
inline Point pointAt(const char *record)
{
    static const int offsets[5] = {4, 6, 8, 12, 14};
    Point point;
    point.key = double(std::int32_t(littleEndianAt(record, 4))) + double(LogBuilder::kEpochOffset);
    for (int channel = 0; channel < 5; ++channel) {
        const int tenths = std::int16_t(littleEndianAt(record + offsets[channel], 2));
        point.values[size_t(channel)] = double(tenths / 10);
    }
    return point;
}

// The points of every whole record after the header, in file order.
inline QVector<Point> points(const QByteArray &file)
{
    QVector<Point> result;
    for (int at = LogBuilder::kHeaderSize; at + LogBuilder::kRecordSize <= file.size();
         at += LogBuilder::kRecordSize)
        result.append(pointAt(file.constData() + at));
    return result;
}

} // namespace LogReference

#endif // LOGREFERENCE_H
