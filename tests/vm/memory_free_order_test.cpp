// The heap's area list against a reference allocator written out here: blocks
// of distinct sizes freed in every order, long seeded random sequences of
// allocations, frees and double frees, and the guards that stop a free from
// touching the list. Each step compares the whole list, so a merge that skips
// a neighbour, a split at the wrong place or a reuse of the wrong hole shows
// up at the step that caused it.
#include <algorithm>
#include <numeric>
#include <random>
#include <sstream>

#include "tests/vm/vm_fixture.h"
#include "vm/memMgr.h"
#include "vm/vmMemory.h"

namespace {

using MemoryFreeOrder = VmTest;
constexpr uint32_t kLimit = 1u << 28;
constexpr int32_t kBase = 37;

// First fit over guarded areas, split on allocation, merge with either free
// neighbour on release: the heap's rules in their plainest form.
struct ReferenceHeap {
    std::vector<MemArea> areas{{kBase, CVMMemMgr::kStackWords + 2, 1},
                               {kBase + CVMMemMgr::kStackWords + 2,
                                CVMMemMgr::kHeapWords - CVMMemMgr::kStackWords - 2, 0}};

    int32_t allocate(int32_t n) {
        int32_t m = n + 2;
        for (size_t i = 0; i < areas.size(); ++i) {
            if (areas[i].used || areas[i].size < m) continue;
            if (areas[i].size > m)
                areas.insert(areas.begin() + i + 1,
                             MemArea{areas[i].start + m, areas[i].size - m, 0});
            areas[i].size = m;
            areas[i].used = 1;
            return areas[i].start + 1;
        }
        return 0;  // the sequences below never need the block to grow
    }

    bool release(int32_t address) {
        size_t i = 0;
        while (i < areas.size() && areas[i].start + 1 != address)
            ++i;
        if (i == areas.size()) return false;
        areas[i].used = 0;
        if (i + 1 < areas.size() && !areas[i + 1].used) {
            areas[i].size += areas[i + 1].size;
            areas.erase(areas.begin() + i + 1);
        }
        if (i > 0 && !areas[i - 1].used) {
            areas[i - 1].size += areas[i].size;
            areas.erase(areas.begin() + i);
        }
        return true;
    }
};

std::string describe(const std::vector<MemArea>& areas) {
    std::ostringstream text;
    for (const MemArea& a : areas)
        text << "{" << a.start << "," << a.size << (a.used ? ",used} " : ",free} ");
    return text.str();
}

// The manager's list equals the model's, and (unless told) every guard the layout promises
// is in memory.
void expectSame(const CVMMemMgr& mm, const ReferenceHeap& model, bool guards = true) {
    ASSERT_EQ(describe(mm.areas()), describe(model.areas));
    if (!guards) return;
    for (const MemArea& a : mm.areas()) {
        EXPECT_EQ(mm.storage()[a.start], CVMMemMgr::kGuard) << "first word of " << a.start;
        if (a.used) {
            EXPECT_EQ(mm.storage()[a.start + a.size - 1], CVMMemMgr::kGuard)
                << "last word of " << a.start;
        }
    }
}

// Allocates blocks of `sizes` (and a fence behind them when asked), frees
// them in `order`, then takes the hole they leave with one allocation.
void freeInOrder(const std::vector<int32_t>& sizes, const std::vector<int>& order, bool fence) {
    CVMMemMgr mm(kBase, kLimit);
    ReferenceHeap model;
    std::vector<int32_t> addresses;
    for (int32_t size : sizes) {
        addresses.push_back(mm.allocate(size));
        EXPECT_EQ(addresses.back(), model.allocate(size));
    }
    if (fence) {
        EXPECT_EQ(mm.allocate(3), model.allocate(3));
    }
    expectSame(mm, model);
    for (int index : order) {
        SCOPED_TRACE("freeing block " + std::to_string(index));
        EXPECT_TRUE(mm.vfree(addresses[index]));
        model.release(addresses[index]);
        expectSame(mm, model);
        if (testing::Test::HasFatalFailure()) return;
    }
    // The blocks' usable words plus the guards between them.
    int32_t hole = std::accumulate(sizes.begin(), sizes.end(), 0) + 2 * (int32_t(sizes.size()) - 1);
    EXPECT_EQ(mm.allocate(hole), addresses[0]);
    model.allocate(hole);
    expectSame(mm, model);
}

TEST_F(MemoryFreeOrder, EveryOrderOfThreeAndFourBlocks) {
    const std::vector<int32_t> sizes{5, 11, 2, 17};
    for (size_t count : {3u, 4u}) {
        std::vector<int> order(count);
        std::iota(order.begin(), order.end(), 0);
        std::vector<int32_t> blocks(sizes.begin(), sizes.begin() + count);
        do {
            for (bool fence : {true, false}) {
                std::string trace = fence ? "fenced, order" : "before the free tail, order";
                for (int i : order)
                    trace += " " + std::to_string(i);
                SCOPED_TRACE(trace);
                freeInOrder(blocks, order, fence);
                if (HasFatalFailure()) return;
            }
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// Random allocations, frees, double frees and unknown addresses; a hole is
// reused by a later allocation whenever one fits.
TEST_F(MemoryFreeOrder, SeededRandomSequencesFollowTheModel) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        CVMMemMgr mm(kBase, kLimit);
        ReferenceHeap model;
        std::vector<int32_t> live, freed;
        for (int step = 0; step < 300; ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            unsigned roll = random() % 20;
            if (roll < 10 || live.empty()) {
                int32_t n = static_cast<int32_t>(random() % 40);
                int32_t address = mm.allocate(n);
                EXPECT_EQ(address, model.allocate(n));
                live.push_back(address);
                freed.erase(std::remove(freed.begin(), freed.end(), address), freed.end());
            } else if (roll < 18 || freed.empty()) {
                size_t pick = random() % live.size();
                int32_t address = live[pick];
                live.erase(live.begin() + pick);
                EXPECT_TRUE(mm.vfree(address));
                model.release(address);
                freed.push_back(address);
            } else {
                // Freed again: still an area of its own only when no free
                // neighbour before it swallowed it. Or an address inside a block.
                int32_t address =
                    roll == 18 ? freed[random() % freed.size()] : live[random() % live.size()] + 1;
                EXPECT_EQ(mm.vfree(address), model.release(address));
            }
            expectSame(mm, model);
            if (HasFatalFailure()) return;
        }
        EXPECT_EQ(mm.totalWords(), kBase + CVMMemMgr::kHeapWords);
    }
    EXPECT_TRUE(logged("SCVMMemMgr::vfree area passed to free is not recognized\n"));
}

// A broken guard stops the free before either merge: the list is untouched
// and the block can still be freed once the guard is mended.
TEST_F(MemoryFreeOrder, BrokenGuardsLeaveBothNeighboursAlone) {
    for (int32_t offset : {-1, 12}) {  // the first guard, then the last
        SCOPED_TRACE("guard at offset " + std::to_string(offset));
        CVMMemMgr mm(kBase, kLimit);
        ReferenceHeap model;
        int32_t before = mm.allocate(7), middle = mm.allocate(12), after = mm.allocate(4);
        model.allocate(7), model.allocate(12), model.allocate(4);
        EXPECT_NE(mm.allocate(9), 0);  // fence
        model.allocate(9);
        mm.vfree(before), mm.vfree(after);
        model.release(before), model.release(after);
        mm.storage()[middle + offset] = 0x12345678;
        messages.clear();
        EXPECT_FALSE(mm.vfree(middle));
        EXPECT_TRUE(logged(offset < 0 ? "Start block guard broken" : "Final block guard broken"));
        expectSame(mm, model, false);
        mm.storage()[middle + offset] = CVMMemMgr::kGuard;
        EXPECT_TRUE(mm.vfree(middle));
        model.release(middle);
        expectSame(mm, model);
        EXPECT_EQ(mm.allocate(7 + 12 + 4 + 4), before);  // the three as one hole
    }
}

// vcheck passes only when both addresses, in either position, lie inside.
TEST_F(MemoryFreeOrder, VcheckTestsEachAddressOnItsOwn) {
    VMState* vm = load(".heap 300\n");
    ASSERT_EQ(vm->errorFlag, 0);
    const uint32_t last = vm->memorySize - 1;
    struct Case {
        uint32_t a, b;
        bool inside;
    };
    for (Case c :
         {Case{last, 5, true}, Case{5, last, true}, Case{last + 1, 5, false},
          Case{5, last + 1, false}, Case{0xFFFFFFFFu, 0, false}, Case{0, 0xFFFFFFFFu, false}}) {
        SCOPED_TRACE(std::to_string(c.a) + ", " + std::to_string(c.b));
        vm->errorFlag = 0;
        messages.clear();
        EXPECT_EQ(vcheck(vm, c.a, c.b), c.inside);
        EXPECT_EQ(vm->errorFlag, c.inside ? 0 : 1);
        EXPECT_EQ(logged("Svcheck failed\n"), !c.inside);
    }
}

}  // namespace
