// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/csvexport.h"

#include <QDateTime>
#include <QSaveFile>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace {

const char kTimeHeader[] = "Zeit";
const char kSeparator = ';';
const char kLineEnd[] = "\r\n";
// Rows gather in a buffer of this size before they are written.
const int kBufferBytes = 1 << 20;
// Room one row may take: a time, and per value a separator and the digits of a 64-bit number.
const int kRowBytesPerValue = 1 + 20;
const int kRowBytesBase = 19 + 2;

const qint64 kSecondsPerDay = 86400;
// Local time's offset from UTC changes at most once within this span (daylight saving time
// changes are months apart), so equal offsets at both ends mean one offset throughout.
const qint64 kOffsetProbeSeconds = kSecondsPerDay;
// Times this program writes as four-digit years: 0001-01-02 to 9999-12-30 UTC, a day inside
// the years 1 to 9999 whatever the offset.
const double kFirstKey = -62135596800.0 + kSecondsPerDay;
const double kLastKey = 253402300799.0 - kSecondsPerDay;
// Values beyond this many digits are no temperatures; their field stays empty.
const double kLargestValue = 1e15;

char *writeDigits(char *out, qint64 number, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + number % 10);
        number /= 10;
    }
    return out + width;
}

char *writeInteger(char *out, qint64 number)
{
    if (number < 0) {
        *out++ = '-';
        number = -number;
    }
    int width = 1;
    for (qint64 rest = number / 10; rest > 0; rest /= 10)
        ++width;
    return writeDigits(out, number, width);
}

// The offset the chart's date axis uses: local time as QDateTime sees it.
int localOffsetAt(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).offsetFromUtc();
}

// Year, month and day of a day counted from 1970-01-01, in the proleptic Gregorian calendar
// (the days-to-civil conversion over 400-year eras).
void civilDate(qint64 day, qint64 &year, int &month, int &dayOfMonth)
{
    const qint64 shifted = day + 719468; // days since 0000-03-01
    const qint64 era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const qint64 dayOfEra = shifted - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthFromMarch = (5 * dayOfYear + 2) / 153;
    dayOfMonth = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = int(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

bool CsvExport::save(const QString &fileName, const QStringList &valueNames, qint64 records,
                     const RecordReader &read)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    CsvExport csv(file, valueNames.size());
    if (!csv.writeHeader(valueNames))
        return false;
    QVarLengthArray<double, 8> values(valueNames.size());
    for (qint64 index = 0; index < records && !csv.mWriteFailed; ++index) {
        double key = 0;
        read(index, key, values.data());
        csv.appendRow(key, values.constData());
    }
    // Not committed, the temporary file goes and the target stays as it was.
    return csv.flush() && file.commit();
}

CsvExport::CsvExport(QIODevice &out, int valueCount)
    : mOut(out)
    , mValueCount(valueCount)
    , mBuffer(kBufferBytes + kRowBytesBase + valueCount * kRowBytesPerValue, Qt::Uninitialized)
{
}

bool CsvExport::writeHeader(const QStringList &valueNames)
{
    QByteArray header(kTimeHeader);
    for (const QString &name : valueNames)
        header += kSeparator + name.toUtf8();
    header += kLineEnd;
    return mOut.write(header) == header.size();
}

void CsvExport::appendRow(double key, const double *values)
{
    if (mUsed >= kBufferBytes && !flush())
        return;
    char *out = mBuffer.data() + mUsed;
    out = appendTime(out, key);
    for (int i = 0; i < mValueCount; ++i) {
        *out++ = kSeparator;
        // The chart holds whole degrees; anything else is cut toward zero.
        if (std::isfinite(values[i]) && std::abs(values[i]) < kLargestValue)
            out = writeInteger(out, qint64(values[i]));
    }
    *out++ = kLineEnd[0];
    *out++ = kLineEnd[1];
    mUsed = int(out - mBuffer.constData());
}

bool CsvExport::flush()
{
    if (!mWriteFailed && mUsed > 0)
        mWriteFailed = mOut.write(mBuffer.constData(), mUsed) != mUsed;
    mUsed = 0;
    return !mWriteFailed;
}

// "yyyy-MM-dd HH:mm:ss" in local time; an empty field for a key no calendar date fits.
char *CsvExport::appendTime(char *out, double key)
{
    if (!(key >= kFirstKey && key <= kLastKey))
        return out;
    const qint64 utc = qint64(std::floor(key));
    const qint64 local = utc + utcOffsetAt(utc);
    qint64 day = local / kSecondsPerDay;
    qint64 second = local % kSecondsPerDay;
    if (second < 0) {
        second += kSecondsPerDay;
        --day;
    }
    if (!mHasDay || day != mDay)
        rememberDay(day);
    std::copy(mDayText, mDayText + sizeof mDayText, out);
    out += sizeof mDayText;
    out = writeDigits(out, second / 3600, 2);
    *out++ = ':';
    out = writeDigits(out, second / 60 % 60, 2);
    *out++ = ':';
    return writeDigits(out, second % 60, 2);
}

void CsvExport::rememberDay(qint64 day)
{
    qint64 year = 0;
    int month = 0;
    int dayOfMonth = 0;
    civilDate(day, year, month, dayOfMonth);
    char *out = writeDigits(mDayText, year, 4);
    *out++ = '-';
    out = writeDigits(out, month, 2);
    *out++ = '-';
    out = writeDigits(out, dayOfMonth, 2);
    *out = ' ';
    mDay = day;
    mHasDay = true;
}

// Asks for the offset once per stretch in which it holds: at a stretch's start and a day later;
// where the two differ, the change between them is found by halving.
int CsvExport::utcOffsetAt(qint64 seconds)
{
    if (seconds >= mOffsetFrom && seconds < mOffsetUntil)
        return mOffset;
    mOffset = localOffsetAt(seconds);
    mOffsetFrom = seconds;
    qint64 same = seconds;
    qint64 other = seconds + kOffsetProbeSeconds;
    if (localOffsetAt(other) == mOffset) {
        mOffsetUntil = other + 1;
        return mOffset;
    }
    while (other - same > 1) {
        const qint64 middle = same + (other - same) / 2;
        if (localOffsetAt(middle) == mOffset)
            same = middle;
        else
            other = middle;
    }
    mOffsetUntil = other;
    return mOffset;
}
