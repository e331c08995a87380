// The reader against the floor: the programs that only count or copy the
// same file's bytes, and the reader with one thread and with two.
#ifndef BENCH_FLOOR_BENCH_H
#define BENCH_FLOOR_BENCH_H

#include <string>

// How many cores this process can have now, measured: as many threads as
// there are cores spin for `seconds`, and their processor time is summed
// over the time that passed. Other work on the machine lowers it; two
// threads cannot help a read when it is near 1.
double measureUsableCores(double seconds);

// Times readShapeFromFile on `path` with one thread and with two, and
// `wc -l` and `cat` (spawned, output to /dev/null) on the same file, `runs`
// times each, alternating, and prints the medians, the ranges, the ratios
// to `wc -l` and the cores measured free before and after. `megabytes` is
// the file's size. Exits with a message when a run fails.
void printAgainstTheFloor(const std::string &path, double megabytes, int runs);

#endif
