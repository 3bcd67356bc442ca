// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/dailyvalues.h"

#include "chart/chartreading.h"
#include "graph/envelopegraph.h"

#include <QDateTime>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

const char kSeparator = ';';
const char kLineEnd[] = "\r\n";
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// The first second of a local day; where the clock skips midnight, the day starts an hour later.
double localMidnight(const QDate &date)
{
    QDateTime midnight(date, QTime(0, 0));
    if (!midnight.isValid())
        midnight = QDateTime(date, QTime(1, 0));
    return double(midnight.toSecsSinceEpoch());
}

QDate localDate(double key)
{
    return QDateTime::fromSecsSinceEpoch(qint64(std::floor(key))).date();
}

// The first of points[from, last) whose key is at or after key, searched from `from` in growing
// steps: a day's records are near the day before's.
int firstAtOrAfter(const QCPGraphData *points, int from, int last, double key)
{
    int below = from;
    int step = 1;
    while (below + step < last && points[below + step].key < key) {
        below += step;
        step *= 2;
    }
    const QCPGraphData *end = points + qMin(last, below + step + 1);
    return int(std::lower_bound(points + below, end, key,
                                [](const QCPGraphData &point, double bound) { return point.key < bound; })
               - points);
}

QByteArray degreesField(double value)
{
    return QByteArray::number(value, 'f', 0);
}

} // namespace

QVector<DailyValues::Channel> DailyValues::channelsOf(const QCustomPlot *plot)
{
    QVector<Channel> channels;
    for (int graph = 0; graph < plot->graphCount(); ++graph) {
        const auto *envelope = qobject_cast<const EnvelopeGraph *>(plot->graph(graph));
        if (envelope == nullptr || envelope->dataCount() == 0)
            return {};
        channels.append({&*envelope->data()->constBegin(), &envelope->upToDateSummary()});
    }
    return channels;
}

DailyValues::DailyValues(const QVector<Channel> &channels, int first, int last)
    : mChannels(channels)
{
    if (channels.isEmpty() || first >= last) {
        mStarts = {first};
        return;
    }
    const QCPGraphData *keys = channels.first().points;
    mFirstDate = localDate(keys[first].key);
    mStarts = {first};
    findStarts(0, daysFromFirst(keys[last - 1].key) + 1, last);
}

int DailyValues::recordsJoined(const QVector<Channel> &channels, int last, double fromKey)
{
    const int first = mStarts.front();
    const int day = dayCount() > 0 ? daysFromFirst(fromKey) : -1;
    if (day < 0) {
        *this = DailyValues(channels, first, last);
        return 0;
    }
    mChannels = channels;
    const int changed = qMin(day, dayCount() - 1);
    const double lastKey = channels.first().points[last - 1].key;
    mStarts.resize(size_t(changed) + 1);
    findStarts(changed, qMax(changed + 1, daysFromFirst(lastKey) + 1), last);
    return changed;
}

// Finds where the days from fromDay + 1 on start, up to dayCount days in all; mStarts holds the
// starts up to fromDay.
void DailyValues::findStarts(int fromDay, int dayCount, int last)
{
    const QCPGraphData *keys = mChannels.first().points;
    mStarts.reserve(size_t(dayCount) + 1);
    for (int day = fromDay + 1; day < dayCount; ++day)
        mStarts.push_back(firstAtOrAfter(keys, mStarts.back(), last, start(day)));
    mStarts.push_back(last);
}

double DailyValues::start(int day) const
{
    return localMidnight(date(day));
}

DailyValues::Values DailyValues::values(int day, int channel) const
{
    const Channel &series = mChannels[channel];
    const int first = firstRecord(day);
    const int last = first + records(day);
    const QCPRange range = series.summary->valueRange(series.points, first, last);
    Values values;
    values.low = range.lower;
    values.high = range.upper;
    values.lowKey = series.points[series.summary->firstReaching(series.points, first, last, range.lower,
                                                               MinMaxSummary::End::Lowest)]
                        .key;
    values.highKey = series.points[series.summary->firstReaching(series.points, first, last, range.upper,
                                                                MinMaxSummary::End::Highest)]
                         .key;
    values.sum = series.summary->valueSum(series.points, first, last);
    return values;
}

// Any key an axis may hold, however far off, NaN too.
int DailyValues::dayOf(double key) const
{
    if (!(key >= start(0)))
        return -1;
    if (key >= start(dayCount()))
        return dayCount();
    return daysFromFirst(key);
}

// A record's key, which a calendar date always fits.
int DailyValues::daysFromFirst(double key) const
{
    return int(mFirstDate.daysTo(localDate(key)));
}

bool DailyValues::saveCsv(const QString &fileName, const QStringList &channelNames) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "Tag";
    for (const QString &name : channelNames) {
        for (const char *column : {" Min", " Max", " Mittel"})
            text += kSeparator + name.toUtf8() + column;
    }
    text += QByteArray(1, kSeparator) + "Datensätze" + kLineEnd;
    for (int day = 0; day < dayCount(); ++day) {
        text += date(day).toString(kDateFormat).toLatin1();
        const int count = records(day);
        for (int channel = 0; channel < channelNames.size(); ++channel) {
            if (count == 0) {
                text += QByteArray(3, kSeparator);
                continue;
            }
            const Values found = values(day, channel);
            text += kSeparator + degreesField(found.low) + kSeparator + degreesField(found.high) + kSeparator
                    + ChartReading::meanNumber(found.sum, count).toLatin1();
        }
        text += kSeparator + QByteArray::number(count) + kLineEnd;
    }
    return file.write(text) == text.size() && file.commit();
}
