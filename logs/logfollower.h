// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOGFOLLOWER_H
#define LOGFOLLOWER_H

#include "logs/logdecoder.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The files of a load looked at again while loggers append to them, without a window. A look
// asks the file system for each file's size and change time only; a file is opened only when
// they changed: then its first record tells whether it is still the file that was read, and the
// whole records after those read are what is new. A partial record at the end waits for the look
// after it is complete.
class LogFollower
{
public:
    // What one look found.
    struct News {
        // Whole records that appeared, file by file in list order, each file's in its order.
        QVector<LogDecoder::LogRecord> records;
        // Names of the files that gave them.
        QStringList fileNames;
        // Files gone or not readable as regular files; their records stay as read.
        QStringList unreadable;
        // A file became shorter than what was read, or starts with another record than the one
        // read: the files must be loaded again.
        bool changedUnderneath = false;
        // The records would not fit: none of them was taken.
        bool tooMany = false;
    };

    // Follows the files of a load from the records it took of each, recordsTaken[i] of paths[i];
    // takes each file's first record as it is now.
    void start(const QStringList &paths, const QVector<qint64> &recordsTaken);
    // Follows nothing.
    void stop();

    // Looks at every file once. room() tells how many records may be added; it is asked only
    // when a file has new records.
    News look(const std::function<qint64()> &room);

private:
    // What stat tells of a file; a look that finds it unchanged reads nothing.
    struct Seen {
        qint64 size = -1;
        qint64 changed = 0; // nanoseconds
        quint64 inode = 0;
        quint64 device = 0;
        bool operator==(const Seen &other) const;
    };
    struct Followed {
        QString path;
        qint64 records = 0;  // whole records read
        QByteArray first;    // the first record's bytes, empty before it was read
        Seen seen;
        QString name() const { return QFileInfo(path).fileName(); }
    };
    static bool stat(const QString &path, Seen *seen);
    static bool readTail(Followed &file, const Seen &seen, qint64 records, News &news);

    QVector<Followed> mFiles;
};

#endif // LOGFOLLOWER_H
