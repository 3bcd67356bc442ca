// SPDX-License-Identifier: GPL-3.0-or-later
// For the window: the words its status bar uses for files that went wrong.
#ifndef STATUSWORDS_H
#define STATUSWORDS_H

#include <QString>
#include <QStringList>

// The words the window's status bar and the command line use for files that went wrong, in one
// place so that both, and following, say the same.
namespace StatusWords {

QString unreadable(const QStringList &fileNames);
QString tooLarge(const QStringList &fileNames);
QString cancelled(const QStringList &fileNames);
QString notSaved(const QString &fileName);
bool isNotSaved(const QString &message);

} // namespace StatusWords

#endif // STATUSWORDS_H
