// The scene virtual machine's public interface: the process-wide registry
// (CVMSystem), creating a VM from image words, running its functions by name
// under a time budget, resuming stopped runs, and the handle that natives get.
//
// Every VM message goes through vmLog as one text whose first character is a
// level letter ('.' trace, 'I' information, 'W' warning, 'E' error, 'S'
// severe); the registry hands it to its log sink. The visualiser's sink is
// logLevelFromPrefix. Nothing here throws; failures set the VM's error flag.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CVMExec;

// The per-VM handle held by the owner and passed to every native. Fields in
// this order; memory, sizes and the stack move when the heap grows, so a
// native re-reads them after any allocation.
struct VMState {
    void* user;              // set by the owner (the scene runtime stores its scene)
    CVMExec* owner;          // the VM
    uint32_t* memory;        // VM memory, word 0 (null before SETHEAPSIZE)
    uint32_t memorySize;     // words of VM memory
    uint32_t* stackBase;     // first word of the VM stack
    uint32_t* stackPointer;  // the top element; a push advances first, then stores
    uint8_t errorFlag;       // set by any failing instruction or native
    int32_t currentOp;       // position of the NATIVE instruction while a native runs, else 0
};

using VMLogSink = std::function<void(const char* text)>;
using VMNativeHandler = void (*)(VMState* state);

// Version constant that VERSIONCHECK accepts.
constexpr uint32_t kVMImageVersion = 0x10001;

// Creates the process-wide registry with its log sink, computes machineId and
// registers the whole native table. A second call replaces nothing and
// returns false.
bool vmSystemCreate(VMLogSink sink);
// Destroys the registry; logs "%d VMs still unfreed" when VMs remain (they are
// destroyed too).
void vmSystemDestroy();
bool vmSystemExists();
// The checksum of the machine identifier file, computed at vmSystemCreate.
uint32_t vmMachineId();
// Upper bound for one VM's memory in words (default 2^28, at most 2^30); images asking for
// more fail like a refused allocation. Tools and fuzzers lower it.
void vmSetMemoryLimit(uint32_t words);
uint32_t vmMemoryLimit();

// The heap and stack sizes in words of VMs created from now on (defaults
// 0x800000 and 0x200000, the sizes images are written for). Fuzzers and tools
// that run arbitrary images shrink them so that each VM is cheap to make;
// the stack is clamped to fit the heap with its guards.
void vmSetHeapLayout(int32_t heapWords, int32_t stackWords);
int32_t vmHeapWords();
int32_t vmStackWords();

// Bounds the work of every run: a run stops as if out of time (resumable,
// vmInterruptedByTime true) after about this many branches, counting block
// copies and native calls as the time budget does. 0 (the default) means no
// bound. Unlike a time budget it gives the same stop on a fast or a slow
// machine, which fuzzers and profiling tools need.
void vmSetWorkLimit(uint32_t branches);

// The setup run of vmCreate has no budget of its own; a setup that is still
// running after this many milliseconds (default 10000) fails instead of
// hanging the loader. 0 = no limit.
void vmSetSetupBudget(uint32_t milliseconds);

// Formats one message ("%c" level then the text, cut to 2047 characters) and
// hands it to the sink. Nothing happens without a registry.
void vmLog(char level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Creates a VM from `count` image words (copied; the caller keeps its
// buffer), fuses it and runs its setup entry. Returns its handle, or null
// when no registry exists. The setup succeeded when the error flag is clear.
VMState* vmCreate(const uint32_t* words, int count);
// Same from the bytes of an image file (little-endian words; a trailing
// partial word is ignored).
VMState* vmCreateFromBytes(const void* bytes, size_t size);
// Loads with the fusion pass switched off (tests compare both forms).
VMState* vmCreateUnfused(const uint32_t* words, int count);
void vmDestroy(VMState* state);

// Runs function `name` with `argCount` argument words. Returns true when the
// run finished (normally or by failure, see the error flag), false when it
// stopped by time or suspension and can be resumed. timeLimitMs 0 = no limit.
bool vmExecuteFunction(VMState* state, const char* name, const uint32_t* args, int argCount,
                       uint32_t timeLimitMs);
// Calls a function by its signature, taking one int per I or pointer
// parameter and one double per F parameter from the variable arguments.
bool vma_executeArgs(VMState* state, const char* signature, ...);
// Continues a stopped run; warns and fails when nothing is pending.
bool vmResume(VMState* state, uint32_t timeLimitMs);
bool vmHasFunction(VMState* state, const char* name);
// The code position registered for `name`, or -1.
int vmFunctionPosition(VMState* state, const char* name);
// Every registered function name, in name order.
std::vector<std::string> vmFunctionNames(VMState* state);
// True when the last run stopped because its time budget ran out.
bool vmInterruptedByTime(VMState* state);
// True while a stopped run waits for vmResume.
bool vmIsStopped(VMState* state);
// Asks the interpreter to stop right after the calling native returns.
void vmSuspend(VMState* state);
// Text of the stack and the return stack for failure reports.
std::string vmStackDump(VMState* state);
// Execution counts per code position: once enabled, every dispatched
// instruction adds one to the count at its position (a superinstruction
// counts once, at its first position). For profiling tools; load the image
// with vmCreateUnfused to count every plain instruction. Enabling resets the
// counts; the vector has one entry per code word.
void vmEnableProfile(VMState* state, bool enabled);
const std::vector<uint64_t>& vmProfileCounts(VMState* state);
// The (possibly fused) code words the VM executes, for the disassembler and tests.
const uint32_t* vmCode(VMState* state, int* count);
