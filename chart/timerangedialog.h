// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TIMERANGEDIALOG_H
#define TIMERANGEDIALOG_H

#include <qcustomplot.h>

#include <QDateTime>
#include <QDialog>

namespace Ui {
class TimeRangeDialog;
}

// "Zeitraum...": the chart's time range typed as two local dates and times, or filled at once
// with the day, week or month of the first, or the whole view.
class TimeRangeDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts with the chart's time range; "Alles" gives whole.
    TimeRangeDialog(const QCPRange &present, const QCPRange &whole, QWidget *parent = nullptr);
    ~TimeRangeDialog() override;

    // Asks, and on "OK" sets the chart's time range and redraws it; true then.
    static bool changeTimeRange(QCustomPlot *plot, const QCPRange &whole, QWidget *parent);

    QCPRange range() const;

private:
    void fill(const QDateTime &from, const QDateTime &to);
    void fillDays(const QDate &first, int days);
    void check();

    Ui::TimeRangeDialog *ui;
};

#endif // TIMERANGEDIALOG_H
