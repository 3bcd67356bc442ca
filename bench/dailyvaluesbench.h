// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DAILYVALUESBENCH_H
#define DAILYVALUESBENCH_H

#include <QStringList>

// "Tageswerte..." over big loads: from the menu entry to the dialog drawn, switching the channel,
// the bold days after a pan, 1,000 records joining a followed log, and the memory the open dialog
// takes, at 10M one-minute records (smooth and jagged); the dialog's open over 1M records spread
// from 2000 to 2026, and over a load whose clock fell back to 2000 for one record. Each case runs
// in a child process of its own.
namespace DailyValuesBench {

// Runs what the program's arguments ask of this benchmark, all of it ("--daily-values") or one
// case in this process ("--daily-case NAME FOLDER"), and returns the exit code; -1 when they ask
// nothing of it.
int runFromArguments(const QStringList &arguments);
// Runs every case and prints the figures; 0 when every target is met.
int run();

} // namespace DailyValuesBench

#endif // DAILYVALUESBENCH_H
