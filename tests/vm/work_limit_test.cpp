// The bounds that fuzzers and tools put on arbitrary images: a work limit
// stops endless runs like a time budget (resumably, wherever the branch
// landed), and a smaller heap layout changes the size of new VMs only.
#include "tests/vm/vm_fixture.h"
#include "vm/memMgr.h"

namespace {

class WorkLimit : public VmTest {
protected:
    void TearDown() override {
        vmSetWorkLimit(0);
        vmSetHeapLayout(CVMMemMgr::kHeapWords, CVMMemMgr::kStackWords);
        VmTest::TearDown();
    }
};

// Counts turns in local 0 forever.
const char* const kEndless =
    ".func \"V main()\" main\nmain:\n    LITERAL 0\nloop:\n    REFVAR 0\n"
    "    LITERALINCREMENT 1\n    J loop\n";

TEST_F(WorkLimit, StopsAnEndlessLoopAfterAboutThatManyBranchesAndResumes) {
    vmSetWorkLimit(3000);
    VMState* vm = load(kEndless);
    ASSERT_EQ(vm->errorFlag, 0);
    EXPECT_FALSE(vmExecuteFunction(vm, "V main()", nullptr, 0, 0));
    EXPECT_TRUE(vmInterruptedByTime(vm));
    EXPECT_TRUE(vmIsStopped(vm));
    uint32_t turns = vm->stackBase[1];
    EXPECT_GE(turns, 3000u);
    EXPECT_LT(turns, 3100u);
    // The next stretch continues the same loop.
    EXPECT_FALSE(vmResume(vm, 0));
    EXPECT_GE(vm->stackBase[1], 2 * turns - 10);
    EXPECT_EQ(vm->errorFlag, 0);
    // Without a limit the countdown alone never stops a run without a budget:
    // a loop that ends by itself runs to its end.
    vmSetWorkLimit(0);
    VMState* counted = load(
        ".func \"V main()\" main\nmain:\n    LITERAL 0\nloop:\n    COPYVAR 0\n"
        "    LITERAL 50000\n    INTLT\n    JZ done\n    REFVAR 0\n    LITERALINCREMENT 1\n"
        "    J loop\ndone:\n    RETURN\n");
    EXPECT_TRUE(vmExecuteFunction(counted, "V main()", nullptr, 0, 0));
    EXPECT_EQ(counted->stackBase[1], 50000u);
}

TEST_F(WorkLimit, BranchesAndBlockCopiesSpendExactlyTheirShare) {
    // The countdown runs out on the second branch past it; the limit then
    // ends the run at once (3000) or after a further countdown (12000).
    const char* copying =
        ".heap 64\n.func \"V main()\" main\nmain:\n    LITERAL 0\nloop:\n    REFVAR 0\n"
        "    LITERALINCREMENT 1\n    REF 1\n    REF 20\n    MEMCPY 40\n    J loop\n";
    struct Case {
        const char* source;
        uint32_t limit, first, second;
    };
    const Case cases[] = {{kEndless, 3000, 3002, 6004},
                          {kEndless, 12000, 20004, 40008},
                          {copying, 3000, 1501, 3002},
                          {copying, 25001, 15003, 30006}};
    for (const Case& c : cases) {
        vmSetWorkLimit(c.limit);
        VMState* vm = load(c.source);
        EXPECT_FALSE(vmExecuteFunction(vm, "V main()", nullptr, 0, 0));
        EXPECT_EQ(vm->stackBase[1], c.first) << c.limit;
        EXPECT_FALSE(vmResume(vm, 0));
        EXPECT_EQ(vm->stackBase[1], c.second) << c.limit;
    }
}

TEST_F(WorkLimit, FusedRunsOnAStackTooSmallForTheirFastTestFailLikePlainCode) {
    // Eight words leave no room for the untested path (and just enough for
    // setup to register a short name); runs still fit, or fail at the same
    // instruction as unfused code.
    vmSetHeapLayout(5000, 8);
    const std::string head = ".func \"V m()\" main\nmain:\n";
    const std::string fits =
        "    LITERAL 1\n    LITERAL 2\n    REF 3\n    DEREF\n"
        "    LITERAL 4\n    INTADD\n    COPYVAR 0\n    COPYVAR 1\n"
        "    INTMUL\n    INTADD\n    RETURN\n";
    const std::string bodies[] = {fits, "    LITERAL 9\n    LITERAL 9\n    LITERAL 9\n" + fits};
    for (int overflows = 0; overflows < 2; ++overflows) {
        std::vector<std::string> logs[2];
        uint32_t tops[2] = {};
        for (bool fused : {true, false}) {
            messages.clear();
            VMState* vm = load(head + bodies[overflows], fused);
            EXPECT_EQ(vm->errorFlag, 0);
            run(vm, "V m()");
            logs[fused] = messages;
            tops[fused] = vm->errorFlag ? 0xFFFFFFFF : *vm->stackPointer;
        }
        EXPECT_EQ(logs[0], logs[1]);
        EXPECT_EQ(tops[0], tops[1]);
        EXPECT_EQ(logged("Stack pointer out of range"), overflows == 1);
        if (overflows == 0) {
            EXPECT_EQ(tops[0], 6u);  // 0 + 4 + 1 * 2
        }
    }
    EXPECT_EQ(count("Stack pointer out of range"), 1u);
}

TEST_F(WorkLimit, ASmallerHeapLayoutShrinksNewVmsOnly) {
    VMState* before = load(".heap 1000\n.func \"V main()\" main\nmain:\n    RETURN\n");
    vmSetHeapLayout(5000, 700);
    VMState* after = load(".heap 1000\n.func \"V main()\" main\nmain:\n    RETURN\n");
    EXPECT_EQ(before->memorySize, 1000u + CVMMemMgr::kHeapWords);
    EXPECT_EQ(after->memorySize, 6000u);
    EXPECT_EQ(after->stackBase - after->memory, 1001);
    // The stack test follows the smaller stack: 699 pushes fit, 700 do not.
    VMState* fits = load(".func \"V main()\" main\nmain:\n    PUSH_MULTIPLE 699\n    RETURN\n");
    EXPECT_TRUE(run(fits, "V main()"));
    EXPECT_EQ(fits->errorFlag, 0);
    VMState* over = load(".func \"V main()\" main\nmain:\n    PUSH_MULTIPLE 700\n    RETURN\n");
    run(over, "V main()");
    EXPECT_EQ(over->errorFlag, 1);
    EXPECT_TRUE(logged("Stack pointer out of range"));
}

}  // namespace
