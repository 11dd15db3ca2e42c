#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/random.h"
#include "sound/onsetEnvelope.h"
#include "sound/tempoEstimator.h"

namespace {

template <typename Pulse>
void feed(TempoEstimator& tempo, int blocks, Pulse pulse) {
    for (int b = 0; b < blocks; ++b)
        tempo.process(pulse(b));
}

TEST(TempoEstimator, SilenceHasNoTempo) {
    TempoEstimator tempo;
    feed(tempo, 2000, [](int) { return 0.0f; });
    EXPECT_EQ(tempo.confidence(), 0.0f);
    EXPECT_EQ(tempo.period(), 0.0f);
}

TEST(TempoEstimator, FindsTheRepeatingPeriodBetweenBlocks) {
    // Pulses every 97.5 blocks (alternately 97 and 98 apart).
    TempoEstimator tempo;
    feed(tempo, 2500, [](int b) { return b % 195 == 0 || b % 195 == 97 ? 1.0f : 0.0f; });
    EXPECT_NEAR(tempo.period(), 97.5f, 0.3f);
    EXPECT_GT(tempo.confidence(), TempoEstimator::kTrusted);
}

// Strong and weak pulses alternating every 60 blocks (kick and snare): the
// double period repeats best, but its half pulses too, so the beat is 60.
TEST(TempoEstimator, AlternatingPulsesAreBeatsNotBars) {
    TempoEstimator tempo;
    feed(tempo, 2500, [](int b) {
        if (b % 120 == 0) return 1.0f;
        return b % 120 == 60 ? 0.6f : 0.0f;
    });
    EXPECT_NEAR(tempo.period(), 60.0f, 0.3f);
}

// Loud pulses every 140 blocks with soft ones halfway (off-beat hi-hats):
// the beat is 140, not the 70 of every pulse.
TEST(TempoEstimator, SoftOffBeatsDoNotDoubleTheTempo) {
    TempoEstimator tempo;
    feed(tempo, 2500, [](int b) {
        if (b % 140 == 0) return 1.0f;
        return b % 140 == 70 ? 0.15f : 0.0f;
    });
    EXPECT_NEAR(tempo.period(), 140.0f, 0.3f);
}

// The correlation is updated incrementally through a ring; it must equal the
// fading sum of products computed from the stored onsets.
TEST(TempoEstimator, CorrelationMatchesTheDirectSum) {
    visSeedRandom(5);
    TempoEstimator tempo;
    std::vector<float> onsets;
    for (int b = 0; b < 3000; ++b) {
        tempo.process(visRand() / 32768.0f + (b % 37 == 0 ? 3.0f : 0.0f));
        onsets.push_back(tempo.onset(0));
    }
    const double keep = TempoEstimator::kCorrelationKeep;
    for (int lag : {0, 1, 36, 37, 400, TempoEstimator::kLags - 1}) {
        double direct = 0.0;
        for (size_t t = lag; t < onsets.size(); ++t)
            direct = direct * keep + double(onsets[t]) * onsets[t - lag];
        EXPECT_NEAR(tempo.correlation(lag), direct, 1e-3 * std::abs(direct) + 1e-3) << lag;
    }
    EXPECT_GT(tempo.correlation(37), 3.0 * std::abs(tempo.correlation(20)));
}

std::vector<float> toneWindow(double amplitude, double cycles, int offset) {
    std::vector<float> window(kWindowFrames);
    for (int i = 0; i < kWindowFrames; ++i)
        window[i] =
            float(amplitude * std::sin(2.0 * 3.14159265358979 * cycles * (i + offset) / 512));
    return window;
}

TEST(OnsetEnvelope, SteadySoundGivesNoOnsetsAndAnAttackOne) {
    OnsetEnvelope envelope;
    std::vector<float> silence(kWindowFrames, 0.0f);
    EXPECT_EQ(envelope.process(silence.data(), silence.data()), 0.0f);
    float last = 0.0f;
    for (int block = 0; block < 200; ++block) {
        // A tone that does not fall on a bin, so its leakage swings with its phase.
        const std::vector<float> tone = toneWindow(0.3, 7.3, block * 256);
        last = envelope.process(tone.data(), silence.data());
    }
    EXPECT_LT(last, 1e-3f);
    const std::vector<float> louder = toneWindow(0.9, 7.3, 200 * 256);
    EXPECT_GT(envelope.process(louder.data(), silence.data()), 100.0f * std::max(last, 1e-6f));
}

// The envelope measures energies against the recent loudness, so the same
// music quieter gives the same onsets.
TEST(OnsetEnvelope, LoudnessDoesNotMatter) {
    OnsetEnvelope loud, quiet;
    std::vector<float> silence(kWindowFrames, 0.0f);
    for (int block = 0; block < 600; ++block) {
        const double amplitude = block % 50 < 3 ? 0.8 : 0.1;
        const std::vector<float> a = toneWindow(amplitude, 31.0 + block % 3, block * 256);
        const std::vector<float> b = toneWindow(amplitude / 16, 31.0 + block % 3, block * 256);
        const float x = loud.process(a.data(), silence.data());
        const float y = quiet.process(b.data(), silence.data());
        if (block > 100) {
            ASSERT_NEAR(x, y, 0.02f * x + 1e-4f) << block;
        }
    }
}

}  // namespace
