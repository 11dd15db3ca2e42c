// The visualiser's offline mode without a display: the fixed step, and the
// sound that starts with the first picture and keeps pace with the pictures.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/window.h"
#include "sound/syntheticBeatSource.h"
#include "sound/wavFileSource.h"
#include "tests/app/test_content.h"
#include "tests/support/temp_dir.h"
#include "vis/visMain.h"

namespace {

// One analyser block, the granularity at which sources queue sound.
constexpr int64_t kBlockFrames = 256;

class OfflineTiming : public ::testing::Test {
protected:
    void SetUp() override {
        // Two scene lists: two frames of loading screen before the first picture.
        writeArchive(base.path() + "content.vortapack",
                     {{"scenes/a.xml", sceneList({"olive"})},
                      {"scenes/b.xml", sceneList({"teal"})},
                      {"scenes/olive.vsi", sceneImage(solidSceneSource("0.5", "0.5", "0.1"))},
                      {"scenes/teal.vsi", sceneImage(solidSceneSource("0.1", "0.5", "0.5"))},
                      {"data/device.js", insertingScript("teal")}});
    }

    // Constructs the visualiser in offline mode at `framesPerSecond` and
    // steps through the loading screen.
    CVisMain& start(SoundSource* source, float framesPerSecond) {
        vis =
            std::make_unique<CVisMain>(base.path(), &window, source, VIS_DEVICE_MODE | VIS_OFFLINE);
        vis->renderOffline(1.0f / framesPerSecond, 97, 41);
        vis->queueSceneLists();
        for (int i = 0; i < 10 && vis->loading(); i++)
            vis->step();
        EXPECT_FALSE(vis->loading());
        return *vis;
    }

    void TearDown() override {
        if (vis) vis->kill();
    }

    TempDir base;
    CWindowBase window;
    std::unique_ptr<CVisMain> vis;
};

TEST_F(OfflineTiming, AWavFileStartsWithTheFirstPictureAndKeepsPace) {
    base.write("song.wav", wavFile(0.7, 3.0));
    std::string error;
    std::unique_ptr<WavFileSource> song = WavFileSource::open(base.path() + "song.wav", &error);
    ASSERT_NE(song, nullptr) << error;
    CVisMain& visualiser = start(song.get(), 60.0f);
    EXPECT_EQ(song->producedFrames(), 0) << "the loading screen took sound";

    // 150 frames of 1/60 s are 2.5 s of sound; whole-millisecond steps
    // would give 150 x 16 ms = 2.4 s.
    for (int i = 0; i < 150; i++) {
        visualiser.step();
        ASSERT_FLOAT_EQ(visualiser.timing().timePass, 1.0f / 60.0f);
        ASSERT_FLOAT_EQ(visualiser.timing().realTimePass, 1.0f / 60.0f);
    }
    int64_t wanted = static_cast<int64_t>(2.5 * 44100);
    EXPECT_LE(song->producedFrames(), wanted);
    EXPECT_GT(song->producedFrames(), wanted - kBlockFrames);
    EXPECT_EQ(visualiser.outputWidth(), 97);
    EXPECT_EQ(visualiser.outputHeight(), 41);
    EXPECT_FLOAT_EQ(visualiser.aspectRatio(), 97.0f / 41.0f);
}

TEST_F(OfflineTiming, TheSyntheticBeatKeepsPaceAtAnyRate) {
    SyntheticBeatSource beat(133.0);
    CVisMain& visualiser = start(&beat, 24.0f);
    EXPECT_EQ(beat.targetTime(), 0);
    for (int i = 0; i < 72; i++)
        visualiser.step();
    // 72 frames of 1/24 s: three seconds, to the microsecond the beat counts in.
    EXPECT_NEAR(static_cast<double>(beat.targetTime()), 3e6, 1000.0);
}

}  // namespace
