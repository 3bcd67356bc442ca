// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LONGLOADBENCH_H
#define LONGLOADBENCH_H

#include <QStringList>

// Long loads: how long the window goes without handling events during a load throttled to the
// speed of a USB 2.0 stick, and how much longer ten logs take to open when chosen newest first
// than in time order; then loads of 30M and 21M records that overlap in time against consecutive
// ones of the same size, and the time from "Abbrechen" to the chart drawn in each phase of a
// 30M-record load. Each case runs in a child process of its own.
namespace LongLoadBench {

// Runs what the program's arguments ask of this benchmark, all of it ("--long-loads") or one
// case in this process ("--long-case NAME FOLDER"), and returns the exit code; -1 when they ask
// nothing of it.
int runFromArguments(const QStringList &arguments);
// Runs every case and prints the figures; 0 when every target is met.
int run();

} // namespace LongLoadBench

#endif // LONGLOADBENCH_H
