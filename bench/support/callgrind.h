// Instruction counts from valgrind's callgrind, split by who spent them, for
// the benchmarks that compare the system's own work with the GL driver's, and
// the runs of the benchmark's own executable that those benchmarks measure.
#pragma once

#include <string>

// Whose code an instruction ran in: the benchmark's executable, the C/C++
// runtime, or anything else loaded (in practice the GL driver).
enum Share { OWN, RUNTIME, DRIVER };

Share shareOf(const std::string& object, const std::string& executable);

// Adds the exclusive instruction counts of one callgrind output file to
// totals[OWN], totals[RUNTIME] and totals[DRIVER]. False when it cannot be read.
bool sumCallgrindFile(const std::string& path, const std::string& executable, double totals[3]);

// The path of the running executable, to run it again as a child.
std::string self();

// Runs this program again with `arguments` (no valgrind) and reads the wall
// clock per frame that it prints ("wall clock: N ms per frame"); 0 when the
// run failed, after printing what it wrote.
double wallClockOf(const std::string& arguments);

// Whether `name` is a command on the PATH.
bool haveTool(const char* name);
