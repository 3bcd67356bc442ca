// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGBUILDER_H
#define LOGBUILDER_H

// Builds log file bytes for tests and benchmarks. Fields are laid out by hand, least
// significant byte first, so the builder does not share code with the decoder it checks.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <array>

namespace LogBuilder {

constexpr int kHeaderSize = 433;
constexpr int kRecordSize = 41;

// Time stamp 0 is 2000-01-01 00:00:00 at UTC+01:00, the key 946681200.
constexpr qint64 kEpochOffset = 946681200;

struct Record {
    qint32 timeStamp;
    std::array<qint16, 5> tenths; // TSA1, TSE, TW, TSV, TAM
};

inline void putLittleEndian(QByteArray &bytes, int at, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// One record; filler goes into the bytes that carry no channel (10-11 and 16-40).
inline QByteArray recordBytes(const Record &record, char filler = '\0')
{
    QByteArray bytes(kRecordSize, filler);
    putLittleEndian(bytes, 0, quint32(record.timeStamp), 4);
    const int offsets[5] = {4, 6, 8, 12, 14};
    for (int channel = 0; channel < 5; ++channel)
        putLittleEndian(bytes, offsets[channel], quint16(record.tenths[channel]), 2);
    return bytes;
}

inline QByteArray header(char fill = 'H')
{
    return QByteArray(kHeaderSize, fill);
}

inline QByteArray logBytes(const QVector<Record> &records, char headerFill = 'H', char filler = '\0')
{
    QByteArray bytes = header(headerFill);
    bytes.reserve(kHeaderSize + records.size() * kRecordSize);
    for (const Record &record : records)
        bytes += recordBytes(record, filler);
    return bytes;
}

// A record whose five channels hold base, base + 10, ..., base + 40 tenths.
inline Record steppedRecord(qint32 timeStamp, qint16 base)
{
    return {timeStamp, {base, qint16(base + 10), qint16(base + 20), qint16(base + 30), qint16(base + 40)}};
}

// A time stamp in March 2015, so keys are plainly not near zero.
constexpr qint32 kMarch2015 = 478483200;

// Records of one sample a minute from first; record i has the base 200 + i % 300.
inline QByteArray minuteLog(int records, qint32 first = kMarch2015)
{
    QVector<Record> list;
    for (int i = 0; i < records; ++i)
        list.append(steppedRecord(first + 60 * i, qint16(200 + i % 300)));
    return logBytes(list);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace LogBuilder

#endif // LOGBUILDER_H
