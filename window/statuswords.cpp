// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/statuswords.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const QString kNameSeparator = QStringLiteral(", ");

QString words(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

namespace StatusWords {

QString unreadable(const QStringList &fileNames)
{
    return words("Nicht lesbar: ") + fileNames.join(kNameSeparator);
}

QString tooLarge(const QStringList &fileNames)
{
    return words("Zu groß für den Speicher: ") + fileNames.join(kNameSeparator);
}

QString cancelled(const QStringList &fileNames)
{
    return words("Abgebrochen: ") + fileNames.join(kNameSeparator);
}

// The file's name alone, as the status bar has room for.
QString notSaved(const QString &fileName)
{
    return words("Nicht gespeichert: ") + QFileInfo(fileName).fileName();
}

bool isNotSaved(const QString &message)
{
    return message.startsWith(words("Nicht gespeichert: "));
}

} // namespace StatusWords
