// The VM heap: layout, guards, first fit with split, merge on release,
// doubling, and the VM wrappers that rebase the stack after growth.
#include "vm/memMgr.h"
#include "tests/vm/vm_fixture.h"

namespace {

using MemMgr = VmTest;
constexpr uint32_t kLimit = 1u << 28;

TEST_F(MemMgr, LayoutAfterCreation) {
    CVMMemMgr mm(1000, kLimit);
    EXPECT_EQ(mm.totalWords(), 8389608);
    EXPECT_EQ(mm.stackStart(), 1001);
    ASSERT_EQ(mm.areas().size(), 2u);
    EXPECT_EQ(mm.areas()[0].start, 1000);
    EXPECT_EQ(mm.areas()[0].size, 2097154);
    EXPECT_TRUE(mm.areas()[0].used);
    EXPECT_EQ(mm.areas()[1].start, 1000 + 2097154);
    EXPECT_EQ(mm.areas()[1].size, 6291454);
    EXPECT_FALSE(mm.areas()[1].used);
    EXPECT_EQ(mm.storage()[1000], CVMMemMgr::kGuard);
    EXPECT_EQ(mm.storage()[1000 + 2097153], CVMMemMgr::kGuard);
    EXPECT_EQ(mm.storage()[8389607], CVMMemMgr::kGuard);
}

TEST_F(MemMgr, ExactFitThenDoubling) {
    CVMMemMgr mm(1000, kLimit);
    int32_t all = mm.allocate(6291452);
    EXPECT_EQ(all, 1000 + 2097154 + 1);
    EXPECT_EQ(mm.areas().size(), 2u);  // no split: the whole rest was taken
    int32_t more = mm.allocate(1);
    EXPECT_TRUE(logged("ICVMMemMgr: Reallocating VM Storage to 16779216 words\n"));
    EXPECT_EQ(mm.totalWords(), 16779216);
    EXPECT_GE(more, 8389608);
    EXPECT_LT(more, 16779216);
    EXPECT_EQ(mm.storage()[more - 1], CVMMemMgr::kGuard);
    EXPECT_EQ(mm.storage()[more + 1], CVMMemMgr::kGuard);
    EXPECT_EQ(mm.storage()[16779215], CVMMemMgr::kGuard);
}

TEST_F(MemMgr, GrowthBeyondTheLimitFailsAndKeepsMemory) {
    CVMMemMgr mm(10, 0x800000 + 10);
    int32_t a = mm.allocate(100);
    mm.storage()[a] = 1234;
    EXPECT_EQ(mm.allocate(0x700000), 0);
    EXPECT_TRUE(logged("SCVMMemMgr: Reallocation failed.\n"));
    EXPECT_EQ(mm.totalWords(), 0x800000 + 10);
    EXPECT_EQ(mm.storage()[a], 1234u);
    EXPECT_EQ(mm.allocate(-5), 0);
}

TEST_F(MemMgr, CreationBeyondTheLimitLeavesNoStorage) {
    CVMMemMgr mm(100, 1000);
    EXPECT_EQ(mm.totalWords(), 0);
    EXPECT_EQ(mm.storage(), nullptr);
    EXPECT_EQ(mm.stackStart(), 0);
    EXPECT_TRUE(logged("SCVMMemMgr::CVMMemMgr MALLOC RETURNED 0 for 33554832 bytes!\n"));
    EXPECT_EQ(mm.allocate(1), 0);
    EXPECT_FALSE(mm.vfree(1));
}

TEST_F(MemMgr, FreeTwiceSucceedsUnknownAddressFails) {
    CVMMemMgr mm(10, kLimit);
    int32_t a = mm.allocate(8);
    EXPECT_TRUE(mm.vfree(a));
    EXPECT_TRUE(mm.vfree(a));
    EXPECT_FALSE(mm.vfree(a + 1));
    EXPECT_TRUE(logged("SCVMMemMgr::vfree area passed to free is not recognized\n"));
}

TEST_F(MemMgr, BrokenGuardsAreDetected) {
    CVMMemMgr mm(10, kLimit);
    int32_t a = mm.allocate(4);
    mm.storage()[a + 4] = 0;  // just past the last usable word
    EXPECT_FALSE(mm.vfree(a));
    EXPECT_TRUE(logged("SCVMMemMgr::vfree Final block guard broken\n"));
    EXPECT_TRUE(mm.areas()[1].used);
    int32_t b = mm.allocate(4);
    mm.storage()[b - 1] = 7;
    EXPECT_FALSE(mm.vfree(b));
    EXPECT_TRUE(logged("SCVMMemMgr::vfree Start block guard broken\n"));
}

TEST_F(MemMgr, AdjacentFreedAreasMergeAndAreReused) {
    CVMMemMgr mm(10, kLimit);
    int32_t a = mm.allocate(10);
    int32_t b = mm.allocate(20);
    int32_t c = mm.allocate(5);  // keeps a and b away from the free tail
    size_t areas = mm.areas().size();
    EXPECT_TRUE(mm.vfree(a));
    EXPECT_TRUE(mm.vfree(b));
    EXPECT_EQ(mm.areas().size(), areas - 1);
    // Together they hold 12 + 22 words: 32 usable.
    EXPECT_EQ(mm.allocate(32), a);
    EXPECT_EQ(mm.areas().size(), areas - 1);
    EXPECT_TRUE(mm.vfree(c));  // merges into the free tail
    EXPECT_EQ(mm.areas().size(), areas - 2);
    EXPECT_FALSE(mm.areas().back().used);
}

TEST_F(MemMgr, RangeTestIsUnsigned) {
    CVMMemMgr mm(10, kLimit);
    EXPECT_TRUE(mm.rangeTest(0, 10 + 0x800000 - 1));
    EXPECT_FALSE(mm.rangeTest(0, 10 + 0x800000));
    EXPECT_FALSE(mm.rangeTest(0xFFFFFFFF, 0));
    EXPECT_TRUE(logged("SMemory address outside the VM's range\n"));
}

TEST_F(MemMgr, VmallocRebasesTheStackAndHonoursTheErrorFlag) {
    VMState* vm = load(".heap 1000\n");
    ASSERT_EQ(vm->errorFlag, 0);
    vm->stackPointer = vm->stackBase + 5;
    vm->stackPointer[0] = 0xABCD;
    EXPECT_EQ(vmalloc(vm, 6291452), 1000 + 2097154 + 1);
    uint32_t* before = vm->memory;
    int32_t fresh = vmalloc(vm, 1);
    EXPECT_GE(fresh, 8389608);
    EXPECT_EQ(vm->memorySize, 16779216u);
    EXPECT_EQ(vm->stackBase, vm->memory + 1001);
    EXPECT_EQ(vm->stackPointer, vm->stackBase + 5);
    EXPECT_EQ(*vm->stackPointer, 0xABCDu);
    (void)before;
    vfree(vm, 12345);
    EXPECT_TRUE(logged("Svfree failed\n"));
    EXPECT_EQ(vm->errorFlag, 1);
    EXPECT_EQ(vmalloc(vm, 1), 0);  // nothing is allocated once the flag is set
    size_t failures = count("vmalloc failed");
    EXPECT_EQ(failures, 0u);
    vm->errorFlag = 0;
    EXPECT_FALSE(vcheck(vm, 0, vm->memorySize));
    EXPECT_TRUE(logged("Svcheck failed\n"));
    EXPECT_EQ(vm->errorFlag, 1);
}

}  // namespace
