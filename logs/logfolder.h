// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGFOLDER_H
#define LOGFOLDER_H

#include <QString>
#include <QStringList>

// Where the logs are: the folder of the last log file loaded, kept in the user's settings
// (organisation "velkarn", application "oriq") so that the Open dialog starts there, also in
// the next run. Nothing else is stored. A settings file that is missing, unreadable, corrupt or
// not writable only means the dialog starts where it always did; nothing is reported.
namespace LogFolder {

// The folder kept, or empty when none is kept or it no longer is a folder that can be listed.
QString last();

// Keeps the folder of the last of the files that is a regular file, if any is.
void remember(const QStringList &fileNames);

} // namespace LogFolder

#endif // LOGFOLDER_H
