// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DAILYVALUESDIALOG_H
#define DAILYVALUESDIALOG_H

#include "chart/dailyvalues.h"

#include <QDialog>

class DailyTableModel;
class QCPFinancial;
class QComboBox;
class QCustomPlot;
class QTableView;
class ViewHistory;

// "Tageswerte": a table and a small chart of one channel's days, every day of the records
// loaded, the days the chart's time range touches in bold and framed; a double-click on a day
// shows it in the chart. Not modal: it follows loads, new records and the chart's time range
// while it is open. "Kopieren" takes the channel's table, "Speichern..." writes every channel's
// days as CSV.
class DailyValuesDialog : public QDialog
{
    Q_OBJECT

public:
    DailyValuesDialog(QCustomPlot *plot, ViewHistory *history, QWidget *parent);

    // Shows it with the selected channel chosen, or "TSA1"; one shown already comes to the front.
    void showOrRaise();
    // A load begins: the days of the points it replaces go at once.
    void loadStarts();
    // A load ended: its days are shown.
    void loadEnded();
    // Records joined the chart's graphs; those with keys at or after fromKey are new or moved.
    void recordsJoined(double fromKey);
    // The channel's days as "Kopieren" puts them on the clipboard: a line naming the channel and
    // the first and the last day, then the header and every row, fields joined by tabs.
    QString copiedText() const;

signals:
    // "Speichern..." wrote fileName, or could not.
    void saved(bool written, const QString &fileName);

private:
    QVector<DailyValues::Channel> channels() const;
    int selectedChannel() const;
    int channel() const;
    void findDays();
    void showChannel();
    void drawBars(int fromDay);
    void fitTemperatures();
    void markTouchedDays();
    void bringTouchedIntoSight();
    void openDay(int day);
    void save();
    void sizeColumns();
    void setupChart();

    QCustomPlot *mPlot;
    ViewHistory *mHistory;
    DailyValues mDays;
    DailyTableModel *mModel;
    QComboBox *mChannel;
    QTableView *mTable;
    QCustomPlot *mChart;
    QCPFinancial *mBars;
    QCPFinancial *mMeans;
    // The chart's points changed while the dialog was hidden: its days are found when it shows.
    bool mStale = true;
};

#endif // DAILYVALUESDIALOG_H
