// The image runner behind the vmrun tool and the script tests: load an image,
// run its setup, call the named functions in order (resuming stopped runs
// until they finish) and report through the log what the visualiser's log
// would show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct VMState;

struct RunOptions {
    std::vector<std::string> calls;  // signatures; "V main()" when none given
    uint32_t budgetMs = 0;           // time budget of each run; 0 = none
    std::vector<std::string> args;   // argument values for every call
    int maxResumes = -1;             // a run still stopped after this many resumptions
                                     // ends the calls (result 1); -1 = resume forever
};

// Parses "[--call SIGNATURE]... [--budget MS] [--args VALUE...]" (everything
// after --args is an argument). False with `error` set on bad input.
bool vmRunParseOptions(const std::vector<std::string>& words, RunOptions& options,
                       std::string& error);

// Creates the VM registry with the visualiser's sink (logLevelFromPrefix) and
// mirrors every log line as "<label>: <text>" (text without its final
// newline) to `printLine`. Level-0 (trace) messages are not logged, as in the
// visualiser. Returns false when a registry already exists.
bool vmRunnerInstallLogging(std::function<void(const std::string& line)> printLine);
void vmRunnerRemoveLogging();

// Runs an image file's bytes. Returns 0 when no run set the error flag, 1 when
// one did (later calls are skipped), 2 when the setup failed or the options
// do not fit a function's signature.
int vmRunImage(const std::vector<uint8_t>& bytes, const RunOptions& options);

// The calls of vmRunImage on a VM the caller created (and destroys): 0 when
// no run set the error flag, 1 when one did or stayed stopped, 2 when the
// options do not fit a function's signature. Tools that look inside the VM
// (profiles, memory) run images through this.
int vmRunCalls(VMState* vm, const RunOptions& options);
