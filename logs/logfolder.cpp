// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/logfolder.h"
#include "logs/usersettings.h"

#include <QFileInfo>

namespace {

const QString kKey = QStringLiteral("lastFolder");

} // namespace

namespace LogFolder {

// A value that is not an absolute path of a folder we may list is as good as none: garbage, a
// folder removed since, or one of another user's that we cannot enter.
QString last()
{
    const QString folder = UserSettings::file().value(kKey).toString();
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isAbsolute() || !info.isDir() || !info.isReadable() || !info.isExecutable())
        return QString();
    return info.absoluteFilePath();
}

void remember(const QStringList &fileNames)
{
    for (auto name = fileNames.crbegin(); name != fileNames.crend(); ++name) {
        const QFileInfo file(*name);
        if (file.isFile()) {
            UserSettings::file().setValue(kKey, file.absolutePath());
            return;
        }
    }
}

} // namespace LogFolder
