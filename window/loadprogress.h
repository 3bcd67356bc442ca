// SPDX-License-Identifier: GPL-3.0-or-later
// For the window: keeps it answering, and a long load cancellable, while a load runs.
#ifndef LOADPROGRESS_H
#define LOADPROGRESS_H

#include <QElapsedTimer>
#include <QPointer>

#include <functional>

class QProgressDialog;
class QWidget;

// What a user sees of a long load on the GUI thread: between two steps the window's events are
// handled, so it keeps repainting; a load still running after half a second in a window that is
// shown gets the modal "Lade Logdateien..." dialog whose "Abbrechen" calls onCancel. Until the
// dialog is up, input waits, so that nothing else starts meanwhile.
class LoadProgress
{
public:
    LoadProgress(QWidget *window, std::function<void()> onCancel);
    ~LoadProgress();
    LoadProgress(const LoadProgress &) = delete;
    LoadProgress &operator=(const LoadProgress &) = delete;

    // Shows the share of the load done, 0 to 1, and handles the events that came meanwhile.
    void update(double shareDone);

private:
    void showDialog();

    QWidget *mWindow;
    std::function<void()> mOnCancel;
    QElapsedTimer mSince;
    QPointer<QProgressDialog> mDialog;
};

#endif // LOADPROGRESS_H
