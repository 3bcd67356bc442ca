// libFuzzer target for the log decoder. The input is a whole log file. It is decoded from memory
// and again through a device that hands out its bytes in uneven pieces and may fail part way,
// as a file on a slow or failing medium does; both must agree with a byte-by-byte reference
// decoding, and the device path must hand over exactly the records before the failure.
#include "logbuilder.h"
#include "logdecoder.h"

#include <QIODevice>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The reference decoding below takes the layout from the test's log builder, not the decoder.
using LogBuilder::kEpochOffset;
using LogBuilder::kHeaderSize;
using LogBuilder::kRecordSize;

// Header bytes are never decoded, so they steer the device: byte 0 says whether it fails,
// bytes 1-2 where, byte 3 whether the reader is given fewer records than the file holds, and
// bytes 8-39 are the sizes of the pieces that successive reads return.
constexpr int kFailFlag = 0;
constexpr int kFailOffset = 1;
constexpr int kLimitFlag = 3;
constexpr int kPieceSizes = 8;
constexpr int kPieceSizeCount = 32;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

qint32 referenceInt32(const uint8_t *at)
{
    return qint32(uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24);
}

double referenceValue(const uint8_t *at)
{
    const int tenths = int16_t(uint16_t(at[0] | at[1] << 8));
    return double(int16_t(tenths / 10));
}

bool matchesReference(const LogDecoder::LogRecord &record, const uint8_t *bytes)
{
    static const int offsets[LogDecoder::kChannelCount] = {4, 6, 8, 12, 14};
    if (record.key != double(referenceInt32(bytes)) + double(kEpochOffset))
        return false;
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        if (record.values[channel] != referenceValue(bytes + offsets[channel]))
            return false;
    }
    return true;
}

// Serves the records part of a file in pieces of steered sizes; fails for good after failAt bytes.
class PieceDevice : public QIODevice
{
public:
    PieceDevice(const uint8_t *bytes, qint64 size, const uint8_t *pieceSizes, qint64 failAt)
        : mBytes(bytes), mSize(size), mPieceSizes(pieceSizes), mFailAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (mServed >= mFailAt)
            return -1;
        const qint64 piece = 1 + mPieceSizes[mPiece++ % kPieceSizeCount] * 3;
        const qint64 count = qMin(qMin(maxSize, piece), qMin(mSize, mFailAt) - mServed);
        std::memcpy(data, mBytes + mServed, size_t(count));
        mServed += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const uint8_t *mBytes;
    qint64 mSize;
    const uint8_t *mPieceSizes;
    qint64 mFailAt;
    qint64 mServed = 0;
    qint64 mPiece = 0;
};

void checkWholeFileDecoding(const uint8_t *data, size_t size)
{
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QVector<LogDecoder::LogRecord> records = LogDecoder::decodeLogFile(file);
    const qint64 whole = size > kHeaderSize ? qint64(size - kHeaderSize) / kRecordSize : 0;
    require(records.size() == whole);
    for (int i = 0; i < records.size(); ++i)
        require(matchesReference(records.at(i), data + kHeaderSize + kRecordSize * i));
}

void checkPiecewiseReading(const uint8_t *data, size_t size)
{
    const qint64 records = qint64(size - kHeaderSize);
    const qint64 whole = records / kRecordSize;
    const qint64 failAt = data[kFailFlag] & 1 ? qint64(data[kFailOffset] | data[kFailOffset + 1] << 8)
                                               : std::numeric_limits<qint64>::max();
    const qint64 limit = data[kLimitFlag] & 1 ? whole / 2 : whole;
    PieceDevice device(data + kHeaderSize, records, data + kPieceSizes, failAt);

    qint64 handed = 0;
    const qint64 read = LogDecoder::readRecords(device, limit, [&](const LogDecoder::LogRecord &record) {
        require(handed < limit);
        require(matchesReference(record, data + kHeaderSize + kRecordSize * handed));
        ++handed;
    });
    require(read == handed);
    // Every record wholly before the failure is read, and nothing after it.
    const qint64 reachable = qMin(limit, qMin(failAt, records) / kRecordSize);
    require(read == reachable);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkWholeFileDecoding(data, size);
    if (size > size_t(kHeaderSize))
        checkPiecewiseReading(data, size);
    return 0;
}
