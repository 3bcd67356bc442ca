// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef USERSETTINGS_H
#define USERSETTINGS_H

#include <QSettings>
#include <QString>

// The user's settings file (organisation "velkarn", application "oriq"): the Open folder and the
// window's switches that last from one run to the next. A file that is missing, unreadable,
// corrupt or not writable reads as nothing kept; nothing is reported.
namespace UserSettings {

QSettings file();

// A switch kept as true or false; anything else, or nothing, reads as off.
bool flag(const QString &key);
void setFlag(const QString &key, bool on);

} // namespace UserSettings

#endif // USERSETTINGS_H
