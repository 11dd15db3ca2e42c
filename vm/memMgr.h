// CVMMemMgr: one VM's word-addressed memory. Words 0 .. base-1 are the static
// area, the rest is a heap of guarded areas (first fit, split on allocation,
// merge on release) whose first allocation is the VM stack. A full heap
// doubles the whole block, which may move it.
//
// The block is allocated with kSlackWords of padding on either side that
// belong to no address: the interpreter checks the stack pointer once per
// instruction, and the padding keeps the few fixed pushes and pops of a
// single instruction inside the allocation even when that check is about to
// fail.
#pragma once

#include <cstdint>
#include <vector>

struct MemArea {
    int32_t start;  // word index of the first guard
    int32_t size;   // words, guards included
    uint8_t used;
};

class CVMMemMgr {
public:
    static constexpr uint32_t kGuard = 0xCDCDCDCD;
    static constexpr int32_t kHeapWords = 0x800000;
    static constexpr int32_t kStackWords = 0x200000;
    static constexpr int32_t kSlackWords = 64;

    // Creates the block for `baseSize` static words plus the heap and
    // allocates the stack. On failure logs and leaves totalWords() at 0.
    // `limitWords` bounds the block, now and when it grows. The heap and
    // stack sizes default to the ones images are written for.
    CVMMemMgr(int32_t baseSize, uint32_t limitWords, int32_t heapWords = kHeapWords,
              int32_t stackWords = kStackWords);
    ~CVMMemMgr();
    CVMMemMgr(const CVMMemMgr&) = delete;
    CVMMemMgr& operator=(const CVMMemMgr&) = delete;

    // Usable words of `n` (plus two guards); returns the address handed out,
    // or 0 when no storage exists or the block cannot grow.
    int32_t allocate(int32_t n);
    // Releases the area handed out at `address`; false (with a message) when
    // the address is unknown or a guard is broken.
    bool vfree(int32_t address);
    // True when both addresses lie inside the block (unsigned comparison).
    bool rangeTest(uint32_t a, uint32_t b) const;

    int32_t totalWords() const { return totalWords_; }
    uint32_t* storage() const { return storage_; }
    int32_t stackStart() const { return stackStart_; }
    int32_t stackWords() const { return stackWords_; }
    const std::vector<MemArea>& areas() const { return areas_; }

private:
    bool grow();

    int32_t totalWords_ = 0;
    uint32_t* storage_ = nullptr;
    int32_t stackStart_ = 0;
    int32_t stackWords_ = 0;
    std::vector<MemArea> areas_;
    uint32_t* block_ = nullptr;  // storage_ - kSlackWords
    uint32_t limitWords_;
};
