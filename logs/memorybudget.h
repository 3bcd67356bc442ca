// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MEMORYBUDGET_H
#define MEMORYBUDGET_H

#include <QString>

// How much memory this process can still take before the machine runs short. With memory
// overcommit an allocation far beyond that succeeds, and the kernel ends the program later,
// when the pages are written; so a load asks here first.
namespace MemoryBudget {

// Bytes still to be had: the least of the system's MemAvailable and the room left under the
// memory limit of each cgroup the process sits in (cgroup v2 or v1, up to the root), less a
// margin; -1 when none of them can be learnt. root is where /proc and /sys are looked for.
qint64 available(const QString &root = QStringLiteral("/"));

} // namespace MemoryBudget

#endif // MEMORYBUDGET_H
