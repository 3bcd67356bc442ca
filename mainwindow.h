// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "graph/minmaxsummary.h"
#include "logs/logloader.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>

class ChartControls;
class ChartMarkers;
class ChartReadout;
class DailyValuesDialog;
class Following;
class LoadProgress;
class OverviewStrip;
class QCustomPlot;
class QMenu;
class ViewHistory;

namespace Ui {
class MainWindow;
}

extern const QString appVersion;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Replaces the chart's data with every record of the given files, read in list order, fits
    // the axes and tells in the status bar which files could not be read (wholly or in part);
    // returns those words, empty when every file was read to its end. A load that takes long
    // shows its progress and can be cancelled; while it runs, a second call is refused.
    QString loadLogFiles(const QStringList &fileNames);
    // Most records one load keeps per graph; the rest of a file beyond it counts as not read.
    void setRecordLimit(qint64 records);
    // Called after each block read from a log file, before the next read; lets tests change a
    // file while it is being read.
    void setBlockReadHook(std::function<void()> hook);
    // Called after each step that follows reading: ordering the records read where files overlap
    // in time, giving back memory.
    void setOrderStepHook(std::function<void()> hook);
    // Bytes a load may take; a load that needs more is refused before it takes any. Negative:
    // the memory the machine can still give, learnt at each load.
    void setMemoryBudget(qint64 bytes);
    // Whether a load readies the chart for drawing and draws it: off for a window that is never
    // shown and whose chart is only read, not drawn.
    void setDrawnAfterLoad(bool drawn);

protected:
    // Local files dropped onto the window load as if chosen in the Open dialog.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void setupDateDemo(QCustomPlot *customPlot);
    void open();

private:
    // Each channel's summary built while its points are shown, and over how many points.
    struct ShownSummaries {
        std::array<MinMaxSummary, LogDecoder::kChannelCount> channels;
        std::array<qint64, LogDecoder::kChannelCount> counts = {};
        // Whether the points written since the last round held a NaN, told by the threads that
        // wrote them.
        std::array<std::atomic<bool>, LogDecoder::kChannelCount> gaps = {};
    };

    static LogLoader::WhileShowing summarisingInto(ShownSummaries &summaries);
    QString readLogFiles(LogLoader &loader, LoadProgress &progress);
    void readLogFile(int file, LogLoader &loader, LoadProgress &progress) const;
    void showPoints(LogLoader &loader, LoadProgress &progress, ShownSummaries &summaries);
    void setupChartReading();
    void setupFollowing(QMenu *chartMenu);
    qint64 recordsToAdd() const;
    void setupViewFinding();
    void chartReloaded();
    DailyValuesDialog *dailyValues();
    void saveImage();
    void exportData();
    QString askSaveName(const QStringList &nameFilters, const QStringList &suffixes);
    void reportIfNotSaved(bool saved, const QString &fileName);

    Ui::MainWindow *ui;
    double mStartTime;
    double mEndTime;
    qint64 mRecordLimit;
    std::function<void()> mBlockReadHook;
    std::function<void()> mOrderStepHook;
    ChartControls *mChartControls;
    ViewHistory *mHistory;
    OverviewStrip *mOverview;
    ChartReadout *mReadout;
    ChartMarkers *mMarkers;
    Following *mFollowing;
    QAction *mDailyValuesAction;
    DailyValuesDialog *mDailyValues = nullptr;
    qint64 mMemoryBudget;
    bool mLoading = false;
    bool mDrawnAfterLoad = true;
};

#endif // MAINWINDOW_H
