#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/beatTracker.h"
#include "sound/tempoEstimator.h"

namespace {

// Seconds per block in these tests; a power of two, so that sums are exact.
constexpr float kStep = 1.0f / 128.0f;

// Steps a tracker with onsets from `pulse(block)`, the tempo estimator
// taking each first, as the analyser does.
template <typename Pulse>
void run(BeatTracker& tracker, TempoEstimator& tempo, int blocks, Pulse pulse, int first = 0) {
    for (int b = first; b < first + blocks; ++b) {
        tempo.process(pulse(b));
        tracker.step(0.0f, kStep, tempo);
    }
}

TEST(BeatTracker, SilenceBeatsOnceASecond) {
    BeatTracker tracker;
    TempoEstimator tempo;
    int steps = 0;
    while (tracker.beats() == 0 && steps < 1000) {
        tempo.process(0.0f);
        tracker.step(0.0f, kStep, tempo);
        ++steps;
    }
    EXPECT_EQ(steps, 129);  // the time since the beat must exceed a second, not reach it
    EXPECT_EQ(tracker.sinceBeat(), kStep);
    run(tracker, tempo, 128 * 5, [](int) { return 0.0f; });
    EXPECT_EQ(tracker.beats(), 6);
    EXPECT_EQ(tracker.period(), 1.0f);
    EXPECT_EQ(tracker.phaseError(), 0.0f);
}

// A source that makes its own beat says where it is; the grid follows it
// whatever the onsets say, and beats where the source's beat comes round.
TEST(BeatTracker, FollowsAKnownBeat) {
    BeatTracker tracker;
    TempoEstimator tempo;
    auto known = [](int block) {
        KnownBeat beat;
        beat.tempo = 150.0f;  // 0.4 s, 51.2 blocks
        beat.sinceBeat = 0.103 + block * kStep;
        return beat;
    };
    std::vector<int> beatBlocks, expected;
    for (int b = 0; b < 900; ++b) {
        tempo.process(b % 70 == 7 ? 1.0f : 0.0f);  // onsets that disagree
        const int before = tracker.beats();
        tracker.step(0.0f, kStep, tempo, known(b));
        ASSERT_NEAR(tracker.sinceBeat(), std::fmod(known(b).sinceBeat, 0.4), 1e-5) << b;
        if (tracker.beats() != before) beatBlocks.push_back(b);
        // The source's beat came round during block b.
        if (b > 0 &&
            std::floor(known(b).sinceBeat / 0.4) > std::floor(known(b - 1).sinceBeat / 0.4))
            expected.push_back(b);
    }
    EXPECT_FLOAT_EQ(tracker.period(), 0.4f);
    EXPECT_FLOAT_EQ(tracker.tempo(), 150.0f);
    EXPECT_EQ(beatBlocks.size(), 17u);  // (0.103 + 899 / 128) / 0.4 = 17.8
    EXPECT_EQ(beatBlocks, expected);

    // Absurd or missing tempi leave the grid to the estimate, which has
    // found the onsets' 70 blocks meanwhile.
    ASSERT_GT(tempo.confidence(), TempoEstimator::kTrusted);
    for (float absurd : {-90.0f, std::nanf(""), 12.0f, 0.0f}) {
        KnownBeat beat;
        beat.tempo = absurd;
        beat.sinceBeat = 0.05;
        tempo.process(0.0f);
        tracker.step(0.0f, kStep, tempo, beat);
        EXPECT_NEAR(tracker.period(), 70 * kStep, 0.01f) << absurd;
    }
}

// Beats faster than about three a second are followed every other one, so
// that scenes flashing on the beat stay below three flashes a second; the
// grid keeps to the same half of the pairs.
TEST(BeatTracker, FastKnownBeatsAreTakenEveryOtherOne) {
    BeatTracker tracker;
    TempoEstimator tempo;
    int beats = 0;
    for (int b = 0; b < 1000; ++b) {
        KnownBeat beat;
        beat.tempo = 200.0f;  // 0.3 s
        beat.sinceBeat = 0.001 + b * kStep;
        tempo.process(0.0f);
        const int before = tracker.beats();
        tracker.step(0.0f, kStep, tempo, beat);
        ASSERT_NEAR(std::remainder(tracker.sinceBeat() - beat.sinceBeat, 0.3), 0.0, 1e-4);
        if (tracker.beats() != before) {
            ++beats;
            // Beats only at every other turn of the source's beat: 0.6, 1.2, …
            const double into = std::fmod(beat.sinceBeat, 0.6);
            EXPECT_LT(into, kStep) << b;
        }
    }
    EXPECT_FLOAT_EQ(tracker.period(), 0.6f);
    EXPECT_EQ(beats, 13);  // 1000 / 128 s over 0.6 s
}

// Onsets every 64 blocks (0.5 s), the first 23 blocks in: the tempo is found
// and the grid moves onto the onsets, so that beats fall on them (a little
// after: the envelope's delay is allowed for).
TEST(BeatTracker, GridLocksOntoTheOnsets) {
    BeatTracker tracker;
    TempoEstimator tempo;
    auto pulses = [](int b) { return (b - 23) % 64 == 0 ? 1.0f : 0.0f; };
    run(tracker, tempo, 128 * 8, pulses);
    EXPECT_NEAR(tracker.period(), 0.5f, 0.005f);
    EXPECT_NEAR(tracker.phaseError(), 0.0f, 0.02f);
    // Where the next beats fall against the onsets.
    int block = 128 * 8;
    for (int beat = 0; beat < 4; ++beat) {
        const int before = tracker.beats();
        while (tracker.beats() == before) {
            tempo.process(pulses(block));
            tracker.step(0.0f, kStep, tempo);
            ++block;
        }
        // Block b's onset stands for the time (b + 1) steps from the start.
        const float beatTime = block * kStep - tracker.sinceBeat();
        const float onsetTime = 24 * kStep - 0.02f;
        const float late = std::remainder(beatTime - onsetTime, 0.5f);
        EXPECT_NEAR(late, 0.0f, 2 * kStep) << beat;
    }
}

// Loud onsets on the beat and weaker ones halfway between (hi-hats on the
// off-beat): the grid settles on the loud ones although it starts on the
// weak ones.
TEST(BeatTracker, WeakOffBeatsDoNotHoldTheGrid) {
    BeatTracker tracker;
    TempoEstimator tempo;
    auto pulses = [](int b) {
        if (b % 80 == 40) return 1.0f;
        return b % 80 == 0 ? 0.35f : 0.0f;
    };
    run(tracker, tempo, 1280, pulses);  // 1280 = 16 · 80
    EXPECT_NEAR(tracker.period(), 80 * kStep, 0.01f);
    // Just after a loud onset the position within the beat is near 0, not 0.5.
    run(tracker, tempo, 44, pulses, 1280);
    EXPECT_LT(tracker.position(), 0.15f);
    EXPECT_NEAR(tracker.phaseError(), 0.0f, 0.05f);
}

TEST(BeatTracker, OscillatorIsRetunedToReachTheNextBeat) {
    BeatTracker tracker;
    TempoEstimator tempo;
    run(tracker, tempo, 129, [](int) { return 0.0f; });
    ASSERT_EQ(tracker.beats(), 1);
    // The phase started at 0 with a period of a second: retuned at the beat
    // with the phase just past 0, it aims at 1.
    EXPECT_NEAR(tracker.rate() * tracker.period(), 1.0f - tracker.phase(), 1e-5f);

    // A known tempo makes the beats come faster than the oscillator expects:
    // at a beat with the phase past a quarter it aims at the whole number after next.
    int beats = tracker.beats();
    bool sawLate = false;
    for (int b = 0; b < 2000; ++b) {
        tempo.process(0.0f);
        KnownBeat known;
        known.tempo = b < 1000 ? 100.0f : 173.0f;
        known.sinceBeat = b * kStep * (b < 1000 ? 1.0 : 1.1);
        tracker.step(0.0f, kStep, tempo, known);
        ASSERT_GE(tracker.phase(), 0.0f);
        ASSERT_LT(tracker.phase(), 1.0f);
        if (tracker.beats() != beats) {
            beats = tracker.beats();
            const float aim = tracker.phase() < 0.25f ? 1.0f : 2.0f;
            sawLate = sawLate || aim == 2.0f;
            ASSERT_NEAR(tracker.rate() * tracker.period(), aim - tracker.phase(), 1e-4f) << b;
        }
    }
    EXPECT_TRUE(sawLate);
}

TEST(BeatTracker, SmoothedStrengthHasAHalfLifeOfPoint3Seconds) {
    BeatTracker tracker;
    TempoEstimator tempo;
    for (int i = 0; i < 3; ++i)
        tracker.step(1.0f, 0.1f, tempo);
    EXPECT_NEAR(tracker.smoothed(), 0.5f, 1e-5);
    for (int i = 0; i < 3; ++i)
        tracker.step(1.0f, 0.1f, tempo);
    EXPECT_NEAR(tracker.smoothed(), 0.75f, 1e-5);
}

TEST(BeatTracker, EnvelopesFadeAndMoveHalfwayToAStrengthBeyondThem) {
    BeatTracker tracker;
    TempoEstimator tempo;
    tracker.step(-4.0f, 1.0f, tempo);
    EXPECT_FLOAT_EQ(tracker.upper(), -2.0f);
    EXPECT_FLOAT_EQ(tracker.lower(), 0.0f);
    tracker.step(6.0f, 1.0f, tempo);
    EXPECT_FLOAT_EQ(tracker.upper(), -1.0f);
    EXPECT_FLOAT_EQ(tracker.lower(), 3.0f);
}

}  // namespace
