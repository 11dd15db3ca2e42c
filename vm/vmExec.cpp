// Loading, running by name, resuming and the heap wrappers of CVMExec.
#include "vm/vmExec.h"

#include <cstdarg>
#include <cstring>

#include "vm/fusion.h"
#include "vm/native.h"

namespace {
// Any unassigned opcode serves as padding: dispatching it past the last
// instruction fails the run with the "ran past the end" message.
constexpr uint32_t kPadOpcode = 131;
}  // namespace

CVMExec::CVMExec(const uint32_t* words, int count, bool fuse) {
    codeCount = count;
    code.assign(words, words + count);
    code.resize(static_cast<size_t>(count) + kCodePadWords, kPadOpcode);
    if (fuse) fuseCode(code.data(), count);
    state.owner = this;
    refreshState();
}

// Points the state at the memory manager's block, or at the placeholder
// before there is one; the stack pointer keeps its offset from the base.
void CVMExec::refreshState() {
    ptrdiff_t depth = state.stackPointer - state.stackBase;
    if (memMgr && memMgr->storage()) {
        state.memory = memMgr->storage();
        state.memorySize = static_cast<uint32_t>(memMgr->totalWords());
        state.stackBase = state.memory + memMgr->stackStart();
        stackWords = static_cast<uint32_t>(memMgr->stackWords());
    } else {
        state.memory = placeholder_ + CVMMemMgr::kSlackWords;
        state.memorySize = 0;
        state.stackBase = state.memory;
        stackWords = 1;
    }
    state.stackPointer = state.stackBase + depth;
}

void CVMExec::setup(const uint32_t* originalWords, uint32_t budgetMs) {
    if (codeCount < 2) {
        state.errorFlag = 1;
        return;
    }
    // The entry instruction is the caller's, even if fusion absorbed it.
    code[static_cast<size_t>(codeCount - 2)] = originalWords[codeCount - 2];
    if (startRun(1, codeCount - 2, budgetMs)) return;
    // Setup code is expected to be short; one that runs away or suspends
    // itself leaves an unusable VM rather than a hung loader.
    vmLog('S', "Setup code did not finish\n");
    state.errorFlag = 1;
    callStack.clear();
}

bool CVMExec::startRun(int32_t fp, int32_t position, uint32_t timeLimitMs) {
    if (!callStack.empty()) {
        vmLog('W',
              "VM: Trying to start new function while we'd stopped execution on another "
              "function\n");
        state.errorFlag = 1;
        callStack.clear();
    }
    return run(fp, position, timeLimitMs);
}

bool CVMExec::executeFunction(const char* name, const uint32_t* args, int argCount,
                              uint32_t timeLimitMs) {
    vmLog('.', "Searching for '%s'\n", name);
    if (!callStack.empty()) {
        vmLog('S', "Trying to start %s while we'd stopped execution on another function\n", name);
        state.errorFlag = 1;
        return true;
    }
    if (codeCount < 2) {
        vmLog('S', "executeFunction: Trying to execute '%s' but we have no code loaded\n", name);
        state.errorFlag = 1;
        return true;
    }
    auto it = functions.find(name);
    if (it == functions.end()) {
        vmLog('S', "No function '%s'\n", name);
        state.errorFlag = 1;
        return true;
    }
    int32_t position = it->second;
    if (position < 0 || position >= codeCount) {
        vmLog('S', "Code pointer for function '%s' is out of bounds (%d)\n", name, position);
        state.errorFlag = 1;
        return true;
    }
    if (argCount < 0 || static_cast<uint32_t>(argCount) >= stackWords) {
        vmLog('S', "executeFunction: %d arguments do not fit the stack of '%s'\n", argCount, name);
        state.errorFlag = 1;
        return true;
    }
    state.stackPointer = state.stackBase;
    for (int i = 0; i < argCount; ++i)
        *++state.stackPointer = args[i];
    return startRun(argCount + 1, position, timeLimitMs);
}

bool CVMExec::resume(uint32_t timeLimitMs) {
    if (callStack.empty()) {
        vmLog('W', "VM: Trying to resume when we didn't have anything *to* resume\n");
        state.errorFlag = 1;
        return true;
    }
    CallFrame frame = callStack.back();
    callStack.pop_back();
    return run(frame.fp, frame.position, timeLimitMs);
}

std::string CVMExec::stackDump() const {
    std::string text;
    char line[64];
    const uint32_t* top = state.stackPointer;
    // After a failure the pointer may lie outside the stack; show what is inside.
    if (top - state.stackBase >= static_cast<ptrdiff_t>(stackWords))
        top = state.stackBase + stackWords - 1;
    int lines = 0;
    for (const uint32_t* word = top; word > state.stackBase; --word) {
        if (lines == 99) {
            text += "  More than 100 items in the stack...\n  Return stack:\n";
            for (const CallFrame* frame = callStack.end(); frame != callStack.begin();) {
                --frame;
                std::snprintf(line, sizeof line, "  %d\n", frame->position);
                text += line;
            }
            break;
        }
        int calledFrom = -1;
        for (const CallFrame& frame : callStack)
            if (state.stackBase + frame.fp == word) calledFrom = frame.position;
        if (calledFrom >= 0)
            std::snprintf(line, sizeof line, "  0x%08x - called from %d\n", *word, calledFrom);
        else
            std::snprintf(line, sizeof line, "  0x%08x\n", *word);
        text += line;
        ++lines;
    }
    return text;
}

bool CVMExec::setHeapSize(int32_t baseSize) {
    vmLog('I', "CVMExec: VM Base Size %d\n", baseSize);
    if (memMgr) {
        vmLog('W', "CVMExec: Memory manager already allocated\n");
        state.errorFlag = 1;
        memMgr.reset();
    }
    memMgr = std::make_unique<CVMMemMgr>(baseSize, vmMemoryLimit(), vmHeapWords(), vmStackWords());
    if (!memMgr->storage()) {
        memMgr.reset();
        state.errorFlag = 1;
    }
    state.stackPointer = state.stackBase;  // depth 0 once rebased
    refreshState();
    return state.errorFlag == 0;
}

int32_t CVMExec::vmalloc(int32_t n) {
    int32_t address = memMgr ? memMgr->allocate(n) : 0;
    refreshState();
    if (address == 0) {
        vmLog('S', "vmalloc failed\n");
        state.errorFlag = 1;
    }
    return address;
}

bool CVMExec::vfree(int32_t address) {
    if (memMgr && memMgr->vfree(address)) return true;
    vmLog('S', "vfree failed\n");
    state.errorFlag = 1;
    return false;
}

bool CVMExec::vcheck(uint32_t a, uint32_t b) {
    if (memMgr && memMgr->rangeTest(a, b)) return true;
    if (!memMgr) vmLog('S', "Memory address outside the VM's range\n");
    vmLog('S', "vcheck failed\n");
    state.errorFlag = 1;
    return false;
}

// ---- entry points on the VMState ----

int32_t vmalloc(VMState* s, int32_t words) {
    if (s->errorFlag) return 0;
    return s->owner->vmalloc(words);
}

void vfree(VMState* s, int32_t address) {
    if (s->errorFlag) return;
    s->owner->vfree(address);
}

bool vcheck(VMState* s, uint32_t a, uint32_t b) {
    return s->owner->vcheck(a, b);
}

bool vcheckArea(VMState* s, uint32_t address, int64_t count) {
    int64_t last = count > 0 ? static_cast<int64_t>(address) + count - 1 : address;
    uint32_t b = last > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(last);
    return vcheck(s, address, b);
}

namespace {

// One parameter of a call signature: its kind, or 0 at the end, or -1 when
// the text does not fit the grammar (`at` then indexes the offending
// character). `at` moves past the parameter and its separator.
int nextParameter(const char* text, size_t& at) {
    if (text[at] == ')' || text[at] == 0) return 0;
    int kind;
    if (text[at] == 'I' || text[at] == 'F') {
        kind = text[at];
        at += 1;
    } else if (text[at] == '*' && (text[at + 1] == 'I' || text[at + 1] == 'F')) {
        kind = 'I';
        at += 2;
    } else {
        return -1;
    }
    if (text[at] == ',')
        ++at;
    else if (text[at] != ')')
        return -1;
    return kind;
}

}  // namespace

bool vma_executeArgs(VMState* state, const char* signature, ...) {
    const char* open = std::strchr(signature, '(');
    if (!open) {
        vmLog('W', "vma_executeArgs: No Opening bracket found in %s\n", signature);
        state->errorFlag = 1;
        return true;
    }
    size_t first = static_cast<size_t>(open - signature) + 1;
    // First pass: the grammar only.
    int count = 0;
    for (size_t at = first;;) {
        int kind = nextParameter(signature, at);
        if (kind == 0) break;
        if (kind < 0) {
            vmLog('W', "vma_executeArgs: Args format not understood at char %d, '%s'\n",
                  static_cast<int>(at), signature);
            state->errorFlag = 1;
            return true;
        }
        ++count;
    }
    std::vector<uint32_t> words;
    va_list args;
    va_start(args, signature);
    for (size_t at = first;;) {
        int kind = nextParameter(signature, at);
        if (kind <= 0) {
            if (kind < 0) {
                vmLog('S', "vma_executeArgs: Failure after previous parse was ok\n");
                state->errorFlag = 1;
                va_end(args);
                return true;
            }
            break;
        }
        if (kind == 'F') {
            float f = static_cast<float>(va_arg(args, double));
            uint32_t word;
            std::memcpy(&word, &f, 4);
            words.push_back(word);
        } else {
            words.push_back(static_cast<uint32_t>(va_arg(args, int)));
        }
    }
    va_end(args);
    (void)count;
    return state->owner->executeFunction(signature, words.data(), static_cast<int>(words.size()),
                                         0);
}
