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
