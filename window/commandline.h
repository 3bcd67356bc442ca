// SPDX-License-Identifier: GPL-3.0-or-later
// For the window: starts it with the files named, or writes its outputs without ever showing it.
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "chart/chartcomparison.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QSize>
#include <QStringList>
#include <qcustomplot.h>

// The program's options: without any, the files named are loaded into the window; with --picture,
// --csv or --days the files are loaded into a window that is never shown, the chart, its records
// and its days are written as the window's save commands write them, and the program ends. Help, the version and
// wrong options end it too. Messages go to standard error in the window's words; a run that
// succeeds prints nothing.
class CommandLine
{
public:
    // Called before the application object exists. A run with any of our options shows no window:
    // it needs no display, so without one (and without a platform chosen) it takes Qt's offscreen
    // platform; it draws at one pixel per point and 96 dpi and keeps Qt's own messages quiet.
    static void prepare(int argc, char *argv[]);

    // Arguments as the application leaves them, its own options taken out.
    explicit CommandLine(const QStringList &arguments);

    // Whether the run is the window with the files named loaded.
    bool opensWindow() const;
    QStringList logFiles() const { return mParser.positionalArguments(); }
    // Everything else: help, version, wrong options or the outputs. Returns the exit status.
    int run();

private:
    bool check();
    bool takeSize();
    bool takeRange();
    bool takeComparison();
    int writeOutputs();
    static QCPRange recordKeys(const QCustomPlot *plot);
    QCPRange timeRange(const QCPRange &whole) const;
    bool fail(const QString &what);
    QString helpText() const;

    QCommandLineParser mParser;
    QCommandLineOption mPicture;
    QCommandLineOption mCsv;
    QCommandLineOption mDays;
    QCommandLineOption mSize;
    QCommandLineOption mFrom;
    QCommandLineOption mTo;
    QCommandLineOption mHide;
    QCommandLineOption mCompare;
    QCommandLineOption mHelp;
    QCommandLineOption mVersion;
    QString mError;
    QSize mPictureSize;
    double mFromKey = 0;
    double mToKey = 0;
    ChartComparison::Period mComparison = ChartComparison::Period::None;
};

#endif // COMMANDLINE_H
