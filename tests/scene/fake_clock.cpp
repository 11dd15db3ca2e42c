#include "tests/scene/fake_clock.h"

#include <atomic>

#include "app/clock.h"

namespace {
std::atomic<uint32_t> now{1000};
}

void fakeClockAdvance(uint32_t milliseconds) {
    now += milliseconds;
}

uint32_t osTickCount() {
    return now;
}

// Sleeping moves the clock instead of waiting.
void osSleep(uint32_t milliseconds) {
    fakeClockAdvance(milliseconds);
}
