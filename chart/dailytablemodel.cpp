// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/dailytablemodel.h"

#include "chart/chartreading.h"
#include "chart/dailyvalues.h"

#include <QDateTime>
#include <QFont>

namespace {

const QString kDateFormat = QStringLiteral("dd.MM.yyyy");
const QString kTimeFormat = QStringLiteral("hh:mm:ss");
// Whatever the machine's language.
const char *const kWeekdays[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
const int kDayColumn = 0;
const int kValueCells = 5;

QString timeText(double key)
{
    return QDateTime::fromSecsSinceEpoch(qint64(key)).toString(kTimeFormat);
}

} // namespace

DailyTableModel::DailyTableModel(const DailyValues &days, QObject *parent)
    : QAbstractTableModel(parent)
    , mDays(days)
{
}

int DailyTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : mRows;
}

int DailyTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : header().size();
}

QVariant DailyTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= mRows)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return rowTexts(index.row()).value(index.column());
    case Qt::TextAlignmentRole:
        return index.column() == kDayColumn ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                            : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        if (index.row() >= mTouchedFirst && index.row() <= mTouchedLast) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant DailyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return header().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QStringList DailyTableModel::header()
{
    return {tr("Tag"), tr("Min"), tr("Zeit Min"), tr("Max"), tr("Zeit Max"), tr("Mittel"), tr("Datensätze")};
}

QStringList DailyTableModel::widestRow()
{
    const QString degrees = ChartReading::degreesText(QStringLiteral("-3276"));
    const QString time = QStringLiteral("00:00:00");
    return {QStringLiteral("Mo 00.00.0000"), degrees, time, degrees, time,
            ChartReading::degreesText(QStringLiteral("-3276,0")), QStringLiteral("0000000")};
}

QStringList DailyTableModel::rowTexts(int day) const
{
    if (day == mCachedDay)
        return mCachedTexts;
    const QDate date = mDays.date(day);
    QStringList texts{QLatin1String(kWeekdays[date.dayOfWeek() - 1]) + QLatin1Char(' ') + date.toString(kDateFormat)};
    const int count = mDays.records(day);
    if (count == 0) {
        for (int cell = 0; cell < kValueCells; ++cell)
            texts.append(ChartReading::kNoValue);
    } else {
        const DailyValues::Values values = mDays.values(day, mChannel);
        texts << ChartReading::degreesText(values.low) << timeText(values.lowKey)
              << ChartReading::degreesText(values.high) << timeText(values.highKey)
              << ChartReading::degreesText(ChartReading::meanNumber(values.sum, count));
    }
    texts.append(QString::number(count));
    mCachedDay = day;
    mCachedTexts = texts;
    return texts;
}

void DailyTableModel::showDays()
{
    beginResetModel();
    mCachedDay = -1;
    mRows = mDays.dayCount();
    endResetModel();
}

void DailyTableModel::showChannel(int channel)
{
    mChannel = channel;
    mCachedDay = -1;
    if (mRows > 0)
        emit dataChanged(index(0, 0), index(mRows - 1, columnCount() - 1));
}

void DailyTableModel::daysChanged(int from)
{
    mCachedDay = -1;
    const int before = mRows;
    if (mDays.dayCount() > before) {
        beginInsertRows(QModelIndex(), before, mDays.dayCount() - 1);
        mRows = mDays.dayCount();
        endInsertRows();
    }
    if (from < before)
        emit dataChanged(index(from, 0), index(before - 1, columnCount() - 1));
}

void DailyTableModel::setTouched(int first, int last)
{
    if (first == mTouchedFirst && last == mTouchedLast)
        return;
    const int changedFirst = qMax(0, qMin(first, mTouchedFirst));
    const int changedLast = qMin(rowCount() - 1, qMax(last, mTouchedLast));
    mTouchedFirst = first;
    mTouchedLast = last;
    if (changedFirst <= changedLast)
        emit dataChanged(index(changedFirst, 0), index(changedLast, columnCount() - 1), {Qt::FontRole});
}
