// SPDX-License-Identifier: GPL-3.0-or-later
#include "logs/memorybudget.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <algorithm>

namespace {

const qint64 kUnknown = -1;
// Kept back for what the program itself needs besides the points: a tenth, at least 64 MiB.
const qint64 kLeastMargin = qint64(64) << 20;
const int kMarginDivisor = 10;
// cgroup v1 writes "no limit" as the largest page count in bytes, near 2^63.
const qint64 kNoLimitAbove = qint64(1) << 62;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number that follows "name" at the start of a line of a "name value" file; kUnknown if none.
qint64 field(const QByteArray &text, const QByteArray &name)
{
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words.first() == name) {
            bool ok = false;
            const qint64 value = words.at(1).toLongLong(&ok);
            return ok ? value : kUnknown;
        }
    }
    return kUnknown;
}

// A file holding one number; kUnknown when missing, "max" or no limit.
qint64 limitIn(const QString &path)
{
    bool ok = false;
    const qint64 value = readAll(path).trimmed().toLongLong(&ok);
    return ok && value < kNoLimitAbove ? value : kUnknown;
}

struct CgroupFiles {
    const char *limit;
    const char *usage;
    const char *inactiveFile; // page cache the kernel takes back first, counted in usage
};
const CgroupFiles kCgroupV2 = {"memory.max", "memory.current", "inactive_file"};
const CgroupFiles kCgroupV1 = {"memory.limit_in_bytes", "memory.usage_in_bytes", "total_inactive_file"};

// Least room under the limits of the cgroup at path and its parents, up to the hierarchy's root.
qint64 cgroupRoom(const QString &mount, QString path, const CgroupFiles &files)
{
    qint64 least = kUnknown;
    for (;;) {
        const QString dir = QDir::cleanPath(mount + QLatin1Char('/') + path) + QLatin1Char('/');
        const qint64 limit = limitIn(dir + QLatin1String(files.limit));
        const qint64 usage = limitIn(dir + QLatin1String(files.usage));
        if (limit >= 0 && usage >= 0) {
            const qint64 inactive = qMax<qint64>(0, field(readAll(dir + QStringLiteral("memory.stat")), files.inactiveFile));
            const qint64 room = qMax<qint64>(0, limit - qMax<qint64>(0, usage - inactive));
            least = least < 0 ? room : qMin(least, room);
        }
        if (path.isEmpty() || path == QLatin1String("/"))
            return least;
        path = path.left(qMax(0, path.lastIndexOf(QLatin1Char('/'))));
    }
}

qint64 leastKnown(qint64 a, qint64 b)
{
    if (a < 0)
        return b;
    return b < 0 ? a : qMin(a, b);
}

} // namespace

namespace MemoryBudget {

qint64 available(const QString &root)
{
    const qint64 availableKiB = field(readAll(root + QStringLiteral("/proc/meminfo")), "MemAvailable:");
    qint64 room = availableKiB < 0 ? kUnknown : availableKiB * 1024;

    // Lines "hierarchy:controllers:path"; v2 has hierarchy 0 and no controllers.
    const QString cgroups = root + QStringLiteral("/sys/fs/cgroup");
    for (const QByteArray &line : readAll(root + QStringLiteral("/proc/self/cgroup")).split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3)
            continue;
        const QString path = QString::fromUtf8(line.mid(parts[0].size() + parts[1].size() + 2));
        if (parts[0] == "0" && parts[1].isEmpty())
            room = leastKnown(room, cgroupRoom(cgroups, path, kCgroupV2));
        else if (parts[1].split(',').contains("memory"))
            room = leastKnown(room, cgroupRoom(cgroups + QStringLiteral("/memory"), path, kCgroupV1));
    }
    if (room < 0)
        return kUnknown;
    return qMax<qint64>(0, room - qMax(kLeastMargin, room / kMarginDivisor));
}

} // namespace MemoryBudget
