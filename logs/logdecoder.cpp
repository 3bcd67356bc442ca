// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/logdecoder.h"

namespace LogDecoder {

QVector<LogRecord> decodeLogFile(const QByteArray &fileBytes)
{
    QVector<LogRecord> records;
    const qint64 count = recordCount(fileBytes.size());
    if (count == 0)
        return records;
    records.reserve(int(count));
    decodeRecords(fileBytes.constData() + kHeaderSize, count * kRecordSize,
                  [&records](const LogRecord &record) { records.append(record); });
    return records;
}

} // namespace LogDecoder
