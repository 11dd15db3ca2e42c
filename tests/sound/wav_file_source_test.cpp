#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "sound/fixedRateRun.h"
#include "sound/soundAnalyser.h"
#include "sound/wavFileSource.h"
#include "tests/sound/test_music.h"
#include "tests/sound/test_sources.h"
#include "tests/support/temp_dir.h"

namespace {

std::vector<double> scaled(std::vector<double> samples, double gain) {
    for (double& s : samples)
        s *= gain;
    return samples;
}

TEST(WavFileSource, PlaysA44100StereoFileSampleForSampleAtTheVisualPace) {
    TempDir dir;
    std::vector<double> signal(50000);
    for (size_t i = 0; i < signal.size(); ++i)
        signal[i] = ((i * 7) % 1000) / 1000.0 - 0.5;
    ASSERT_TRUE(music::writeWav(dir.path() + "a.wav", signal, kSampleRate, 2, -0.25));
    std::string error;
    auto source = WavFileSource::open(dir.path() + "a.wav", &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->frames(), 50000);
    EXPECT_NEAR(source->durationSeconds(), 50000.0 / 44100, 1e-9);

    source->produce(1000);  // 44 100 frames: 172 whole blocks
    EXPECT_EQ(source->queuedBlocks(), 172u);
    EXPECT_FALSE(source->finished());
    for (int b = 0; b < 172; ++b) {
        auto block = source->takeBlock();
        for (int i = 0; i < kBlockFrames; i += 51) {
            const double expected = signal[size_t(b * kBlockFrames + i)] * 32767;
            ASSERT_EQ(block->left[i], std::lround(expected)) << b << " " << i;
            ASSERT_EQ(block->right[i], std::lround(-0.25 * expected)) << b << " " << i;
        }
    }
    source->produce(200);  // to 52 920 frames, 206 blocks: the file ends in the last
    EXPECT_EQ(source->queuedBlocks(), 34u);
    EXPECT_TRUE(source->finished());
    std::unique_ptr<SoundBlock> last;
    while (auto block = source->takeBlock())
        last = std::move(block);
    for (int i = 0; i < kBlockFrames; ++i)
        ASSERT_EQ(last->left[i], 0);
    source->produce(-40);
    EXPECT_EQ(source->queuedBlocks(), 0u);
}

TEST(WavFileSource, UnreadableFilesSayWhy) {
    TempDir dir;
    std::string error;
    EXPECT_EQ(WavFileSource::open(dir.path() + "missing.wav", &error), nullptr);
    EXPECT_FALSE(error.empty());
    dir.write("text.wav", "RIFF but not really a wave file at all");
    error.clear();
    EXPECT_EQ(WavFileSource::open(dir.path() + "text.wav", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(WavFileSource::open(dir.path() + "text.wav", nullptr), nullptr);
}

struct Analysis {
    float tempo;
    std::vector<double> beats;
    float means[4];  // of ids 100…103 over the frames after the first second
};

Analysis analyse(SoundSource& source) {
    SoundAnalyser analyser;
    FixedRateRun run(source, analyser, 60.0);
    Analysis result = {};
    run.runFor(1.0);
    int frames = 0;
    while (run.time() < 8.0) {
        run.step();
        for (int id = 100; id <= 103; ++id)
            result.means[id - 100] += analyser.value(id);
        ++frames;
    }
    for (float& mean : result.means)
        mean /= static_cast<float>(frames);
    result.tempo = analyser.beat().tempo();
    result.beats = run.beats();
    return result;
}

// The same drum loop written at 22 050 Hz in stereo (the right channel
// quieter) and at 48 000 Hz in mono, converted on loading, is analysed as the
// loop made at 44 100 Hz directly.
TEST(WavFileSource, ConvertedFilesAnalyseLikeTheSignalItself) {
    TempDir dir;
    music::Loop loop;
    loop.bpm = 104.0;
    loop.seconds = 8.5;
    const std::vector<double> direct = music::render(loop, kSampleRate);
    SampleSource stereoDirect(direct, scaled(direct, 0.7));
    SampleSource monoDirect(direct, direct);
    const Analysis stereoTruth = analyse(stereoDirect);
    const Analysis monoTruth = analyse(monoDirect);

    ASSERT_TRUE(music::writeWav(dir.path() + "s.wav", music::render(loop, 22050), 22050, 2, 0.7));
    ASSERT_TRUE(music::writeWav(dir.path() + "m.wav", music::render(loop, 48000), 48000, 1));
    const std::pair<std::string, const Analysis*> cases[] = {{"s.wav", &stereoTruth},
                                                             {"m.wav", &monoTruth}};
    for (const auto& [name, truth] : cases) {
        std::string error;
        auto source = WavFileSource::open(dir.path() + name, &error);
        ASSERT_NE(source, nullptr) << error;
        EXPECT_NEAR(source->durationSeconds(), 8.5, 0.001) << name;
        const Analysis file = analyse(*source);
        EXPECT_NEAR(file.tempo, truth->tempo, 0.01f * truth->tempo) << name;
        EXPECT_NEAR(truth->tempo, 104.0f, 2.0f);
        ASSERT_EQ(file.beats.size(), truth->beats.size()) << name;
        for (size_t i = 0; i < file.beats.size(); ++i)
            EXPECT_NEAR(file.beats[i], truth->beats[i], 0.012) << name << " beat " << i;
        // The level within 3 %; the band levels are standardised (their
        // deviation is 1), and their means near 0, so within 0.05.
        EXPECT_NEAR(file.means[0], truth->means[0], 0.03f * truth->means[0]) << name;
        for (int id = 101; id <= 103; ++id) {
            EXPECT_NEAR(file.means[id - 100], truth->means[id - 100], 0.05f)
                << name << " id " << id;
        }
    }
}

}  // namespace
