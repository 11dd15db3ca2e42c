#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/random.h"
#include "sound/fixedRateRun.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tests/sound/test_music.h"
#include "tests/sound/test_sources.h"
#include "tests/support/log_capture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Runs the frame step's sound part for `seconds` at a steady frame length.
void run(SoundAnalyser& analyser, SoundSource& source, int frameMs, double seconds) {
    const float timePass = frameMs / 1000.0f;
    for (int frame = 0; frame < seconds * 1000 / frameMs; ++frame) {
        source.produce(frameMs);
        analyser.analyse(source, timePass, timePass);
    }
}

// Feeds `perFrame` blocks per frame from `make(index)` and analyses.
template <typename Make>
int feed(SoundAnalyser& analyser, FeedSource& source, int frames, int perFrame, Make make,
         int first = 0) {
    int index = first;
    for (int frame = 0; frame < frames; ++frame) {
        for (int i = 0; i < perFrame; ++i)
            source.feed(make(index++));
        analyser.analyse(source, 0.0058f * perFrame, 0.016f);
    }
    return index;
}

std::unique_ptr<SoundBlock> tone(int index, double bin, double leftAmp, double rightAmp) {
    auto block = std::make_unique<SoundBlock>();
    for (int i = 0; i < kBlockFrames; ++i) {
        const double s = std::sin(2.0 * kPi * bin * (index * kBlockFrames + i) / 512.0);
        block->left[i] = int16_t(leftAmp * 32767 * s);
        block->right[i] = int16_t(rightAmp * 32767 * s);
    }
    return block;
}

std::vector<float> array(const SoundAnalyser& analyser, int id) {
    int count = 0;
    const float* data = analyser.array(id, &count);
    return data ? std::vector<float>(data, data + count) : std::vector<float>();
}

TEST(SoundAnalyser, TempoZeroIsSilentWithAForcedBeatEverySecond) {
    SyntheticBeatSource source(0.0);
    SoundAnalyser analyser;
    run(analyser, source, 16, 10.0);
    EXPECT_EQ(analyser.value(100), 0.0f);
    EXPECT_EQ(analyser.value(104), 0.0f);
    for (int id = 101; id <= 103; ++id)
        EXPECT_EQ(analyser.value(id), 0.0f) << id;
    // Nothing to follow: the beat keeps its starting period of a second, so
    // ten seconds bring nine or ten beats (the first frames, while the queue
    // fills, tell the block duration only roughly).
    EXPECT_GE(analyser.beat().beats(), 9);
    EXPECT_LE(analyser.beat().beats(), 10);
    EXPECT_EQ(analyser.beat().period(), 1.0f);
    EXPECT_EQ(analyser.tempo().confidence(), 0.0f);
    EXPECT_NEAR(analyser.blockDuration(), 0.0058f, 0.0001f);
}

struct TempoCase {
    double bpm;
    int frameMs;
};

class TrackedTempo : public ::testing::TestWithParam<TempoCase> {};

// The synthetic beat says its tempo, and the beat follows it exactly; the
// oscillator and the level move with it.
TEST_P(TrackedTempo, SyntheticBeatGivesItsOwnPeriod) {
    visSeedRandom(1);
    SyntheticBeatSource source(GetParam().bpm);
    SoundAnalyser analyser;
    run(analyser, source, GetParam().frameMs, 5.0);
    const float expected = float(60.0 / GetParam().bpm);
    EXPECT_FLOAT_EQ(analyser.beat().period(), expected);
    EXPECT_GE(analyser.value(110), 0.0f);
    EXPECT_LT(analyser.value(110), 1.0f);
    EXPECT_NEAR(analyser.value(113), 1.0f / expected, 0.5f / expected);
    EXPECT_GT(analyser.value(100), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(SoundAnalyser, TrackedTempo,
                         ::testing::Values(TempoCase{140, 16}, TempoCase{140, 20},
                                           TempoCase{90, 16}, TempoCase{160, 20}));

// Music whose tempo must be heard: the same drum loop at 30, 60 and 144
// frames per second gives the same tempo. (Averaging each frame's time per
// block read the period 3 % long at 60 frames per second and 10 % at 100.)
TEST(SoundAnalyser, TempoOfMusicDoesNotDependOnTheFrameRate) {
    music::Loop loop;
    loop.bpm = 133.0;
    loop.seconds = 6.5;
    const std::vector<double> samples = music::render(loop, kSampleRate);
    for (double fps : {30.0, 60.0, 144.0}) {
        SampleSource source(samples, samples);
        SoundAnalyser analyser;
        FixedRateRun frames(source, analyser, fps);
        frames.runFor(6.0);
        EXPECT_NEAR(analyser.beat().tempo(), 133.0f, 0.005f * 133.0f) << fps;
        EXPECT_NEAR(analyser.blockDuration(), 256.0f / 44100.0f, 0.005f * 256.0f / 44100.0f) << fps;
    }
}

TEST(SoundAnalyser, HistoryWaveformStaysZeroUntilSixteenBlocks) {
    FeedSource source;
    SoundAnalyser analyser;
    auto make = [](int index) { return constantBlock(int16_t(100 * (index + 1)), 50); };
    int fed = 0;
    while (analyser.historyBlocks() < SoundAnalyser::kHistoryBlocks) {
        for (float v : array(analyser, 107))
            ASSERT_EQ(v, 0.0f);
        fed = feed(analyser, source, 1, 3, make, fed);
        ASSERT_LT(fed, 100);
    }
    fed = feed(analyser, source, 3, 3, make, fed);
    // Oldest first: the sixteen newest analysed blocks, (left + right) / 32768.
    const int analysed = fed - int(source.queuedBlocks());
    const std::vector<float> wave = array(analyser, 107);
    ASSERT_EQ(wave.size(), 4096u);
    for (int b = 0; b < 16; ++b) {
        const int index = analysed - 16 + b;
        const float expected = (100.0f * (index + 1) + 50.0f) / 32768.0f;
        ASSERT_FLOAT_EQ(wave[b * 256], expected) << b;
        ASSERT_FLOAT_EQ(wave[b * 256 + 255], expected) << b;
    }
    // The analysis window: the two newest blocks, (left + right) / 2, scaled.
    const std::vector<float> window = array(analyser, 105);
    ASSERT_EQ(window.size(), 512u);
    EXPECT_FLOAT_EQ(window[0], (100.0f * (analysed - 1) + 50.0f) / 65536.0f);
    EXPECT_FLOAT_EQ(window[511], (100.0f * analysed + 50.0f) / 65536.0f);
}

TEST(SoundAnalyser, LevelIsTheRootMeanSquareOfTheNewestBlock) {
    FeedSource source;
    SoundAnalyser analyser;
    feed(analyser, source, 20, 3, [](int) { return constantBlock(16384, -8192); });
    // √((0.5² + 0.25²)·256 / 256)
    EXPECT_NEAR(analyser.value(100), std::sqrt(0.3125f), 1e-5);
}

TEST(SoundAnalyser, PacesBlocksByTheSmoothedBacklog) {
    FeedSource source;
    SoundAnalyser analyser;
    for (int i = 0; i < 3; ++i)
        source.feed(constantBlock(1000, 1000));
    analyser.analyse(source, 0.1f, 0.016f);  // backlog (0 + 3) / 4 = 0
    EXPECT_EQ(source.queuedBlocks(), 3u);
    EXPECT_EQ(analyser.value(100), 0.0f);
    analyser.analyse(source, 0.1f, 0.016f);  // backlog still 0
    source.feed(constantBlock(1000, 1000));
    analyser.analyse(source, 0.1f, 0.016f);  // backlog (0 + 4) / 4 = 1
    EXPECT_EQ(source.queuedBlocks(), 3u);
    EXPECT_GT(analyser.value(100), 0.0f);
    // The frame time of the frames that analysed nothing was kept: 0.3 s
    // for the four blocks that arrived in it.
    EXPECT_NEAR(analyser.blockDuration(), 0.075f, 1e-6);
}

// The block duration counts the blocks that arrive; a source swapped in (a
// thumbnail's own beat) has a count of its own that must not be taken as
// arrivals, nor blocks dropped from a full queue be missed.
TEST(SoundAnalyser, BlockDurationCountsArrivalsOfOneSource) {
    SyntheticBeatSource main(120.0);
    SoundAnalyser analyser;
    run(analyser, main, 16, 2.0);
    const float before = analyser.blockDuration();
    EXPECT_NEAR(before, 0.005804f, 0.00005f);

    FeedSource other(8);
    for (int i = 0; i < 500; ++i)
        other.feed(constantBlock(300, 200));  // 492 of them dropped
    for (int frame = 0; frame < 3; ++frame)
        analyser.analyse(other, 0.016f, 0.016f);
    EXPECT_NEAR(analyser.blockDuration(), before, 0.0002f);

    // Back on the first source with a full queue losing blocks: the time per
    // block that arrived, dropped or not, is still the same.
    LogCapture log;  // the full queue warns
    FeedSource small(8);
    run(analyser, main, 16, 1.0);
    for (int frame = 0; frame < 150; ++frame) {
        for (int i = 0; i < 40; ++i)
            small.feed(constantBlock(100, 100));
        analyser.analyse(small, 0.1f, 0.1f);
    }
    EXPECT_GT(small.droppedBlocks(), 3000u);
    EXPECT_NEAR(analyser.blockDuration(), 0.1f / 40, 0.00003f);
}

TEST(SoundAnalyser, NothingQueuedChangesNoValue) {
    SyntheticBeatSource source(140.0);
    SoundAnalyser analyser;
    run(analyser, source, 16, 3.0);
    while (source.takeBlock()) {
    }
    std::vector<float> before;
    for (int id = 100; id <= 113; ++id)
        before.push_back(analyser.value(id));
    const std::vector<float> spectrum = array(analyser, 106);
    const std::vector<float> wave = array(analyser, 107);
    for (int i = 0; i < 5; ++i)
        analyser.analyse(source, 0.016f, 0.016f);
    for (int id = 100; id <= 113; ++id)
        EXPECT_EQ(analyser.value(id), before[id - 100]) << id;
    EXPECT_EQ(array(analyser, 106), spectrum);
    EXPECT_EQ(array(analyser, 107), wave);
}

TEST(SoundAnalyser, SpectrumIsTheProductOfBothChannels) {
    FeedSource left, both;
    SoundAnalyser leftOnly, stereo;
    feed(leftOnly, left, 30, 3, [](int i) { return tone(i, 32, 0.5, 0.0); });
    feed(stereo, both, 30, 3, [](int i) { return tone(i, 32, 0.5, 0.5); });

    for (float v : array(leftOnly, 106))
        ASSERT_EQ(v, 0.0f);
    EXPECT_GT(*std::max_element(leftOnly.leftSpectrum(), leftOnly.leftSpectrum() + 512), 0.0f);

    // Transform bin 32 feeds tilted values 31 and 32; on the log axis that is
    // the bin whose position is nearest 31.5.
    LogFrequencyMap map;
    int expectedBin = 0;
    for (int n = 0; n < 512; ++n) {
        if (std::abs(map.position(n) - 31.5f) < std::abs(map.position(expectedBin) - 31.5f)) {
            expectedBin = n;
        }
    }
    const std::vector<float> spectrum = array(stereo, 106);
    const int peak = int(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin());
    EXPECT_NEAR(peak, expectedBin, 4);
    EXPECT_GT(spectrum[peak], 100.0f * spectrum[(peak + 256) % 512]);
}

TEST(SoundAnalyser, BandLevelsStandardiseAgainstTheirOwnHistory) {
    FeedSource source;
    SoundAnalyser analyser;
    int fed = feed(analyser, source, 20, 3, [](int) { return constantBlock(0, 0); });
    for (int id = 101; id <= 103; ++id)
        EXPECT_EQ(analyser.value(id), 0.0f) << id;

    // A low tone after silence stands out in the low band, not in the high one.
    fed = feed(
        analyser, source, 10, 3, [](int i) { return tone(i, 3, 0.5, 0.5); }, fed);
    EXPECT_GT(analyser.value(101), 1.0f);
    EXPECT_GT(analyser.value(101), analyser.value(103));

    // A high tone: the high band rises and the low band falls below its mean.
    feed(
        analyser, source, 10, 3, [](int i) { return tone(i, 200, 0.5, 0.5); }, fed);
    EXPECT_GT(analyser.value(103), 1.0f);
    EXPECT_LT(analyser.value(101), analyser.value(103));
}

// On a fast display one block stands for more than a frame; the spectrum and
// bands must keep following the sound there too.
TEST(SoundAnalyser, ValuesKeepMovingWhenABlockOutlastsAFrame) {
    visSeedRandom(3);
    SyntheticBeatSource source(140.0);
    SoundAnalyser analyser;
    run(analyser, source, 4, 3.0);
    ASSERT_GT(analyser.blockDuration(), 0.004f);
    const std::vector<float> spectrum = array(analyser, 106);
    EXPECT_GT(*std::max_element(spectrum.begin(), spectrum.end()), 0.0f);
    float low = analyser.value(101), lowest = low, highest = low;
    for (int i = 0; i < 100; ++i) {
        run(analyser, source, 4, 0.02);
        lowest = std::min(lowest, analyser.value(101));
        highest = std::max(highest, analyser.value(101));
    }
    EXPECT_GT(highest - lowest, 0.5f);
}

TEST(SoundAnalyser, InvalidFrameTimeCountsAsNone) {
    SyntheticBeatSource source(140.0);
    SoundAnalyser analyser;
    run(analyser, source, 16, 1.0);
    for (float bad : {std::nanf(""), -1.0f, INFINITY}) {
        source.produce(16);
        analyser.analyse(source, bad, 0.016f);
    }
    run(analyser, source, 16, 1.0);
    EXPECT_TRUE(std::isfinite(analyser.blockDuration()));
    EXPECT_GT(analyser.blockDuration(), 0.0f);
    for (int id = 100; id <= 113; ++id) {
        EXPECT_TRUE(std::isfinite(analyser.value(id))) << id;
    }
}

TEST(SoundAnalyser, ServesItsIdsAndNothingElse) {
    SoundAnalyser analyser;
    for (int id = 90; id < 120; ++id) {
        const bool value = (id >= 100 && id <= 104) || (id >= 108 && id <= 113);
        EXPECT_EQ(SoundAnalyser::isValueId(id), value) << id;
        int count = -1;
        const float* data = analyser.array(id, &count);
        const int expected = id == 105 || id == 106 ? 512 : id == 107 ? 4096 : 0;
        EXPECT_EQ(count, expected) << id;
        EXPECT_EQ(data != nullptr, expected > 0) << id;
    }
    EXPECT_EQ(analyser.value(99), 0.0f);
    EXPECT_EQ(analyser.value(109), 0.0f);  // T = 0 over a period of 1 s
    EXPECT_EQ(analyser.value(113), 0.0f);
}

}  // namespace
