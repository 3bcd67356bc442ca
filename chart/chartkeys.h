// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CHARTKEYS_H
#define CHARTKEYS_H

#include <QObject>

class ChartControls;
class QCPAxis;
class QCustomPlot;
class QKeyEvent;
class ViewHistory;

// Moving through the chart from the keyboard while its window is active: arrows and Page keys
// pan, + and - zoom the time axis about its centre by one wheel notch, Home returns to the home
// view; Alt+Left or Backspace and Alt+Right go back and forward through the views. Keys reach
// the window only when no dialog or menu holds them, and a held key repeats.
class ChartKeys : public QObject
{
    Q_OBJECT

public:
    ChartKeys(QCustomPlot *plot, ChartControls *controls, ViewHistory *history);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool act(const QKeyEvent *key);
    bool moves(const QKeyEvent *key) const;
    void move(const QKeyEvent *key);
    void pan(QCPAxis *axis, double spans);
    void zoomTime(double factor);

    QCustomPlot *mPlot;
    ChartControls *mControls;
    ViewHistory *mHistory;
};

#endif // CHARTKEYS_H
