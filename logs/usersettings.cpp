// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/usersettings.h"

#include <QVariant>

namespace UserSettings {

QSettings file()
{
    return QSettings(QSettings::UserScope, QStringLiteral("velkarn"), QStringLiteral("oriq"));
}

// Read as text, so that garbage does not count as on, as any non-empty text would for QVariant.
bool flag(const QString &key)
{
    return file().value(key).toString() == QLatin1String("true");
}

void setFlag(const QString &key, bool on)
{
    file().setValue(key, on);
}

} // namespace UserSettings
