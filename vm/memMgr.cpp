#include "vm/memMgr.h"

#include <cstdlib>
#include <cstring>

#include "vm/vm.h"

namespace {

size_t blockBytes(int64_t words) {
    return static_cast<size_t>(words + 2 * CVMMemMgr::kSlackWords) * sizeof(uint32_t);
}

}  // namespace

CVMMemMgr::CVMMemMgr(int32_t baseSize, uint32_t limitWords, int32_t heapWords, int32_t stackWords)
    : limitWords_(limitWords) {
    int64_t total = static_cast<int64_t>(baseSize) + heapWords;
    uint32_t* block = nullptr;
    // Zeroed so that images see the same memory every run; calloc leaves
    // untouched pages to the system instead of writing them.
    if (baseSize >= 0 && total <= limitWords_)
        block = static_cast<uint32_t*>(std::calloc(blockBytes(total), 1));
    if (!block) {
        // Base sizes near the top of the int range ask for more than 4 GB,
        // which an int count of bytes would show wrapped.
        vmLog('S', "CVMMemMgr::CVMMemMgr MALLOC RETURNED 0 for %lld bytes!\n",
              static_cast<long long>(total) * 4);
        return;
    }
    block_ = block;
    storage_ = block + kSlackWords;
    totalWords_ = static_cast<int32_t>(total);
    areas_.push_back({baseSize, heapWords, 0});
    storage_[baseSize] = kGuard;
    storage_[totalWords_ - 1] = kGuard;
    stackWords_ = stackWords;
    stackStart_ = allocate(stackWords);
}

CVMMemMgr::~CVMMemMgr() {
    std::free(block_);
}

int32_t CVMMemMgr::allocate(int32_t n) {
    if (!storage_ || n < 0 || n > 0x3FFFFFFF) return 0;
    int32_t m = n + 2;
    for (;;) {
        for (size_t i = 0; i < areas_.size(); ++i) {
            MemArea& area = areas_[i];
            if (area.used || area.size < m) continue;
            if (area.size > m) {
                MemArea rest{area.start + m, area.size - m, 0};
                storage_[rest.start] = kGuard;
                area.size = m;
                areas_.insert(areas_.begin() + static_cast<long>(i) + 1, rest);
            }
            MemArea& taken = areas_[i];
            taken.used = 1;
            storage_[taken.start] = kGuard;
            storage_[taken.start + m - 1] = kGuard;
            return taken.start + 1;
        }
        if (!grow()) return 0;
    }
}

bool CVMMemMgr::grow() {
    int64_t newTotal = 2 * static_cast<int64_t>(totalWords_);
    vmLog('I', "CVMMemMgr: Reallocating VM Storage to %d words\n", static_cast<int>(newTotal));
    uint32_t* block = newTotal <= limitWords_
                          ? static_cast<uint32_t*>(std::realloc(block_, blockBytes(newTotal)))
                          : nullptr;
    if (!block) {
        vmLog('S', "CVMMemMgr: Reallocation failed.\n");
        return false;
    }
    int32_t oldTotal = totalWords_;
    block_ = block;
    storage_ = block + kSlackWords;
    totalWords_ = static_cast<int32_t>(newTotal);
    std::memset(storage_ + oldTotal, 0,
                static_cast<size_t>(newTotal - oldTotal + kSlackWords) * sizeof(uint32_t));
    MemArea& last = areas_.back();
    if (last.used)
        areas_.push_back({oldTotal, totalWords_ - oldTotal, 0});
    else
        last.size = totalWords_ - last.start;
    storage_[totalWords_ - 1] = kGuard;
    return true;
}

bool CVMMemMgr::vfree(int32_t address) {
    if (!storage_) return false;
    size_t i = 0;
    while (i < areas_.size() && areas_[i].start + 1 != address)
        ++i;
    if (i == areas_.size()) {
        vmLog('S', "CVMMemMgr::vfree area passed to free is not recognized\n");
        return false;
    }
    MemArea* area = &areas_[i];
    if (storage_[area->start] != kGuard) {
        vmLog('S', "CVMMemMgr::vfree Start block guard broken\n");
        return false;
    }
    if (storage_[area->start + area->size - 1] != kGuard) {
        vmLog('S', "CVMMemMgr::vfree Final block guard broken\n");
        return false;
    }
    area->used = 0;
    if (i > 0 && !areas_[i - 1].used) {
        MemArea& previous = areas_[i - 1];
        if (previous.start + previous.size != area->start) {
            vmLog('S', "CVMMemMgr::vfree Misaligned previous memory area\n");
            return false;
        }
        previous.size += area->size;
        areas_.erase(areas_.begin() + static_cast<long>(i));
        --i;
        area = &areas_[i];
    }
    if (i + 1 < areas_.size() && !areas_[i + 1].used) {
        const MemArea& next = areas_[i + 1];
        if (area->start + area->size != next.start) {
            vmLog('S', "CVMMemMgr::vfree Misaligned next memory area\n");
            return false;
        }
        area->size += next.size;
        areas_.erase(areas_.begin() + static_cast<long>(i) + 1);
    }
    return true;
}

bool CVMMemMgr::rangeTest(uint32_t a, uint32_t b) const {
    uint32_t total = static_cast<uint32_t>(totalWords_);
    if (a < total && b < total) return true;
    vmLog('S', "Memory address outside the VM's range\n");
    return false;
}
