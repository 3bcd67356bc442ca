// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CSVEXPORT_H
#define CSVEXPORT_H

// The records as a table a spreadsheet opens as it is: "Zeit" and one column per value, fields
// separated by ';', CRLF line ends, UTF-8 without a byte-order mark, times in local time as
// "yyyy-MM-dd HH:mm:ss". Qt Core only, so that it is tested and timed without a window.

#include <QByteArray>
#include <QStringList>

#include <functional>

class QIODevice;

class CsvExport
{
public:
    // Hands over the key (seconds since 1970-01-01 00:00:00 UTC) and the values of the record
    // at index, 0 <= index < the record count given to save.
    using RecordReader = std::function<void(qint64 index, double &key, double *values)>;

    // Writes the header and one row per record, in index order, to fileName. The file is
    // written under a temporary name beside it and takes fileName's place only when complete:
    // on false (not writable, disk full, a folder) whatever was at fileName is as it was.
    static bool save(const QString &fileName, const QStringList &valueNames, qint64 records,
                     const RecordReader &read);

private:
    CsvExport(QIODevice &out, int valueCount);

    bool writeHeader(const QStringList &valueNames);
    void appendRow(double key, const double *values);
    bool flush();
    char *appendTime(char *out, double key);
    void rememberDay(qint64 day);
    int utcOffsetAt(qint64 seconds);

    QIODevice &mOut;
    const int mValueCount;
    QByteArray mBuffer;
    int mUsed = 0;
    bool mWriteFailed = false;
    // The local time's offset from UTC, known to hold for seconds in [mOffsetFrom, mOffsetUntil).
    int mOffset = 0;
    qint64 mOffsetFrom = 0;
    qint64 mOffsetUntil = 0;
    // The local day last written and its "yyyy-MM-dd " text.
    qint64 mDay = 0;
    char mDayText[11] = {};
    bool mHasDay = false;
};

#endif // CSVEXPORT_H
