#include <gtest/gtest.h>

#include "app/frameTiming.h"

namespace {

// Runs `frames` rendered frames `stepMs` apart under `filter`, storing the tick
// after each step as the frame step does.
void runSteady(FrameTiming& timing, uint32_t& tick, int frames, double stepMs, int filter) {
    double exact = tick;
    for (int i = 0; i < frames; ++i) {
        exact += stepMs;
        uint32_t now = static_cast<uint32_t>(exact + 0.5);
        frameTimeStep(timing, now, filter);
        timing.lastTick = now;
        tick = now;
    }
}

TEST(FrameTiming, StartsAtRest) {
    FrameTiming timing;
    EXPECT_EQ(timing.timePass, 0.0f);
    EXPECT_FLOAT_EQ(timing.averageFrameTime, 0.1f);
}

TEST(FrameTiming, FirstFrameHasNoElapsedTime) {
    FrameTiming none;
    frameTimeStep(none, 5000, TIME_FILTER_NONE);
    EXPECT_EQ(none.timePass, 0.0f);
    EXPECT_EQ(none.realTimePass, 0.0f);
    EXPECT_FLOAT_EQ(none.averageFrameTime, 0.095f);

    FrameTiming smooth;
    smooth.timePass = 0.25f;
    frameTimeStep(smooth, 5000, TIME_FILTER_SMOOTH);
    EXPECT_FLOAT_EQ(smooth.timePass, 0.2f);
}

TEST(FrameTiming, SmoothingConvergesToSixtyFramesPerSecond) {
    FrameTiming timing;
    uint32_t tick = 1000;
    timing.lastTick = tick;
    runSteady(timing, tick, 300, 1000.0 / 60.0, TIME_FILTER_SMOOTH);
    // Whole-millisecond ticks alternate 16 and 17 ms around the true period.
    EXPECT_NEAR(timing.timePass, 1.0 / 60.0, 0.0005);
    EXPECT_NEAR(timing.averageFrameTime, 1.0 / 60.0, 0.0005);
}

TEST(FrameTiming, MedianFilterIgnoresASingleStall) {
    FrameTiming timing;
    uint32_t tick = 1000;
    timing.lastTick = tick;
    runSteady(timing, tick, 20, 20.0, TIME_FILTER_MEDIAN);
    float before = timing.timePass;
    EXPECT_FLOAT_EQ(before, 0.02f);
    frameTimeStep(timing, tick + 2000, TIME_FILTER_MEDIAN);
    EXPECT_EQ(timing.timePass, before);
    EXPECT_FLOAT_EQ(timing.realTimePass, 2.0f);
    // The average follows the raw time, unclamped.
    EXPECT_GT(timing.averageFrameTime, 0.1f);
}

TEST(FrameTiming, MedianFilterNeedsSeveralFramesToWarmUp) {
    FrameTiming timing;
    uint32_t tick = 1000;
    timing.lastTick = tick;
    runSteady(timing, tick, 4, 20.0, TIME_FILTER_MEDIAN);
    EXPECT_EQ(timing.timePass, 0.0f);
    runSteady(timing, tick, 2, 20.0, TIME_FILTER_MEDIAN);
    // Six non-zero values: positions 4 and 5 hold them, 6 is still zero.
    EXPECT_FLOAT_EQ(timing.timePass, 0.04f / 3.0f);
    runSteady(timing, tick, 1, 20.0, TIME_FILTER_MEDIAN);
    EXPECT_FLOAT_EQ(timing.timePass, 0.02f);
}

TEST(FrameTiming, StallIsClampedToHalfASecond) {
    FrameTiming raw;
    raw.lastTick = 1000;
    frameTimeStep(raw, 3000, TIME_FILTER_NONE);
    EXPECT_FLOAT_EQ(raw.timePass, 0.5f);
    EXPECT_FLOAT_EQ(raw.realTimePass, 2.0f);
    EXPECT_FLOAT_EQ(raw.averageFrameTime, 0.95f * 0.1f + 0.05f * 2.0f);

    FrameTiming smooth;
    smooth.lastTick = 1000;
    smooth.timePass = 0.4f;
    frameTimeStep(smooth, 11000, TIME_FILTER_SMOOTH);
    EXPECT_FLOAT_EQ(smooth.timePass, 0.5f);
}

TEST(FrameTiming, TickWrapGivesTheShortStep) {
    FrameTiming timing;
    timing.lastTick = 0xFFFFFFF0u;
    frameTimeStep(timing, 0x10u, TIME_FILTER_NONE);
    EXPECT_FLOAT_EQ(timing.realTimePass, 0.032f);
    EXPECT_FLOAT_EQ(timing.timePass, 0.032f);
}

TEST(FrameTiming, FilterComesFromTheSettings) {
    MemorySettings settings;
    FrameTiming smooth;
    smooth.lastTick = 1000;
    frameTimeStep(smooth, 1100, settings);
    EXPECT_FLOAT_EQ(smooth.timePass, 0.2f * 0.1f);
    EXPECT_EQ(settings.getString("vis.time_filter", "?"), "2");

    settings.setInt("vis.time_filter", 0);
    FrameTiming raw;
    raw.lastTick = 1000;
    frameTimeStep(raw, 1100, settings);
    EXPECT_FLOAT_EQ(raw.timePass, 0.1f);

    // An unknown filter number smooths like the default.
    settings.setInt("vis.time_filter", 9);
    FrameTiming other;
    other.lastTick = 1000;
    frameTimeStep(other, 1100, settings);
    EXPECT_FLOAT_EQ(other.timePass, 0.2f * 0.1f);
}

}  // namespace
