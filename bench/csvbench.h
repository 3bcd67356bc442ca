// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CSVBENCH_H
#define CSVBENCH_H

// "Daten exportieren..." against numpy.savetxt writing the same rows of six integers, side by
// side in one run; prints a table and whether the target is met. Returns 0 when it is.
int runCsvBenchmark();

#endif // CSVBENCH_H
