// Running functions: budgets and resumption, suspension by a native, call
// depth, argument passing, stack dumps and the ways a run can fail.
#include "app/clock.h"
#include "tests/vm/vm_fixture.h"
#include "vm/opcodes.h"

namespace {

using Interpreter = VmTest;

// Counts in static word `n` forever; a second function reads the count.
const char* kEndlessLoop = R"VSA(
.word n
.func "V loop()" loop
loop:
    REF n
    LITERALINCREMENT 1
    J loop
)VSA";

// The interpreter keeps the top two stack words in registers; a store into
// the stack itself (here into locals, which live there) must reach the
// operands that later instructions take from below the top, fused or not.
TEST_F(Interpreter, StoresIntoTheStackReachTheWordsBelowTheTop) {
    const char* source = R"VSA(
.func "V main()" main
main:
    LITERAL 5               ; local 0
    LITERAL 11              ; local 1
    REFVAR 1
    REFVAR 0
    LITERAL 40
    ASSIGN                  ; local 0 = 40, its address stays on top
    POP                     ; the top is local 1's address again
    LITERAL 3
    ASSIGNPOP               ; local 1 = 3
    REFVAR 1
    LITERALINCREMENT 100    ; local 1 = 103
    COPYVAR 0
    COPYVAR 1
    INTSUB                  ; 40 - 103
    COPYVAR 1
    SWAP
    INTSUB                  ; 103 - (40 - 103)
    RETURN
)VSA";
    for (bool fused : {true, false}) {
        VMState* vm = load(source, fused);
        EXPECT_TRUE(run(vm, "V main()"));
        EXPECT_EQ(vm->errorFlag, 0) << fused;
        EXPECT_EQ(vm->stackBase[1], 40u) << fused;
        EXPECT_EQ(vm->stackBase[2], 103u) << fused;
        EXPECT_EQ(vm->stackPointer - vm->stackBase, 3) << fused;
        EXPECT_EQ(static_cast<int32_t>(*vm->stackPointer), 166) << fused;
    }
}

TEST_F(Interpreter, BudgetStopsALoopAndResumeContinuesIt) {
    VMState* vm = load(kEndlessLoop);
    ASSERT_EQ(vm->errorFlag, 0);
    EXPECT_FALSE(run(vm, "V loop()", 5));
    EXPECT_TRUE(vmInterruptedByTime(vm));
    EXPECT_TRUE(vmIsStopped(vm));
    EXPECT_EQ(count("IBreaking execution because too long ("), 1u);
    uint32_t first = vm->memory[1];
    // The clock is read only every 10,000 branches, so at least that many ran.
    EXPECT_GT(first, 10000u);

    // A new function cannot start while the loop is pending, and the pending
    // frame survives the attempt.
    EXPECT_TRUE(run(vm, "V loop()", 5));
    EXPECT_TRUE(
        logged("STrying to start V loop() while we'd stopped execution on another function\n"));
    EXPECT_EQ(vm->errorFlag, 1);
    vm->errorFlag = 0;

    EXPECT_FALSE(vmResume(vm, 5));
    EXPECT_GT(vm->memory[1], first);  // continued counting, not restarted
    EXPECT_EQ(count("IBreaking execution because too long ("), 2u);
}

TEST_F(Interpreter, NoBudgetMeansNoTimeStop) {
    VMState* vm = load(R"VSA(
.word n
.func "V count()" count
count:
    REF n
    LITERALINCREMENT 1
    REF n
    DEREF
    LITERAL 3000000
    INTLT
    JNZ count
    RETURN
)VSA");
    EXPECT_TRUE(run(vm, "V count()", 0));
    EXPECT_EQ(vm->memory[1], 3000000u);
    EXPECT_FALSE(logged("Breaking execution"));
    EXPECT_FALSE(vmInterruptedByTime(vm));
}

TEST_F(Interpreter, ResumeWithNothingPendingFails) {
    VMState* vm = load(kEndlessLoop);
    EXPECT_TRUE(vmResume(vm, 0));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("WVM: Trying to resume when we didn't have anything *to* resume\n"));
}

// depth(d): calls itself while d > 0, so depth(d) holds d + 1 frames.
const char* kRecursion = R"VSA(
.func "V start(I)" start
start:
    COPYVAR -1
    CALL depth
    RETURN
depth:
    COPYVAR -1
    JZ bottom
    COPYVAR -1
    LITERALINTADD -1
    CALL depth
    POP
bottom:
    RETURN
)VSA";

TEST_F(Interpreter, HundredFramesAreAllowedTheHundredAndFirstFails) {
    VMState* vm = load(kRecursion);
    uint32_t depth = 99;  // start + depth(99..0) = 100 CALLs
    EXPECT_TRUE(vmExecuteFunction(vm, "V start(I)", &depth, 1, 0));
    EXPECT_EQ(vm->errorFlag, 0) << allMessages();
    depth = 100;
    EXPECT_TRUE(vmExecuteFunction(vm, "V start(I)", &depth, 1, 0));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SMax levels of recursion (100) reached"));
}

int suspensions = 0;
void suspendingNative(VMState* s) {
    ++suspensions;
    vmSuspend(s);
}

TEST_F(Interpreter, NativeSuspensionStopsAfterTheNativeAndResumes) {
    vmRegisterNative("V testSuspend()", suspendingNative, 0);
    VMState* vm = load(R"VSA(
.native pause "V testSuspend()"
.word n
.func "V render()" render
render:
    REF n
    LITERALINCREMENT 1
    NATIVE pause
    REF n
    LITERALINCREMENT 10
    RETURN
)VSA");
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_FALSE(run(vm, "V render()", 1000));
    EXPECT_FALSE(vmInterruptedByTime(vm));
    EXPECT_EQ(vm->memory[2], 1u);
    EXPECT_EQ(suspensions, 1);
    EXPECT_TRUE(vmResume(vm, 1000));
    EXPECT_EQ(vm->memory[2], 11u);
    EXPECT_EQ(vm->errorFlag, 0);
}

void slowNative(VMState*) {
    osSleep(3);
}

TEST_F(Interpreter, SlowNativeWithTimeCheckStopsTheRunAtOnce) {
    vmRegisterNative("V testSlow()", slowNative, 1);
    VMState* vm = load(R"VSA(
.native slow "V testSlow()"
.word n
.func "V main()" main
main:
    NATIVE slow
    REF n
    LITERALINCREMENT 1
    RETURN
)VSA");
    // No branch runs, so only the native's time-check can stop the run.
    EXPECT_FALSE(run(vm, "V main()", 1));
    EXPECT_TRUE(vmInterruptedByTime(vm));
    EXPECT_EQ(vm->memory[2], 0u);
    EXPECT_TRUE(vmResume(vm, 0));
    EXPECT_EQ(vm->memory[2], 1u);
    // Without a budget the same native never stops the run.
    EXPECT_TRUE(run(vm, "V main()", 0));
    EXPECT_EQ(vm->memory[2], 2u);
}

// Code that branches rarely but copies much, or calls many natives, still
// reads the clock: neither kind of run can outlast its budget unnoticed.
TEST_F(Interpreter, BlockCopiesAndNativeCallsSpendTheCountdown) {
    std::string copies = ".heap 10\n.word done\n.func \"V main()\" main\nmain:\n";
    for (int i = 0; i < 64; ++i)
        copies += "LITERAL 3000000\nLITERAL 5000000\nMEMCPY 0x100000\n";
    copies += "REF done\nLITERAL 1\nASSIGNPOP\nRETURN\n";
    VMState* vm = load(copies);
    EXPECT_FALSE(run(vm, "V main()", 1));
    EXPECT_TRUE(vmInterruptedByTime(vm));
    EXPECT_EQ(vm->memory[1], 0u);
    while (!vmResume(vm, 1)) {
    }
    EXPECT_EQ(vm->memory[1], 1u);
    EXPECT_EQ(vm->errorFlag, 0);

    vmRegisterNative(
        "V testSleep()", [](VMState*) { osSleep(1); }, 0);
    std::string calls = ".native nap \"V testSleep()\"\n.word n\n.func \"V main()\" main\nmain:\n";
    for (int i = 0; i < 250; ++i)
        calls += "NATIVE nap\nREF n\nLITERALINCREMENT 1\n";
    calls += "RETURN\n";
    VMState* napper = load(calls);
    EXPECT_FALSE(run(napper, "V main()", 5));
    EXPECT_TRUE(vmInterruptedByTime(napper));
    EXPECT_LT(napper->memory[2], 250u);
    EXPECT_GT(napper->memory[2], 0u);
}

TEST_F(Interpreter, ArgumentsArriveBelowTheFrame) {
    VMState* vm = load(R"VSA(
.word a
.word b
.func "V set(I,F)" set
set:
    REF a
    COPYVAR -2
    ASSIGNPOP
    REF b
    COPYVAR -1
    ASSIGNPOP
    RETURN
)VSA");
    EXPECT_TRUE(vma_executeArgs(vm, "V set(I,F)", -7, 2.5));
    EXPECT_EQ(vm->errorFlag, 0);
    EXPECT_EQ(static_cast<int32_t>(vm->memory[1]), -7);
    EXPECT_EQ(asFloat(vm->memory[2]), 2.5f);

    EXPECT_TRUE(vma_executeArgs(vm, "V set I"));
    EXPECT_TRUE(logged("Wvma_executeArgs: No Opening bracket found in V set I\n"));
    vm->errorFlag = 0;
    EXPECT_TRUE(vma_executeArgs(vm, "V set(I,X)", 1));
    EXPECT_TRUE(logged("Wvma_executeArgs: Args format not understood at char 8, 'V set(I,X)'\n"));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(vma_executeArgs(vm, "V set(II)", 1, 2));
    EXPECT_TRUE(logged("Wvma_executeArgs: Args format not understood at char 7, 'V set(II)'\n"));
}

TEST_F(Interpreter, UnknownFunctionAndBadEntryFail) {
    VMState* vm = load(kEndlessLoop);
    EXPECT_TRUE(run(vm, "V nothing()"));
    EXPECT_TRUE(logged("SNo function 'V nothing()'\n"));
    EXPECT_EQ(vm->errorFlag, 1);
    VMState* bad = load(".func \"V far()\" far\n.equ far 5000\n");
    EXPECT_TRUE(run(bad, "V far()"));
    EXPECT_TRUE(logged("SCode pointer for function 'V far()' is out of bounds (5000)\n"));
}

struct Failure {
    const char* body;
    const char* message;
};

class FailingCode : public VmTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailingCode, FailsTheRunWithItsMessage) {
    std::string source = std::string(".func \"V main()\" main\nmain:\n") + GetParam().body;
    VMState* vm = load(source);
    ASSERT_EQ(vm->errorFlag, 0) << allMessages();
    EXPECT_TRUE(run(vm, "V main()"));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged(GetParam().message)) << allMessages();
    EXPECT_FALSE(vmIsStopped(vm));
}

INSTANTIATE_TEST_SUITE_P(
    Interpreter, FailingCode,
    ::testing::Values(
        Failure{"POP\nPOP\nRETURN\n",
                "SStack pointer out of range at     2:             POP 0x00000000\n"},
        Failure{"PUSH_MULTIPLE 0x200000\nRETURN\n", "SStack pointer out of range at     2:"},
        Failure{"LITERAL 0\nDEREF_MULTIPLE 0x300000\nRETURN\n",
                "SStack pointer out of range at     2:"},
        Failure{"J 7000\n", "SJump outside the code to 7000 at op 0\n"},
        Failure{"LITERAL 0\nJZ -2\n", "SJump outside the code to -2 at op 2\n"},
        Failure{"CALL 9999\n", "SJump outside the code to 9999 at op 0\n"},
        Failure{"COPYVAR 0x10000000\n", "SVM_CHECK_MEMORY_AREA: Out of bounds 0x"},
        Failure{"NATIVE 0x7FFFFFFF\n", "SVM_CHECK_MEMORY_AREA: Out of bounds 0x7FFFFFFF at op 0\n"},
        Failure{"NATIVE bad\n.word bad 999\n", "SInvalid native function call (999)\n"},
        Failure{"LITERALF 1\nLITERALF 2\nLITERALF 3\nLITERAL 0xFFFFFFF8\nVECTOR_TRANSFORM\n",
                "SVM_CHECK_MEMORY_AREA: Out of bounds 0xFFFFFFF8 at op 8\n"},
        Failure{"LITERAL 1\nLITERAL 2\nLITERAL 0x7FFFFFFF\nMATMUL\n",
                "SVM_CHECK_MEMORY_AREA: Out of bounds 0x7FFFFFFF at op 6\n"},
        Failure{"LITERAL 1\nLITERAL 20\nLITERAL 40\nLITERAL 60\nLITERAL 0x10000000\nMATLOOKAT\n",
                "SVM_CHECK_MEMORY_AREA: Out of bounds 0x10000000 at op 10\n"}));

TEST_F(Interpreter, UnassignedOpcodesFailWithTheWholeWord) {
    for (uint32_t opcode : {6u, 24u, 99u, 131u, 133u, 0x106u}) {
        messages.clear();
        std::vector<uint32_t> image = {op::SETHEAPSIZE, 10, opcode, 0, op::J, 0};
        VMState* vm = loadWords(image);
        EXPECT_EQ(vm->errorFlag, 1);
        EXPECT_TRUE(logged("SOp " + std::to_string(static_cast<int>(opcode)) + " unimplemented\n"))
            << opcode << ": " << allMessages();
    }
}

TEST_F(Interpreter, RunningPastTheLastInstructionFails) {
    VMState* vm = loadWords({op::SETHEAPSIZE, 10, op::NOP, 0});
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_TRUE(logged("SExecution ran past the end of the code at 4\n")) << allMessages();
}

TEST_F(Interpreter, StackDumpListsWordsAndCallSites) {
    vmRegisterNative("V testSuspend()", suspendingNative, 0);
    VMState* vm = load(R"VSA(
.native pause "V testSuspend()"
.func "V main()" main
main:
    LITERAL 0x11
    LITERAL 0x22
    CALL inner
    RETURN
inner:
    LITERAL 0x33
    NATIVE pause
    RETURN
)VSA");
    EXPECT_FALSE(run(vm, "V main()"));
    std::string dump = vmStackDump(vm);
    // A word at stack base + fp of a saved frame names that frame's position:
    // main's frame (fp 1, the CALL at 4) and the suspended continuation
    // (inner's fp 3, resuming at 12).
    EXPECT_EQ(dump, "  0x00000033 - called from 12\n  0x00000022\n  0x00000011 - called from 4\n");
    EXPECT_TRUE(vmResume(vm, 0));

    VMState* deep = load(
        ".func \"V main()\" main\nmain:\nPUSH_MULTIPLE 150\nCALL inner\n"
        "RETURN\ninner:\nNATIVE pause\nRETURN\n.native pause \"V testSuspend()\"\n");
    EXPECT_FALSE(run(deep, "V main()"));
    std::string long_dump = vmStackDump(deep);
    EXPECT_NE(long_dump.find("  More than 100 items in the stack...\n  Return stack:\n  8\n  2\n"),
              std::string::npos)
        << long_dump;
    EXPECT_TRUE(vmResume(deep, 0));
}

}  // namespace
