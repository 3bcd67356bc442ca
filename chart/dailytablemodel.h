// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DAILYTABLEMODEL_H
#define DAILYTABLEMODEL_H

#include <QAbstractTableModel>
#include <QStringList>

class DailyValues;

// One channel's days as table rows: "Tag", "Min", "Zeit Min", "Max", "Zeit Max", "Mittel",
// "Datensätze", written as "Statistik..." writes them. A row's texts are made only when the view
// asks for it, so that decades of days open as fast as a season. The days the chart's time range
// touches are bold.
class DailyTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DailyTableModel(const DailyValues &days, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QStringList header();
    // The cells of a day's row, widest first: for sizing the columns without making every row.
    static QStringList widestRow();
    QStringList rowTexts(int day) const;

    // The days were found anew.
    void showDays();
    void showChannel(int channel);
    // The days from `from` on changed, and new ones may have joined at the end.
    void daysChanged(int from);
    // The days [first, last] are bold; none when last < first.
    void setTouched(int first, int last);
    int firstTouched() const { return mTouchedFirst; }

private:
    const DailyValues &mDays;
    int mChannel = 0;
    // The rows the views know of; the days may be ahead of them until they are told.
    int mRows = 0;
    int mTouchedFirst = 0;
    int mTouchedLast = -1;
    // Views ask for one row's cells role by role and column by column: its texts are kept.
    mutable int mCachedDay = -1;
    mutable QStringList mCachedTexts;
};

#endif // DAILYTABLEMODEL_H
