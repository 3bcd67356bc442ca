// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FOLLOWBENCH_H
#define FOLLOWBENCH_H

#include <QStringList>

// Following logs while they are written: an append of 1,000 records to a chart of 10M before its
// redraw, the looks at 20 unchanged files, records older than the newest merged into 10M against
// a fresh load, and a writer of 100 records a second for ten minutes followed all the while
// (its time simulated: each half second's records written, then one look, without the wait).
// Each case runs in a child process of its own.
namespace FollowBench {

// Runs what the program's arguments ask of this benchmark, all of it ("--following") or one
// case in this process ("--follow-case NAME FOLDER"), and returns the exit code; -1 when they
// ask nothing of it.
int runFromArguments(const QStringList &arguments);
// Runs every case and prints the figures; 0 when every target is met.
int run();

} // namespace FollowBench

#endif // FOLLOWBENCH_H
