// The dispatch loop. One function holds it, with the registers in locals;
// the effect of every plain instruction lives in steps.h. Dispatch goes
// through a computed-goto table when VORTALIS_COMPUTED_GOTO is on, through a
// switch otherwise.
#include <cstdarg>

#include "app/clock.h"
#include "vm/native.h"
#include "vm/steps.h"
#include "vm/vmExec.h"

#ifndef VORTALIS_VM_PROFILE
#define VORTALIS_VM_PROFILE 1
#endif

namespace {

// Branches of the countdown that one native call spends.
constexpr int64_t kNativeCost = 100;

int32_t positionOf(const uint32_t* code, const uint32_t* ip) {
    return static_cast<int32_t>(ip - code);
}

constexpr int kUnterminated = -2;

// Pops a setup string (first character on top) up to its terminator, keeping
// at most `keep` characters; false when the stack ends first.
bool popString(uint32_t*& sp, const uint32_t* stackBase, std::string& text, size_t keep) {
    while (sp >= stackBase) {
        uint32_t c = *sp-- & 0xFF;
        if (c == 0) return true;
        if (text.size() < keep) text += static_cast<char>(c);
    }
    return false;
}

// STOREFUNC after its position was popped; false when the name is unterminated.
// The registers are passed by value so that the dispatch loop's stay in
// machine registers; the new stack pointer comes back through `sp`.
bool storeFunction(std::map<std::string, int32_t>& functions, uint32_t*& sp,
                   const uint32_t* stackBase, int32_t target, uint8_t& errorFlag) {
    std::string name;
    if (!popString(sp, stackBase, name, 256)) return false;
    if (name.size() > 255) {
        vmLog('S', "Function string '%.255s' to too long!\n", name.c_str());
        errorFlag = 1;
    } else {
        vmLog('.', "Function '%s' added as %d\n", name.c_str(), target);
        functions.emplace(name, target);
    }
    return true;
}

// FINDNATIVE: the index, -1 when no native has the name, kUnterminated.
int findNative(uint32_t*& sp, const uint32_t* stackBase) {
    std::string name;
    if (!popString(sp, stackBase, name, 255)) return kUnterminated;
    int index = vmFindNative(name.c_str());
    if (index < 0) vmLog('S', "No native function for '%s'\n", name.c_str());
    return index;
}

}  // namespace

bool failMemory(const uint32_t* code, const uint32_t* ip, uint32_t address) {
    vmLog('S', "VM_CHECK_MEMORY_AREA: Out of bounds 0x%08X at op %d\n", address,
          positionOf(code, ip));
    return false;
}

bool failAssign(const uint32_t* code, const uint32_t* ip, uint32_t address) {
    vmLog('S', "VM_ASSIGN: Out of bounds 0x%08X at op %d\n", address, positionOf(code, ip));
    return false;
}

bool failCopy(const uint32_t* code, const uint32_t* ip, uint32_t dst, uint32_t src,
              uint32_t count) {
    vmLog('S', "VM_MEMCPY: Out of bounds memcpy(0x%08X, 0x%08X, %d) at op %d\n", dst, src,
          static_cast<int>(count), positionOf(code, ip));
    return false;
}

// The stack pointer left its area. This ends the run rather than the
// program, so the message is severe, not an error. A superinstruction
// reports under the name of the instruction it starts with, as unfused
// code would.
bool failStackAs(const uint32_t* code, const uint32_t* ip, uint32_t opcode) {
    vmLog('S', "Stack pointer out of range at %5d:%16s 0x%08x\n", positionOf(code, ip),
          opcodeName(opcode), ip[1]);
    return false;
}

bool failStack(const uint32_t* code, const uint32_t* ip) {
    uint32_t opcode = ip[0];
    if (opcodeInfo(opcode).super) opcode = superinstructionRun(opcode & 0xFF)[0];
    return failStackAs(code, ip, opcode);
}

bool CVMExec::run(int32_t fp, int32_t position, uint32_t timeLimitMs) {
    // The counting loop is a separate instance so that the plain one carries
    // no test for it. Builds that never profile (the fuzz target) leave it
    // out, which halves the time to compile this file.
#if VORTALIS_VM_PROFILE
    if (profiling && profile.size() == code.size()) return runLoop<true>(fp, position, timeLimitMs);
#endif
    return runLoop<false>(fp, position, timeLimitMs);
}

template <bool kProfile>
bool CVMExec::runLoop(int32_t fp, int32_t position, uint32_t timeLimitMs) {
    using namespace op;
    running = 1;
    const uint32_t start = osTickCount();
    // A work limit shortens the countdown and ends the run once the
    // expiries add up to it.
    const uint32_t workLimit = vmWorkLimit();
    const int64_t countdownStart =
        workLimit != 0 && workLimit < kBranchCountdown ? int64_t{workLimit} : kBranchCountdown;
    int64_t workLeft = workLimit != 0 ? int64_t{workLimit} : INT64_MAX;
    [[maybe_unused]] uint64_t* const counts = kProfile ? profile.data() : nullptr;
    const uint32_t* const codeBase = code.data();
    const uint32_t* const codeLast = codeBase + codeCount - 2;  // last whole instruction
    const uint32_t* ip = codeBase + position;
    const uint32_t codeWords = static_cast<uint32_t>(codeCount);
    int nativeCount = 0;
    const NativeEntry* natives = vmNativeEntries(&nativeCount);
    Regs r{};
    r.countdown = countdownStart + 1;
    uint32_t* sp = nullptr;
    r.code = codeBase;
    r.fp = fp;

#define LOAD_REGS()                                                                             \
    do {                                                                                        \
        r.mem = state.memory;                                                                   \
        r.memSize = state.memorySize;                                                           \
        r.stackBase = state.stackBase;                                                          \
        sp = state.stackPointer;                                                                \
        r.stackWords = stackWords;                                                              \
        r.stackBytes = uintptr_t{stackWords} * sizeof(uint32_t);                                \
        r.stackLimit = r.stackBase + stackWords;                                                \
        bool roomy = stackWords > 2 * kRunRoom;                                                 \
        r.runLow = roomy ? r.stackBase + kRunRoom : r.stackLimit;                               \
        r.runHigh = roomy ? r.stackLimit - kRunRoom : r.stackBase;                              \
        r.frameAddr = static_cast<uint32_t>(r.stackBase - r.mem) + static_cast<uint32_t>(r.fp); \
        reloadTos(r, sp);                                                                       \
    } while (0)
#define SAVE_REGS() (state.stackPointer = sp)
#define OPERAND (ip[1])
#define POSITION (positionOf(codeBase, ip))
    // A jump must land inside the code (the padding after it holds any
    // operand read past the last word).
#define JUMP_TO(target)                                                                        \
    do {                                                                                       \
        uint32_t jumpTarget = (target);                                                        \
        if (jumpTarget >= codeWords) {                                                         \
            vmLog('S', "Jump outside the code to %d at op %d\n", asInt(jumpTarget), POSITION); \
            goto fail;                                                                         \
        }                                                                                      \
        ip = codeBase + jumpTarget;                                                            \
    } while (0)
    // Branch accounting: the clock is read only once the countdown has run
    // out. Without a budget the countdown is still reset, so that it never
    // wraps in an endless run.
#define READ_CLOCK()                                                                  \
    do {                                                                              \
        workLeft -= countdownStart + 1 - r.countdown;                                 \
        r.countdown = countdownStart + 1;                                             \
        if (workLeft <= 0) goto stopByTime;                                           \
        if (timeLimitMs != 0 && osTickCount() - start > timeLimitMs) goto stopByTime; \
    } while (0)
#define COUNT_BRANCH()           \
    do {                         \
        if (--r.countdown < 0) { \
            READ_CLOCK();        \
        }                        \
    } while (0)

#if VORTALIS_COMPUTED_GOTO
    static void* table[256];
    static bool tableReady = false;
    if (!tableReady) {
        for (void*& entry : table)
            entry = &&L_unassigned;
#define OPCODE(name, code, kind, flow) table[code] = &&L_##name;
#include "vm/opcodes.def"
#undef OPCODE
#define SUPER(code, ...) table[code] = &&L_S##code;
#include "vm/superinstructions.def"
#undef SUPER
        tableReady = true;
    }
#define CASE(label) L_##label:
#define DEFAULT_CASE \
    L_unassigned:
#define COUNT_EXECUTION() \
    if constexpr (kProfile) ++counts[ip - codeBase]
#define DISPATCH()                                   \
    do {                                             \
        if (!stackInRange(r, sp)) goto stackFailure; \
        COUNT_EXECUTION();                           \
        goto* table[*ip & 0xFF];                     \
    } while (0)
    // After an instruction that leaves the stack pointer alone, the test
    // made before it still holds.
#define DISPATCH_SAME_STACK()    \
    do {                         \
        COUNT_EXECUTION();       \
        goto* table[*ip & 0xFF]; \
    } while (0)
    // After an instruction that moved it by a known amount, only one end of
    // the range needs testing.
#define DISPATCH_MOVED(delta)                                      \
    do {                                                           \
        if (!stackStillInRange<(delta)>(r, sp)) goto stackFailure; \
        COUNT_EXECUTION();                                         \
        goto* table[*ip & 0xFF];                                   \
    } while (0)
#else
#define CASE(label) case label:
#define DEFAULT_CASE default:
#define DISPATCH() goto dispatch
#define DISPATCH_SAME_STACK() goto dispatch
#define DISPATCH_MOVED(delta) goto dispatch
#endif

    LOAD_REGS();
#if VORTALIS_COMPUTED_GOTO
    DISPATCH();
    {
#else
dispatch:
    if (!stackInRange(r, sp)) goto stackFailure;
    if constexpr (kProfile) ++counts[ip - codeBase];
    switch (*ip & 0xFF) {
#endif

        // Block copies may use up the countdown without a branch; the clock is
        // then read right after them.
#define PLAIN_CASE(name)                                  \
    CASE(name) {                                          \
        if (!stepTos<name>(r, sp, ip)) goto fail;         \
        ip += 2;                                          \
        if constexpr (copiesBlocks(name)) {               \
            if (r.countdown <= 0) READ_CLOCK();           \
        }                                                 \
        if constexpr (stackDelta(name) == kVariableDelta) \
            DISPATCH();                                   \
        else                                              \
            DISPATCH_MOVED(stackDelta(name));             \
    }
#define OPCODE(name, code, kind, flow) OPCODE_##flow(name)
#define OPCODE_PLAIN(name) PLAIN_CASE(name)
#define OPCODE_CONTROL(name)
#include "vm/opcodes.def"
#undef OPCODE_CONTROL
#undef OPCODE_PLAIN
#undef OPCODE
#undef PLAIN_CASE

#if VORTALIS_COMPUTED_GOTO
#define SUPER_CASE(code) L_S##code:
#else
#define SUPER_CASE(code) case code:
#endif
        // A run whose every position, the one after it included, lies inside the
        // stack needs no stack test at all.
#define SUPER(code, ...)                                                     \
    SUPER_CASE(code) {                                                       \
        constexpr RunReach whole = wholeRunReach<__VA_ARGS__>();             \
        if constexpr (whole.known) {                                         \
            if (reachInRange<whole.low, whole.high>(r, sp)) {                \
                if (!runFusedUntested<__VA_ARGS__>(r, sp, ip)) goto fail;    \
                ip += 2 * std::initializer_list<int>{__VA_ARGS__}.size();    \
                if constexpr (anyCopiesBlocks<__VA_ARGS__>()) {              \
                    if (r.countdown <= 0) READ_CLOCK();                      \
                }                                                            \
                DISPATCH_SAME_STACK();                                       \
            }                                                                \
            Regs copy = r;                                                   \
            uint32_t* top = sp;                                              \
            bool done = runFusedTestedOutOfLine<__VA_ARGS__>(copy, top, ip); \
            sp = top;                                                        \
            r.countdown = copy.countdown;                                    \
            r.tos = copy.tos;                                                \
            r.nos = copy.nos;                                                \
            if (!done) goto fail;                                            \
        } else if (!runFused<__VA_ARGS__>(r, sp, ip)) {                      \
            goto fail;                                                       \
        }                                                                    \
        ip += 2 * std::initializer_list<int>{__VA_ARGS__}.size();            \
        if constexpr (anyCopiesBlocks<__VA_ARGS__>()) {                      \
            if (r.countdown <= 0) READ_CLOCK();                              \
        }                                                                    \
        DISPATCH();                                                          \
    }
#include "vm/superinstructions.def"
#undef SUPER
#undef SUPER_CASE

        CASE(STOREFUNC) {
            int32_t target = asInt(*sp--);
            uint32_t* top = sp;  // a copy, so that sp itself never has its address taken
            bool terminated = storeFunction(functions, top, r.stackBase, target, state.errorFlag);
            sp = top;
            if (!terminated) goto stackFailure;
            reloadTos(r, sp);
            ip += 2;
            DISPATCH();
        }
        CASE(FINDNATIVE) {
            uint32_t* top = sp;
            int index = findNative(top, r.stackBase);
            sp = top;
            if (index == kUnterminated) goto stackFailure;
            if (index < 0) goto fail;
            *++sp = static_cast<uint32_t>(index);
            reloadTos(r, sp);
            ip += 2;
            DISPATCH();
        }
        CASE(SETHEAPSIZE) {
            SAVE_REGS();
            if (!setHeapSize(asInt(OPERAND))) goto failSaved;
            LOAD_REGS();
            ip += 2;
            DISPATCH();
        }
        CASE(UUID) {
            r.nos = r.tos;
            *++sp = r.tos = vmMachineId();
            ip += 2;
            DISPATCH();
        }
        CASE(VERSIONCHECK) {
            if (OPERAND != kVMImageVersion) {
                vmLog('S', "Code from wrong Vortalis version. Is 0x%08X, expecting 0x%08x\n",
                      OPERAND, kVMImageVersion);
                goto fail;
            }
            ip += 2;
            DISPATCH();
        }
        CASE(CALL) {
            if (callStack.size() >= static_cast<size_t>(kMaxCallDepth)) {
                vmLog('S', "Max levels of recursion (%d) reached", kMaxCallDepth);
                goto fail;
            }
            const uint32_t* callSite = ip;
            JUMP_TO(OPERAND);
            callStack.push_back({positionOf(codeBase, callSite), r.fp});
            r.fp = static_cast<int32_t>(sp - r.stackBase) + 1;
            r.frameAddr = static_cast<uint32_t>(r.stackBase - r.mem) + static_cast<uint32_t>(r.fp);
            DISPATCH();
        }
        CASE(NATIVE) {
            uint32_t address = OPERAND;
            if (address >= r.memSize) {
                failMemory(codeBase, ip, address);
                goto fail;
            }
            int32_t index = asInt(r.mem[address]);
            if (index < 0 || index >= nativeCount) {
                vmLog('S', "Invalid native function call (%d)\n", index);
                goto fail;
            }
            const NativeEntry& native = natives[index];
            SAVE_REGS();
            state.currentOp = POSITION;
            native.handler(&state);
            state.currentOp = 0;
            LOAD_REGS();
            if (state.errorFlag) {
                vmLog('S', "Call to %s caused an error at %d\n", native.signature.c_str(),
                      POSITION);
                goto fail;
            }
            ip += 2;
            if (!running) goto stopBySuspension;
            // Flagged natives read the clock at once. Every native also costs
            // branches of the countdown, so that a run of calls without
            // branches cannot outlast its budget unnoticed.
            r.countdown -= kNativeCost;
            if (native.timeCheck || r.countdown <= 0) READ_CLOCK();
            DISPATCH();
        }
        CASE(POP_MULTIPLE_RETURN) {
            sp -= asInt(OPERAND);
            reloadTos(r, sp);
            goto doReturn;
        }
        CASE(RETURN) {
            goto doReturn;
        }
        CASE(J) {
            JUMP_TO(OPERAND);
            COUNT_BRANCH();
            DISPATCH_SAME_STACK();
        }
        CASE(JZ) {
            uint32_t condition = r.tos;
            --sp;
            r.tos = r.nos;
            r.nos = sp[-1];
            if (condition == 0)
                JUMP_TO(OPERAND);
            else
                ip += 2;
            COUNT_BRANCH();
            DISPATCH_MOVED(-1);
        }
        CASE(JNZ) {
            uint32_t condition = r.tos;
            --sp;
            r.tos = r.nos;
            r.nos = sp[-1];
            if (condition != 0)
                JUMP_TO(OPERAND);
            else
                ip += 2;
            COUNT_BRANCH();
            DISPATCH_MOVED(-1);
        }
        CASE(COPYVAR_LITERAL_INTLT_JZ) {
            // Four slots: local index, limit, (unused), target. The padding after
            // the code keeps all four inside the buffer.
            uint32_t address = r.frameAddr + OPERAND;
            if (address >= r.memSize) {
                failMemory(codeBase, ip, address);
                goto fail;
            }
            if (asInt(r.mem[address]) < asInt(ip[3]))
                ip += 8;
            else
                JUMP_TO(ip[7]);
            COUNT_BRANCH();
            DISPATCH_SAME_STACK();
        }
        DEFAULT_CASE {
            if (ip > codeLast)
                vmLog('S', "Execution ran past the end of the code at %d\n", POSITION);
            else
                vmLog('S', "Op %d unimplemented\n", asInt(ip[0]));
            goto fail;
        }
    }  // switch or block

doReturn:
    if (callStack.empty()) {
        SAVE_REGS();
        interruptedByTime = 0;
        running = 0;
        return true;
    } else {
        CallFrame frame = callStack.back();
        callStack.pop_back();
        r.fp = frame.fp;
        r.frameAddr = static_cast<uint32_t>(r.stackBase - r.mem) + static_cast<uint32_t>(r.fp);
        ip = codeBase + frame.position + 2;
        DISPATCH();
    }

stopByTime:
    vmLog('I', "Breaking execution because too long (%dms)\n",
          static_cast<int>(osTickCount() - start));
    SAVE_REGS();
    callStack.push_back({POSITION, r.fp});
    interruptedByTime = 1;
    running = 0;
    return false;

stopBySuspension:
    SAVE_REGS();
    callStack.push_back({POSITION, r.fp});
    interruptedByTime = 0;
    running = 0;
    return false;

stackFailure:
    failStack(codeBase, ip);
fail:
    SAVE_REGS();
failSaved:
    state.errorFlag = 1;
    running = 0;
    return true;

#undef CASE
#undef DEFAULT_CASE
#undef DISPATCH
#undef DISPATCH_SAME_STACK
#undef DISPATCH_MOVED
#undef COUNT_EXECUTION
#undef COUNT_BRANCH
#undef READ_CLOCK
#undef JUMP_TO
#undef POSITION
#undef OPERAND
#undef SAVE_REGS
#undef LOAD_REGS
}

template bool CVMExec::runLoop<false>(int32_t, int32_t, uint32_t);
#if VORTALIS_VM_PROFILE
template bool CVMExec::runLoop<true>(int32_t, int32_t, uint32_t);
#endif
