// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/logfollower.h"

#include "logs/logloader.h"

#include <QFile>

#include <sys/stat.h>

namespace {

qint64 recordOffset(qint64 record)
{
    return LogDecoder::kHeaderSize + record * LogDecoder::kRecordSize;
}

// The first record's bytes of the log at path; empty when it cannot be read whole.
QByteArray firstRecord(const QString &path)
{
    QFile log;
    if (!openRegularFile(log, path) || !log.seek(recordOffset(0)))
        return QByteArray();
    const QByteArray bytes = log.read(LogDecoder::kRecordSize);
    return bytes.size() == LogDecoder::kRecordSize ? bytes : QByteArray();
}

} // namespace

bool LogFollower::Seen::operator==(const Seen &other) const
{
    return size == other.size && changed == other.changed && inode == other.inode && device == other.device;
}

void LogFollower::start(const QStringList &paths, const QVector<qint64> &recordsTaken)
{
    mFiles.clear();
    for (int i = 0; i < paths.size(); ++i) {
        Followed file;
        file.path = paths.at(i);
        file.records = recordsTaken.value(i);
        if (file.records > 0)
            file.first = firstRecord(file.path);
        mFiles.append(file);
    }
}

void LogFollower::stop()
{
    mFiles.clear();
}

// Anything but a regular file counts as not readable, as it does for a load.
bool LogFollower::stat(const QString &path, Seen *seen)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    seen->size = status.st_size;
    seen->changed = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    seen->inode = status.st_ino;
    seen->device = status.st_dev;
    return true;
}

LogFollower::News LogFollower::look(const std::function<qint64()> &room)
{
    News news;
    struct Growth {
        int file;
        Seen seen;
        qint64 records;
    };
    QVector<Growth> grown;
    qint64 newRecords = 0;
    for (int i = 0; i < mFiles.size(); ++i) {
        Followed &file = mFiles[i];
        Seen now;
        if (!stat(file.path, &now)) {
            news.unreadable.append(file.name());
            continue;
        }
        if (now == file.seen)
            continue;
        const qint64 available = LogDecoder::recordCount(now.size);
        if (available < file.records) {
            news.changedUnderneath = true;
            return news;
        }
        if (!file.first.isEmpty()) {
            const QByteArray first = firstRecord(file.path);
            if (first.isEmpty()) {
                news.unreadable.append(file.name());
                continue;
            }
            if (first != file.first) {
                news.changedUnderneath = true;
                return news;
            }
        }
        if (available == file.records) {
            file.seen = now;
            continue;
        }
        grown.append({i, now, available - file.records});
        newRecords += available - file.records;
        news.fileNames.append(file.name());
    }
    if (newRecords > 0 && newRecords > room()) {
        news.tooMany = true;
        return news;
    }
    news.fileNames.clear();
    for (const Growth &growth : qAsConst(grown)) {
        if (!readTail(mFiles[growth.file], growth.seen, growth.records, news))
            news.unreadable.append(mFiles[growth.file].name());
    }
    return news;
}

// Reads the records of the file after those read, up to what stat saw; false when the file
// could not be read. What arrives short of that is taken up by the next look.
bool LogFollower::readTail(Followed &file, const Seen &seen, qint64 records, News &news)
{
    QFile log;
    if (!openRegularFile(log, file.path) || !log.seek(recordOffset(file.records)))
        return false;
    const QByteArray bytes = log.read(records * LogDecoder::kRecordSize);
    const qint64 got = LogDecoder::decodeRecords(bytes.constData(), bytes.size(), [&news](const LogDecoder::LogRecord &record) {
        news.records.append(record);
    });
    if (got == 0)
        return true;
    if (file.records == 0)
        file.first = bytes.left(int(LogDecoder::kRecordSize));
    file.records += got;
    file.seen = got == records ? seen : Seen();
    news.fileNames.append(file.name());
    return true;
}
