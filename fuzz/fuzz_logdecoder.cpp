// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the log decoder. The input is a whole log file. It is decoded from memory
// and again through a device that hands out its bytes in uneven pieces and may fail part way,
// as a file on a slow or failing medium does; both must agree with a byte-by-byte reference
// decoding, and the device path must hand over exactly the records before the failure.
#include "logs/logdecoder.h"
#include "logreference.h"

#include <QByteArray>
#include <QIODevice>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The expected records come from the tests' reference decoding, not from the decoder.
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

bool matchesReference(const LogDecoder::LogRecord &record, const char *bytes)
{
    const LogReference::Point expected = LogReference::pointAt(bytes);
    if (record.key != expected.key)
        return false;
    for (int channel = 0; channel < LogDecoder::kChannelCount; ++channel) {
        if (record.values[channel] != expected.values[size_t(channel)])
            return false;
    }
    return true;
}

// Serves the records part of a file in pieces of steered sizes; fails for good after failAt bytes.
class PieceDevice : public QIODevice
{
public:
    PieceDevice(const QByteArray &file, qint64 failAt) : mFile(file), mFailAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 end = qMin(qint64(mFile.size()), mFailAt);
        if (mServed >= mFailAt)
            return -1;
        const qint64 piece = 1 + 3 * uchar(mFile.at(kPieceSizes + mPiece++ % kPieceSizeCount));
        const qint64 count = qMin(qMin(maxSize, piece), end - mServed);
        std::memcpy(data, mFile.constData() + mServed, size_t(count));
        mServed += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray &mFile;
    qint64 mFailAt;
    qint64 mServed = kHeaderSize;
    qint64 mPiece = 0;
};

void checkWholeFileDecoding(const QByteArray &file)
{
    const QVector<LogDecoder::LogRecord> records = LogDecoder::decodeLogFile(file);
    const int whole = file.size() > kHeaderSize ? (file.size() - kHeaderSize) / kRecordSize : 0;
    require(records.size() == whole);
    for (int i = 0; i < records.size(); ++i)
        require(matchesReference(records.at(i), file.constData() + kHeaderSize + kRecordSize * i));
}

void checkPiecewiseReading(const QByteArray &file)
{
    const qint64 whole = (file.size() - kHeaderSize) / kRecordSize;
    const qint64 failAt = file.at(kFailFlag) & 1
                              ? kHeaderSize + (uchar(file.at(kFailOffset)) | uchar(file.at(kFailOffset + 1)) << 8)
                              : std::numeric_limits<qint64>::max();
    const qint64 limit = file.at(kLimitFlag) & 1 ? whole / 2 : whole;
    PieceDevice device(file, failAt);

    qint64 handed = 0;
    const qint64 read = LogDecoder::readRecords(device, limit, [&](const LogDecoder::LogRecord &record) {
        require(handed < limit);
        require(matchesReference(record, file.constData() + kHeaderSize + kRecordSize * handed));
        ++handed;
    });
    require(read == handed);
    // Every record wholly before the failure is read, and nothing after it.
    const qint64 reachable = (qMin(failAt, qint64(file.size())) - kHeaderSize) / kRecordSize;
    require(read == qMin(limit, reachable));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(std::numeric_limits<int>::max()))
        return 0;
    const QByteArray file = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    checkWholeFileDecoding(file);
    if (file.size() > kHeaderSize)
        checkPiecewiseReading(file);
    return 0;
}
