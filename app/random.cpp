#include "app/random.h"

#include <atomic>

namespace {
std::atomic<uint32_t> state{1};
}

void visSeedRandom(uint32_t seed) {
    state.store(seed, std::memory_order_relaxed);
}

int visRand() {
    uint32_t current = state.load(std::memory_order_relaxed);
    uint32_t next;
    do {
        next = current * 214013u + 2531011u;
    } while (!state.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7FFF);
}
