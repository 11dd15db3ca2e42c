// The visualiser's clock for animation. Each frame the raw time since the last
// rendered frame is filtered, so that single stutters do not jerk the scenes,
// and clamped, so that a stall never throws them half a second or more ahead.
// The tick is an argument: nothing here reads the clock.
#pragma once

#include <cstdint>

#include "app/settingsAccess.h"

struct FrameTiming {
    static constexpr int kRingSize = 10;
    static constexpr float kMaxTimePass = 0.5f;

    uint32_t lastTick = 0;          // tick of the previous rendered frame; 0 before the first
    float timePass = 0.0f;          // filtered and clamped seconds, for scripts and scenes
    float realTimePass = 0.0f;      // raw seconds of the last step
    float averageFrameTime = 0.1f;  // smoothed raw seconds
    float timeFilterRing[kRingSize] = {};
    int timeFilterIndex = 0;
};

enum TimeFilter {
    TIME_FILTER_NONE = 0,    // the raw time
    TIME_FILTER_MEDIAN = 1,  // middle of the last ten raw times: spikes vanish
    TIME_FILTER_SMOOTH = 2   // exponential smoothing (also any unknown value)
};

// One time step at tick `now` (milliseconds, wrapping like the platform tick).
// `lastTick` is left alone: the frame step stores it once a frame was rendered.
void frameTimeStep(FrameTiming& timing, uint32_t now, int filter);

// The same with the filter read from `vis.time_filter` (default 2).
void frameTimeStep(FrameTiming& timing, uint32_t now, SettingsAccess& settings);
