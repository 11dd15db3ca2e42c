// The program under test run for real in a child process, on a base
// directory of the test's own.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// Runs VORTALIS_PROGRAM with `arguments` and the extra environment on `base`;
// its standard output and error go to base/output.txt.
pid_t startProgram(const std::string& base, const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment = {});
// The exit code, or -1 when the program did not exit normally within
// `seconds` (it is then killed).
int waitForExit(pid_t child, int seconds);
bool stillRunning(pid_t child);
