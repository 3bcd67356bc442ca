// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMMANDLINEBENCH_H
#define COMMANDLINEBENCH_H

#include <QStringList>

// The program from the command line, each run a whole process from its start to its exit, best
// of three: 1M and 10M records to a PNG against kst2 drawing the same records from a dirfile (one
// raw column a field) to a PNG of the size it draws, and 1M records to CSV against a Python
// process that writes the same integers with numpy.savetxt, 1M records' days to CSV against
// pandas resampling the log's records by day; the peak memory of a picture's run against the
// window's for the same load.
namespace CommandLineBench {

// Runs the benchmark when the arguments are "--command-line" and returns the exit code, 0 when
// every target is met; -1 when they ask nothing of it.
int runFromArguments(const QStringList &arguments);

} // namespace CommandLineBench

#endif // COMMANDLINEBENCH_H
