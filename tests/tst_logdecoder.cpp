// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of log bytes: documented byte vectors, ignored bytes, short and partial files, and
// reading records from a device in blocks.
#include "logbuilder.h"
#include "logs/logdecoder.h"

#include <QBuffer>
#include <QtTest>

using LogDecoder::LogRecord;

namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

// A 41-byte record of zeros with the given bytes written at offset.
QByteArray recordWith(int offset, const QByteArray &field)
{
    QByteArray record(LogDecoder::kRecordSize, '\0');
    record.replace(offset, field.size(), field);
    return record;
}

// Serves its bytes at most chunk bytes per read and fails once failAt bytes have been served.
class ChoppyDevice : public QIODevice
{
public:
    ChoppyDevice(const QByteArray &bytes, qint64 chunk, qint64 failAt = -1)
        : mBytes(bytes), mChunk(chunk), mFailAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    int reads = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        ++reads;
        if (mFailAt >= 0 && mServed >= mFailAt)
            return -1;
        qint64 count = qMin(qMin(maxSize, mChunk), mBytes.size() - mServed);
        if (mFailAt >= 0)
            count = qMin(count, mFailAt - mServed);
        memcpy(data, mBytes.constData() + mServed, size_t(count));
        mServed += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray mBytes;
    qint64 mChunk;
    qint64 mFailAt;
    qint64 mServed = 0;
};

QVector<LogRecord> readAll(QIODevice &device, qint64 maxRecords, qint64 *count = nullptr)
{
    QVector<LogRecord> records;
    const qint64 done = LogDecoder::readRecords(device, maxRecords,
                                                [&records](const LogRecord &r) { records.append(r); });
    if (count)
        *count = done;
    return records;
}

// Record i: time stamp i minutes, channels i, i + 1, ... i + 4 degrees (for i below 3000).
QByteArray recordsBytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += LogBuilder::recordBytes(LogBuilder::steppedRecord(i * 60, qint16(i % 3000 * 10)));
    return bytes;
}

} // namespace

class TestLogDecoder : public QObject
{
    Q_OBJECT

private slots:
    void timeStampBecomesKey_data();
    void timeStampBecomesKey();
    void tenthsBecomeWholeDegrees_data();
    void tenthsBecomeWholeDegrees();
    void channelsComeFromTheirOwnOffsets();
    void uninterpretedBytesChangeNothing();
    void recordCountDropsPartialRecords_data();
    void recordCountDropsPartialRecords();
    void fileDecodesEveryWholeRecordInOrder();
    void shortAndPartialFilesYieldOnlyWholeRecords_data();
    void shortAndPartialFilesYieldOnlyWholeRecords();
    void readsOnlyTheRecordsAskedFor();
    void readsJoinRecordsSplitAcrossShortReads();
    void readStopsAtAFailedRead();
    void readStopsAtTheEndDroppingAPartialRecord();
    void readUsesLargeBlocks();
};

void TestLogDecoder::timeStampBecomesKey_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("key");
    QTest::newRow("zero is 2000-01-01 at UTC+1") << bytesOf({0x00, 0x00, 0x00, 0x00}) << 946681200.0;
    QTest::newRow("one day later") << bytesOf({0x80, 0x51, 0x01, 0x00}) << 946767600.0;
    QTest::newRow("Unix epoch") << bytesOf({0x90, 0xCA, 0x92, 0xC7}) << 0.0;
    QTest::newRow("smallest") << bytesOf({0x00, 0x00, 0x00, 0x80}) << -1200802448.0;
    QTest::newRow("largest") << bytesOf({0xFF, 0xFF, 0xFF, 0x7F}) << 3094164847.0;
    QTest::newRow("minus one") << bytesOf({0xFF, 0xFF, 0xFF, 0xFF}) << 946681199.0;
}

void TestLogDecoder::timeStampBecomesKey()
{
    QFETCH(QByteArray, bytes);
    QFETCH(double, key);
    const LogRecord record = LogDecoder::decodeRecord(recordWith(0, bytes).constData());
    QCOMPARE(record.key, key);
}

void TestLogDecoder::tenthsBecomeWholeDegrees_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("degrees");
    QTest::newRow("235") << bytesOf({0xEB, 0x00}) << 23.0;
    QTest::newRow("-47") << bytesOf({0xD1, 0xFF}) << -4.0;
    QTest::newRow("-5") << bytesOf({0xFB, 0xFF}) << 0.0;
    QTest::newRow("9") << bytesOf({0x09, 0x00}) << 0.0;
    QTest::newRow("-10") << bytesOf({0xF6, 0xFF}) << -1.0;
    QTest::newRow("-19") << bytesOf({0xED, 0xFF}) << -1.0;
    QTest::newRow("-32768") << bytesOf({0x00, 0x80}) << -3276.0;
    QTest::newRow("32767") << bytesOf({0xFF, 0x7F}) << 3276.0;
}

void TestLogDecoder::tenthsBecomeWholeDegrees()
{
    QFETCH(QByteArray, bytes);
    QFETCH(double, degrees);
    const int offsets[] = {4, 6, 8, 12, 14};
    for (int channel = 0; channel < 5; ++channel) {
        const LogRecord record = LogDecoder::decodeRecord(recordWith(offsets[channel], bytes).constData());
        QCOMPARE(record.values[channel], degrees);
        for (int other = 0; other < 5; ++other) {
            if (other != channel)
                QCOMPARE(record.values[other], 0.0);
        }
        QCOMPARE(record.key, 946681200.0);
    }
}

void TestLogDecoder::channelsComeFromTheirOwnOffsets()
{
    // 100, 200, ... tenths in TSA1..TAM, and something loud in the bytes between TW and TSV.
    QByteArray record = LogBuilder::recordBytes({86400, {100, 200, 300, 400, 500}});
    record[10] = char(0x7F);
    record[11] = char(0x7F);
    const LogRecord decoded = LogDecoder::decodeRecord(record.constData());
    QCOMPARE(decoded.key, 946767600.0);
    const double expected[] = {10, 20, 30, 40, 50};
    for (int channel = 0; channel < 5; ++channel)
        QCOMPARE(decoded.values[channel], expected[channel]);
}

void TestLogDecoder::uninterpretedBytesChangeNothing()
{
    const LogBuilder::Record record{123456789, {-235, 1, -32768, 32767, 999}};
    const QVector<LogRecord> quiet = LogDecoder::decodeLogFile(LogBuilder::logBytes({record}, '\0', '\0'));

    QByteArray noisy = LogBuilder::logBytes({record}, char(0xFF), char(0xA5));
    for (int i = 0; i < LogBuilder::kHeaderSize; ++i)
        noisy[i] = char(i * 37);
    const QVector<LogRecord> loud = LogDecoder::decodeLogFile(noisy);

    QCOMPARE(quiet.size(), 1);
    QCOMPARE(loud.size(), 1);
    QCOMPARE(loud[0].key, quiet[0].key);
    QCOMPARE(quiet[0].key, 123456789.0 + 946681200.0);
    const double expected[] = {-23, 0, -3276, 3276, 99};
    for (int channel = 0; channel < 5; ++channel) {
        QCOMPARE(quiet[0].values[channel], expected[channel]);
        QCOMPARE(loud[0].values[channel], expected[channel]);
    }
}

void TestLogDecoder::recordCountDropsPartialRecords_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("records");
    QTest::newRow("empty") << qint64(0) << qint64(0);
    QTest::newRow("inside the header") << qint64(432) << qint64(0);
    QTest::newRow("header only") << qint64(433) << qint64(0);
    QTest::newRow("partial first record") << qint64(433 + 40) << qint64(0);
    QTest::newRow("one record") << qint64(433 + 41) << qint64(1);
    QTest::newRow("two and a bit") << qint64(433 + 82 + 17) << qint64(2);
    QTest::newRow("beyond 32 bits") << qint64(433) + qint64(41) * 200000000 << qint64(200000000);
    QTest::newRow("negative") << qint64(-1) << qint64(0);
}

void TestLogDecoder::recordCountDropsPartialRecords()
{
    QFETCH(qint64, size);
    QFETCH(qint64, records);
    QCOMPARE(LogDecoder::recordCount(size), records);
}

void TestLogDecoder::fileDecodesEveryWholeRecordInOrder()
{
    const QVector<LogBuilder::Record> written = {
        {0, {235, -47, -5, 9, -10}},
        {-946681200, {0, 10, 20, 30, 40}},
        {86400, {-32768, 32767, 1000, -1000, 55}},
    };
    const QVector<LogRecord> read = LogDecoder::decodeLogFile(LogBuilder::logBytes(written));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0].key, 946681200.0);
    QCOMPARE(read[1].key, 0.0);
    QCOMPARE(read[2].key, 946767600.0);
    const double expected[3][5] = {{23, -4, 0, 0, -1}, {0, 1, 2, 3, 4}, {-3276, 3276, 100, -100, 5}};
    for (int i = 0; i < 3; ++i) {
        for (int channel = 0; channel < 5; ++channel)
            QCOMPARE(read[i].values[channel], expected[i][channel]);
    }
}

void TestLogDecoder::shortAndPartialFilesYieldOnlyWholeRecords_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records");
    const QByteArray two = LogBuilder::logBytes({LogBuilder::steppedRecord(1, 100), LogBuilder::steppedRecord(2, 200)});
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("short") << QByteArray(100, 'x') << 0;
    QTest::newRow("header only") << LogBuilder::header() << 0;
    QTest::newRow("header and a partial record") << two.left(433 + 40) << 0;
    QTest::newRow("one whole record and a partial one") << two.left(433 + 41 + 20) << 1;
    QTest::newRow("two records") << two << 2;
    QTest::newRow("two records and a stray byte") << two + QByteArray(1, char(0xFF)) << 2;
}

void TestLogDecoder::shortAndPartialFilesYieldOnlyWholeRecords()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    const QVector<LogRecord> read = LogDecoder::decodeLogFile(bytes);
    QCOMPARE(read.size(), records);
    for (int i = 0; i < read.size(); ++i) {
        QCOMPARE(read[i].key, 946681200.0 + i + 1);
        QCOMPARE(read[i].values[4], 10.0 * (i + 1) + 4);
    }
}

void TestLogDecoder::readsOnlyTheRecordsAskedFor()
{
    // A file that grew after its size was taken: only what was asked for is read.
    QByteArray bytes = recordsBytes(5);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    qint64 count = 0;
    const QVector<LogRecord> read = readAll(buffer, 3, &count);
    QCOMPARE(count, qint64(3));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[2].key, 946681200.0 + 120);
    QCOMPARE(buffer.pos(), qint64(3 * 41));

    QCOMPARE(readAll(buffer, 0).size(), 0);
    QCOMPARE(buffer.pos(), qint64(3 * 41));
}

void TestLogDecoder::readsJoinRecordsSplitAcrossShortReads()
{
    ChoppyDevice device(recordsBytes(10), 7);
    qint64 count = 0;
    const QVector<LogRecord> read = readAll(device, 10, &count);
    QCOMPARE(count, qint64(10));
    QCOMPARE(read.size(), 10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(read[i].key, 946681200.0 + i * 60);
        QCOMPARE(read[i].values[0], double(i));
        QCOMPARE(read[i].values[3], double(i + 3));
    }
}

void TestLogDecoder::readStopsAtAFailedRead()
{
    // Fails inside the fourth record: three whole records stay, the device is not asked forever.
    ChoppyDevice device(recordsBytes(10), 1000, 3 * 41 + 20);
    qint64 count = 0;
    const QVector<LogRecord> read = readAll(device, 10, &count);
    QCOMPARE(count, qint64(3));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[2].key, 946681200.0 + 120);
    QVERIFY(device.reads <= 3);
}

void TestLogDecoder::readStopsAtTheEndDroppingAPartialRecord()
{
    // A file that shrank: fewer bytes than the records asked for, ending inside a record.
    QByteArray bytes = recordsBytes(4).left(4 * 41 - 1);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    qint64 count = 0;
    const QVector<LogRecord> read = readAll(buffer, 10, &count);
    QCOMPARE(count, qint64(3));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read.last().key, 946681200.0 + 120);
}

void TestLogDecoder::readUsesLargeBlocks()
{
    const int records = int(LogDecoder::kBlockRecords) * 2 + 5;
    QCOMPARE(LogDecoder::kBlockRecords * 41 <= (1 << 20), true);
    QVERIFY(LogDecoder::kBlockRecords * 41 > (1 << 20) - 41);
    ChoppyDevice device(recordsBytes(records), std::numeric_limits<qint64>::max());
    qint64 count = 0;
    const QVector<LogRecord> read = readAll(device, records, &count);
    QCOMPARE(count, qint64(records));
    QCOMPARE(read.last().key, 946681200.0 + (records - 1) * 60.0);
    // Three blocks; the device is not asked again once every record is in.
    QCOMPARE(device.reads, 3);
}

QTEST_GUILESS_MAIN(TestLogDecoder)
#include "tst_logdecoder.moc"
