// The platform tick for the visualiser tests: it stands still until a test
// moves it, so frame times are exactly what a test chooses. Unlike the scene
// tests' clock, sleeping also waits for real, because the texture cache's
// loader thread must get to run while the main thread polls for it.
#include <atomic>
#include <chrono>
#include <thread>

#include "app/clock.h"
#include "tests/scene/fake_clock.h"

namespace {
std::atomic<uint32_t> now{5000};
}

void fakeClockAdvance(uint32_t milliseconds) {
    now += milliseconds;
}

uint32_t osTickCount() {
    return now;
}

void osSleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    fakeClockAdvance(milliseconds);
}
