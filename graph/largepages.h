// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LARGEPAGES_H
#define LARGEPAGES_H

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

// Asks for the pages of [start, start + bytes) in large pages where the system gives them on
// request: a fault then brings 2 MiB instead of 4 KiB. A big load writes hundreds of megabytes
// into fresh memory, and on a virtual machine every fault is dear.
inline void askForLargePages(void *start, size_t bytes)
{
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + page - 1) / page * page;
    const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes) / page * page;
    if (to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

#endif // LARGEPAGES_H
