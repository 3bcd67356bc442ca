// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGDECODER_H
#define LOGDECODER_H

// Byte-level decoding of temperature log files. Qt Core only, so that tests, benchmarks and
// fuzzers can link it without a window or a chart.

#include <QByteArray>
#include <QIODevice>
#include <QVector>
#include <QtEndian>

#include <cstring>
#include <utility>

namespace LogDecoder {

// A file is a header that nobody reads, then fixed-size records up to the end of the file.
constexpr qint64 kHeaderSize = 433;
constexpr qint64 kRecordSize = 41;
constexpr int kChannelCount = 5;

// Time stamps count seconds from 2000-01-01 00:00:00 at UTC+01:00; keys count from the Unix epoch.
constexpr double kKeyOffset = 946681200.0;
constexpr int kTimeStampOffset = 0;
// Bytes 10-11 between the third and fourth channel are not a channel.
constexpr int kChannelOffsets[kChannelCount] = {4, 6, 8, 12, 14};
constexpr int kTenthsPerDegree = 10;

// Records read per block: about 1 MiB, and always whole records.
constexpr qint64 kBlockRecords = (qint64(1) << 20) / kRecordSize;

struct LogRecord {
    double key;                     // seconds since 1970-01-01 00:00:00 UTC
    double values[kChannelCount];   // whole degrees Celsius, by graph index
};

// Whole records in a file of the given length; a partial record at the end does not count.
constexpr qint64 recordCount(qint64 fileSize)
{
    return fileSize > kHeaderSize ? (fileSize - kHeaderSize) / kRecordSize : 0;
}

// Decodes the kRecordSize bytes at record, independent of the host's byte order.
inline LogRecord decodeRecord(const char *record)
{
    LogRecord decoded;
    decoded.key = double(qFromLittleEndian<qint32>(record + kTimeStampOffset)) + kKeyOffset;
    for (int channel = 0; channel < kChannelCount; ++channel) {
        const qint16 tenths = qFromLittleEndian<qint16>(record + kChannelOffsets[channel]);
        // Tenths are dropped, truncating toward zero, not rounded.
        const qint16 degrees = qint16(tenths / kTenthsPerDegree);
        decoded.values[channel] = double(degrees);
    }
    return decoded;
}

// Hands every whole record in bytes[0, size) to sink(const LogRecord &), in order, and returns
// how many it handed over. Trailing bytes short of a whole record are left alone.
template <typename Sink>
inline qint64 decodeRecords(const char *bytes, qint64 size, Sink &&sink)
{
    const qint64 count = size / kRecordSize;
    for (qint64 i = 0; i < count; ++i)
        sink(decodeRecord(bytes + i * kRecordSize));
    return count;
}

// Reads at most maxRecords records from device, from its current position, in blocks of about
// 1 MiB, and hands each to sink(const LogRecord &); afterBlock() follows each block's records
// and returns whether to go on. Stops at the end of the device, at the first failed read
// (dropping a partial record there) or when afterBlock() says so.
// Returns the number of records handed over.
template <typename Sink, typename AfterBlock>
qint64 readRecords(QIODevice &device, qint64 maxRecords, Sink &&sink, AfterBlock &&afterBlock)
{
    const qint64 blockRecords = qMin(maxRecords, kBlockRecords);
    if (blockRecords <= 0)
        return 0;
    QByteArray block(int(blockRecords * kRecordSize), Qt::Uninitialized);
    qint64 done = 0;
    qint64 carried = 0; // bytes of a record that a short read split
    while (done < maxRecords) {
        const qint64 wanted = qMin(maxRecords - done, blockRecords) * kRecordSize - carried;
        const qint64 got = device.read(block.data() + carried, wanted);
        if (got <= 0)
            break;
        const qint64 filled = carried + got;
        const qint64 decoded = decodeRecords(block.constData(), filled, sink);
        done += decoded;
        carried = filled - decoded * kRecordSize;
        std::memmove(block.data(), block.constData() + decoded * kRecordSize, size_t(carried));
        if (!afterBlock())
            break;
    }
    return done;
}

template <typename Sink>
qint64 readRecords(QIODevice &device, qint64 maxRecords, Sink &&sink)
{
    return readRecords(device, maxRecords, std::forward<Sink>(sink), [] { return true; });
}

// Decodes every whole record of a complete file's bytes, header included.
QVector<LogRecord> decodeLogFile(const QByteArray &fileBytes);

} // namespace LogDecoder

#endif // LOGDECODER_H
