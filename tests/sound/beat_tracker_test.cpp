#include <gtest/gtest.h>

#include "sound/beatTracker.h"

namespace {

// Seconds per block in these tests; a power of two, so that sums are exact.
constexpr float kStep = 1.0f / 128.0f;

// Quiet blocks until `seconds` have passed since the last beat, then a dip
// and a rise of the strength: the rise meets the smoothed strength from below
// with both envelope flags armed, which is a detection.
void detectAfter(BeatTracker& tracker, float seconds) {
    const int quiet = static_cast<int>(seconds / kStep + 0.5f) - 2;
    for (int i = 0; i < quiet; ++i)
        tracker.step(0.0f, kStep);
    tracker.step(-1.0f, kStep);
    tracker.step(1.0f, kStep);
}

TEST(BeatTracker, ForcesABeatOnceASecondHasPassed) {
    BeatTracker tracker;
    int steps = 0;
    while (tracker.beats() == 0 && steps < 1000) {
        tracker.step(0.0f, kStep);
        ++steps;
    }
    EXPECT_EQ(tracker.beats(), 1);
    EXPECT_EQ(steps, 129);  // T must exceed one second, not just reach it
    EXPECT_EQ(tracker.sinceBeat(), 0.0f);
    EXPECT_FLOAT_EQ(tracker.period(), 1.0f);  // the upper median is still 1

    // Six intervals just over a second move the upper median, and the period follows.
    while (tracker.beats() < 7)
        tracker.step(0.0f, kStep);
    EXPECT_GT(tracker.period(), 1.0f);
    EXPECT_LT(tracker.period(), 1.0f + kStep);
}

TEST(BeatTracker, DetectionTooSoonChangesNeitherTimeNorPeriod) {
    BeatTracker tracker;
    tracker.step(0.0f, kStep);
    tracker.step(-1.0f, kStep);
    tracker.step(1.0f, kStep);
    EXPECT_EQ(tracker.beats(), 0);
    EXPECT_NEAR(tracker.sinceBeat(), 3 * kStep, 1e-6);
    EXPECT_FLOAT_EQ(tracker.period(), 1.0f);
    EXPECT_FLOAT_EQ(tracker.intervals()[0], 1.0f);

    detectAfter(tracker, 0.4f);  // now 0.43 s after the start: accepted
    EXPECT_EQ(tracker.beats(), 1);
    EXPECT_EQ(tracker.sinceBeat(), 0.0f);
}

TEST(BeatTracker, PeriodMovesTowardsTheUpperMedianOfTenIntervals) {
    BeatTracker tracker;
    for (int beat = 1; beat <= 5; ++beat) {
        detectAfter(tracker, 0.5f);
        ASSERT_EQ(tracker.beats(), beat);
        // Five of ten intervals at 0.5 s: the sixth smallest is still 1 s.
        ASSERT_FLOAT_EQ(tracker.period(), 1.0f) << beat;
    }
    detectAfter(tracker, 0.5f);
    EXPECT_NEAR(tracker.period(), 0.9f, 1e-4);
    detectAfter(tracker, 0.5f);
    EXPECT_NEAR(tracker.period(), 0.82f, 1e-4);
    EXPECT_NEAR(tracker.position(), 0.0f, 1e-6);

    for (int i = 0; i < 20; ++i)
        tracker.step(0.0f, kStep);
    EXPECT_NEAR(tracker.position(), 20 * kStep / 0.82f, 1e-4);
}

TEST(BeatTracker, OscillatorIsRetunedToReachTheNextBeat) {
    BeatTracker tracker;
    detectAfter(tracker, 0.5f);
    // Phase 0 at the beat, period 1 s: one cycle per second.
    EXPECT_FLOAT_EQ(tracker.rate(), 1.0f);
    for (int i = 0; i < 32; ++i)
        tracker.step(0.0f, kStep);
    EXPECT_NEAR(tracker.phase(), 0.25f, 1e-5);

    // Beat at phase 0.5 (past a quarter): aim at phase 2, one period later.
    detectAfter(tracker, 0.25f);
    ASSERT_EQ(tracker.beats(), 2);
    EXPECT_NEAR(tracker.phase(), 0.5f, 1e-4);
    EXPECT_NEAR(tracker.rate(), 1.5f / tracker.period(), 1e-4);

    for (int i = 0; i < 2000; ++i) {
        tracker.step(i % 37 == 0 ? 1.0f : -0.1f, kStep);
        ASSERT_GE(tracker.phase(), 0.0f);
        ASSERT_LT(tracker.phase(), 1.0f);
    }
}

TEST(BeatTracker, SmoothedStrengthHasAHalfLifeOfPoint3Seconds) {
    BeatTracker tracker;
    for (int i = 0; i < 3; ++i)
        tracker.step(1.0f, 0.1f);
    EXPECT_NEAR(tracker.smoothed(), 0.5f, 1e-5);
    for (int i = 0; i < 3; ++i)
        tracker.step(1.0f, 0.1f);
    EXPECT_NEAR(tracker.smoothed(), 0.75f, 1e-5);
}

}  // namespace
