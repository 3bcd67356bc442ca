// SPDX-License-Identifier: GPL-3.0-or-later
// For the window: keeps its chart up to date with the logs it loaded while a logger writes them.
#ifndef FOLLOWING_H
#define FOLLOWING_H

#include "logs/logfollower.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class ChartControls;
class LogLoader;
class QAction;
class QCustomPlot;
class QLabel;
class QStatusBar;

// "Logdateien verfolgen": while it is checked, the files of the last load are looked at twice a
// second, and the records appended to them join the chart. A file that shrank or was started
// anew has the files loaded again; one that cannot be read keeps its records and is named in the
// status bar until it can be read again. A permanent label in the status bar gives the time of
// the newest record. The choice is kept in the user's settings.
class Following : public QObject
{
    Q_OBJECT

public:
    // room() tells how many records the chart may still take; reload(files) loads the files
    // again as the Open did.
    Following(QCustomPlot *plot, ChartControls *controls, QStatusBar *statusBar, std::function<qint64()> room,
              std::function<void(const QStringList &)> reload);

    QAction *action() const { return mAction; }
    // A load begins: nothing is looked at until it ends.
    void loadStarts();
    // A load ended: its files are followed from the records it took of each.
    void loadEnded(const QStringList &files, const LogLoader &loader);
    // Looks at every file once, as the timer does.
    void look();

signals:
    // Records joined the chart's graphs; those with keys at or after fromKey are new or moved.
    void recordsAdded(double fromKey);

private:
    void turn(bool on);
    void showNewest();
    void reportUnreadable(const QStringList &names);

    QCustomPlot *mPlot;
    ChartControls *mControls;
    QStatusBar *mStatusBar;
    std::function<qint64()> mRoom;
    std::function<void(const QStringList &)> mReload;
    QAction *mAction;
    QPointer<QLabel> mLabel;
    QTimer mTimer;
    LogFollower mFollower;
    QStringList mFiles;
    QString mUnreadableMessage; // the status bar's word on files not readable, while it stands
};

#endif // FOLLOWING_H
