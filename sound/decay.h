// The weight that an old value keeps after `seconds` when it fades with the
// given half-life: 0.5^(seconds / halfLife) for positive times, 1 otherwise.
// All smoothing in the analyser is expressed through it, so that it behaves
// the same whatever the frame rate. A half-life of 0 or less forgets at once.
#pragma once

#include <cmath>

inline float halfLifeDecay(float seconds, float halfLife) {
    if (!(seconds > 0.0f)) return 1.0f;
    if (!(halfLife > 0.0f)) return 0.0f;
    return std::pow(0.5f, seconds / halfLife);
}
