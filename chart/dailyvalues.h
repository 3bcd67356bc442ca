// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DAILYVALUES_H
#define DAILYVALUES_H

#include "graph/minmaxsummary.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <qcustomplot.h>

#include <vector>

// Each local calendar day's lowest, highest and mean value of every channel, from the day of the
// first record to the day of the last, days without records included. A day runs from midnight
// to midnight in the machine's time zone; a record at midnight belongs to the day it starts.
// Only where each day's records begin is kept, an index a day: a day's values are found from
// the channels' summaries when they are asked for, in a few dozen steps. No widgets: the window,
// the command line and tests call it on points alone.
class DailyValues
{
public:
    // One channel's points and their summary. Every channel holds one point per record, each at
    // the same index, ordered by key.
    struct Channel {
        const QCPGraphData *points = nullptr;
        const MinMaxSummary *summary = nullptr;
    };
    // One channel's values on a day with records: the keys are those of the first records that
    // reach the lowest and the highest value.
    struct Values {
        double low = 0;
        double high = 0;
        double lowKey = 0;
        double highKey = 0;
        double sum = 0;
    };

    // The chart's graphs as channels, each with the summary it keeps; none where a graph keeps
    // none, and so no days.
    static QVector<Channel> channelsOf(const QCustomPlot *plot);

    DailyValues() = default;
    // The days of the records [first, last).
    DailyValues(const QVector<Channel> &channels, int first, int last);
    // Records joined: the channels now hold the records [first, last), and those with keys at or
    // after fromKey are new or have moved. Returns the first day whose records may have changed;
    // the days before it stay as they were.
    int recordsJoined(const QVector<Channel> &channels, int last, double fromKey);

    int dayCount() const { return int(mStarts.size()) - 1; }
    QDate date(int day) const { return mFirstDate.addDays(day); }
    // The key of the day's first second; start(day + 1) is where it ends.
    double start(int day) const;
    int firstRecord(int day) const { return mStarts[size_t(day)]; }
    int records(int day) const { return mStarts[size_t(day) + 1] - mStarts[size_t(day)]; }
    // Of a day with records.
    Values values(int day, int channel) const;
    // The day a key lies in, counted from the first day: -1 for keys before the first day,
    // dayCount() for those after the last. Days must have been found.
    int dayOf(double key) const;

    // All channels' days as CSV a German spreadsheet opens as it is, written under a temporary
    // name beside fileName that takes its place only when complete: false when it could not be
    // written, whatever was at fileName then is as it was.
    bool saveCsv(const QString &fileName, const QStringList &channelNames) const;

private:
    int daysFromFirst(double key) const;
    void findStarts(int fromDay, int dayCount, int last);

    QVector<Channel> mChannels;
    QDate mFirstDate;
    // Each day's first record, then the end of the records.
    std::vector<int> mStarts;
};

#endif // DAILYVALUES_H
