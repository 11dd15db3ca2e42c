// CVMExec: one loaded image with its memory, function table and call stack.
// Internal to the VM library; outside code uses vm.h and the VMState handle.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vm/memMgr.h"
#include "vm/vm.h"

struct CallFrame {
    int32_t position;  // the CALL, or where a stopped run continues
    int32_t fp;
};

// The call stack: at most 100 frames from CALL plus the continuation of a
// stopped run, so a fixed array serves and a push never allocates.
class FrameStack {
public:
    static constexpr size_t kCapacity = 101;
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }
    void clear() { count_ = 0; }
    // A push beyond the capacity is impossible by construction; it is dropped.
    void push_back(const CallFrame& frame) {
        if (count_ < kCapacity) items_[count_++] = frame;
    }
    void pop_back() { --count_; }
    const CallFrame& back() const { return items_[count_ - 1]; }
    const CallFrame* begin() const { return items_; }
    const CallFrame* end() const { return items_ + count_; }

private:
    CallFrame items_[kCapacity];
    size_t count_ = 0;
};

class CVMExec {
public:
    static constexpr int kMaxCallDepth = 100;
    static constexpr int kCodePadWords = 16;
    static constexpr uint32_t kBranchCountdown = 10000;

    CVMExec(const uint32_t* words, int count, bool fuse);

    // Runs the setup entry, taken from the caller's words as passed in; a
    // setup still running after `budgetMs` (0 = never) fails.
    void setup(const uint32_t* originalWords, uint32_t budgetMs);
    bool executeFunction(const char* name, const uint32_t* args, int argCount,
                         uint32_t timeLimitMs);
    bool resume(uint32_t timeLimitMs);
    std::string stackDump() const;

    // Heap wrappers: messages through vmLog, failures set the error flag.
    int32_t vmalloc(int32_t n);
    bool vfree(int32_t address);
    bool vcheck(uint32_t a, uint32_t b);
    // SETHEAPSIZE: a fresh memory manager of `baseSize` static words.
    bool setHeapSize(int32_t baseSize);

    // The interpreter (interpreter.cpp): runs from `position` with frame
    // base `fp` until the outermost RETURN, a failure or a stop.
    bool run(int32_t fp, int32_t position, uint32_t timeLimitMs);

    VMState state{};
    std::vector<uint32_t> code;  // the image words, then kCodePadWords unassigned opcodes
    int32_t codeCount = 0;
    std::map<std::string, int32_t> functions;
    FrameStack callStack;
    std::unique_ptr<CVMMemMgr> memMgr;
    uint8_t running = 0;
    uint8_t interruptedByTime = 0;
    uint32_t stackWords = 1;  // extent the stack pointer is tested against
    bool profiling = false;
    std::vector<uint64_t> profile;  // executions per code word, while profiling

private:
    template <bool kProfile>
    bool runLoop(int32_t fp, int32_t position, uint32_t timeLimitMs);
    bool startRun(int32_t fp, int32_t position, uint32_t timeLimitMs);
    void refreshState();

    // Stands in for memory before SETHEAPSIZE: a one-word stack and no
    // addressable words, so any use of the stack or memory fails the run.
    uint32_t placeholder_[2 * CVMMemMgr::kSlackWords + 1] = {};
};

// The registry's native entries, for the interpreter.
struct NativeEntry {
    std::string signature;
    VMNativeHandler handler;
    uint8_t timeCheck;
};
const NativeEntry* vmNativeEntries(int* count);
// The bound of vmSetWorkLimit, 0 when none.
uint32_t vmWorkLimit();
