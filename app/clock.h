// The millisecond tick of the platform: a monotonic clock read as an unsigned
// 32-bit count, which wraps after about 49 days like the tick it stands for.
#pragma once

#include <cstdint>

uint32_t osTickCount();

// Blocks the calling thread for about `milliseconds`.
void osSleep(uint32_t milliseconds);
