// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STATISTICSDIALOG_H
#define STATISTICSDIALOG_H

#include <QDialog>

class QCustomPlot;
class QLabel;
class QTableWidget;

// "Statistik": the records whose times lie in the chart's time range, ends included (those
// "Daten exportieren..." writes), in a line naming the first, the last and their count, and a
// table of each channel's lowest and highest whole degrees, the time each first occurs, and the
// mean; hidden channels too. "Kopieren" puts both on the clipboard as tab-separated lines.
class StatisticsDialog : public QDialog
{
    Q_OBJECT

public:
    // Filled at once from the chart as it stands; its graphs hold one point per record, each at
    // the same index.
    explicit StatisticsDialog(const QCustomPlot *plot, QWidget *parent = nullptr);

private:
    // The line, then the table from its header row on: fields joined by tabs, lines ended by
    // line feeds.
    QString copiedText() const;
    void fill(const QCustomPlot *plot);

    QLabel *mLabel;
    QTableWidget *mTable;
};

#endif // STATISTICSDIALOG_H
