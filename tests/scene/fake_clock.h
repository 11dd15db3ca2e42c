// The platform tick, replaced for the scene tests: it stands still until a
// test moves it, so time budgets and 40 ms slices end at exactly the
// instruction a test chooses, however busy the machine is. Linking this
// file keeps the real clock out of the test executable.
#pragma once

#include <cstdint>

void fakeClockAdvance(uint32_t milliseconds);
