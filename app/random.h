// The process-wide pseudo-random generator behind every draw the system makes
// (scene selection, the synthetic beat, the rand natives, Math.rand): the
// classic linear congruential rule with results from 0 to 32767. The C
// library's rand() has another range and must not be used for these draws.
#pragma once

#include <cstdint>

constexpr int kVisRandMax = 32767;

// Sets the generator's state; the visualiser seeds it once at start-up.
void visSeedRandom(uint32_t seed);

// The next value, 0 to 32767. Safe to call from any thread.
int visRand();
