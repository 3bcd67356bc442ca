// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/following.h"

#include "chart/chartfollowing.h"
#include "logs/logloader.h"
#include "logs/usersettings.h"
#include "window/statuswords.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QStatusBar>
#include <qcustomplot.h>

#include <algorithm>

namespace {

const QString kSettingKey = QStringLiteral("follow");
// Twice a second, so that a record appears within a second of being written.
const int kLookMilliseconds = 500;
const QString kNewestFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");

} // namespace

Following::Following(QCustomPlot *plot, ChartControls *controls, QStatusBar *statusBar,
                     std::function<qint64()> room, std::function<void(const QStringList &)> reload)
    : QObject(plot)
    , mPlot(plot)
    , mControls(controls)
    , mStatusBar(statusBar)
    , mRoom(std::move(room))
    , mReload(std::move(reload))
    , mAction(new QAction(tr("Logdateien verfolgen"), this))
{
    mAction->setObjectName(QStringLiteral("actionFollow"));
    mAction->setCheckable(true);
    mTimer.setInterval(kLookMilliseconds);
    connect(&mTimer, &QTimer::timeout, this, &Following::look);
    connect(mAction, &QAction::toggled, this, &Following::turn);
    // Only the user's choice is kept; a stop for want of memory is not.
    connect(mAction, &QAction::triggered, this, [](bool on) { UserSettings::setFlag(kSettingKey, on); });
    mAction->setChecked(UserSettings::flag(kSettingKey));
}

void Following::turn(bool on)
{
    if (!on) {
        mTimer.stop();
        delete mLabel;
        return;
    }
    mLabel = new QLabel;
    mLabel->setObjectName(QStringLiteral("followLabel"));
    mStatusBar->addPermanentWidget(mLabel);
    showNewest();
    mTimer.start();
    look();
}

void Following::loadStarts()
{
    mFollower.stop();
    mFiles.clear();
}

void Following::loadEnded(const QStringList &files, const LogLoader &loader)
{
    QVector<qint64> recordsTaken;
    for (int file = 0; file < loader.fileCount(); ++file)
        recordsTaken.append(loader.recordsTaken(file));
    mFiles = files;
    mFollower.start(files, recordsTaken);
    mUnreadableMessage.clear();
    showNewest();
}

void Following::look()
{
    if (!mAction->isChecked())
        return;
    const LogFollower::News news = mFollower.look(mRoom);
    if (news.changedUnderneath) {
        const QStringList files = mFiles;
        loadStarts();
        mReload(files);
        return;
    }
    if (news.tooMany) {
        mAction->setChecked(false);
        mStatusBar->showMessage(StatusWords::tooLarge(news.fileNames));
        return;
    }
    reportUnreadable(news.unreadable);
    if (!news.records.isEmpty()) {
        const double fromKey = std::min_element(news.records.cbegin(), news.records.cend(),
                                                [](const LogDecoder::LogRecord &a, const LogDecoder::LogRecord &b) {
                                                    return a.key < b.key;
                                                })->key;
        ChartFollowing::addRecords(mPlot, mControls, news.records);
        showNewest();
        emit recordsAdded(fromKey);
    }
}

// The word stands while the same files cannot be read, and goes when all can be read again,
// unless another message took its place meanwhile.
void Following::reportUnreadable(const QStringList &names)
{
    const QString message = names.isEmpty() ? QString() : StatusWords::unreadable(names);
    if (message == mUnreadableMessage)
        return;
    if (!message.isEmpty())
        mStatusBar->showMessage(message);
    else if (mStatusBar->currentMessage() == mUnreadableMessage)
        mStatusBar->clearMessage();
    mUnreadableMessage = message;
}

void Following::showNewest()
{
    if (!mLabel)
        return;
    const QSharedPointer<QCPGraphDataContainer> data = mPlot->graph(0)->data();
    if (data->isEmpty()) {
        mLabel->setText(tr("Verfolgt"));
        return;
    }
    const QDateTime newest = QDateTime::fromSecsSinceEpoch(qint64((data->constEnd() - 1)->key));
    mLabel->setText(tr("Verfolgt: ") + newest.toString(kNewestFormat));
}
