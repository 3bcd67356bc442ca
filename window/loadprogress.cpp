// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/loadprogress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace {

const qint64 kDialogAfterMs = 500;
const int kSteps = 1000;

} // namespace

LoadProgress::LoadProgress(QWidget *window, std::function<void()> onCancel)
    : mWindow(window)
    , mOnCancel(std::move(onCancel))
{
    mSince.start();
}

LoadProgress::~LoadProgress()
{
    delete mDialog;
}

void LoadProgress::update(double shareDone)
{
    if (!mDialog && mWindow->isVisible() && mSince.elapsed() >= kDialogAfterMs)
        showDialog();
    if (mDialog)
        mDialog->setValue(qBound(0, int(shareDone * kSteps), kSteps));
    QCoreApplication::processEvents(mDialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

void LoadProgress::showDialog()
{
    const QString title = QCoreApplication::translate("MainWindow", "Lade Logdateien...");
    mDialog = new QProgressDialog(title, QCoreApplication::translate("MainWindow", "Abbrechen"), 0, kSteps, mWindow);
    mDialog->setObjectName(QStringLiteral("loadProgress"));
    mDialog->setWindowTitle(title);
    mDialog->setWindowModality(Qt::ApplicationModal);
    // Shown now, and kept up until the load ends: it goes with this object.
    mDialog->setMinimumDuration(0);
    mDialog->setAutoReset(false);
    mDialog->setAutoClose(false);
    QObject::connect(mDialog.data(), &QProgressDialog::canceled, mOnCancel);
    mDialog->show();
}
