// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef VIEWHISTORY_H
#define VIEWHISTORY_H

#include <qcustomplot.h>

#include <QObject>
#include <QTimer>
#include <QVector>

// Back and forward through the views the user settled on, as a browser goes through pages. A view
// is the pair of the time and temperature axes' ranges. Gestures end in settle(): a drag at the
// button's release, a key at its release, a run of wheel notches half a second after its last;
// every gesture's start settles what an earlier one left pending, so nothing is lost between.
class ViewHistory : public QObject
{
    Q_OBJECT

public:
    explicit ViewHistory(QCustomPlot *plot);

    bool canGoBack() const { return mCurrent > 0; }
    bool canGoForward() const { return mCurrent < mViews.size() - 1; }

public slots:
    // Keeps the chart's present view as the newest, dropping those ahead of the current one,
    // unless it is the current one already.
    void settle();
    // Settles once no further call has come for the run's pause; a wheel notch calls it before
    // its change.
    void settleLater();
    void back();
    void forward();
    // A new history whose first view is the chart's present one: after a load.
    void restart();

signals:
    void changed();

private:
    struct View {
        QCPRange keys;
        QCPRange values;
        bool operator==(const View &other) const { return keys == other.keys && values == other.values; }
    };

    View present() const;
    void show(int index);

    QCustomPlot *mPlot;
    QVector<View> mViews;
    int mCurrent = 0;
    QTimer mRunEnd;
};

#endif // VIEWHISTORY_H
