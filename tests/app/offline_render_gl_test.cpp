// Offline rendering run for real: frames written off screen at a fixed step.
// The scene clears to a colour made of what differs between runs when
// anything is left to chance: red grows with the time the scene was given,
// green follows the sound level, blue is a random draw.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "render/imageFile.h"
#include "tests/app/program_world.h"
#include "tests/app/test_content.h"
#include "tests/support/temp_dir.h"

namespace {

const char* const kChangingScene = R"vsa(
.native glClear "V glClear(F,F,F,F,I)"
.native visGetFloat "F visGetFloat(I)"
.native rand "F rand()"
.word clock
.func "V init()" init
.func "V step()" step
.func "V render()" render
init:
    RETURN
step:
    REF clock
    REF clock
    DEREF
    LITERAL 51
    NATIVE visGetFloat
    FLOATADD
    ASSIGNPOP
    RETURN
render:
    REF clock
    DEREF
    LITERALF 0.5
    FLOATMUL
    LITERAL 100
    NATIVE visGetFloat
    LITERALF 3
    FLOATMUL
    NATIVE rand
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    RETURN
)vsa";

constexpr int kWidth = 117;
constexpr int kHeight = 53;
constexpr int kFrames = 24;

class OfflineRender : public ::testing::Test {
protected:
    void SetUp() override {
        const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
        if (!std::getenv("DISPLAY")) {
            if (required && std::string(required) == "1") FAIL() << "no display";
            GTEST_SKIP() << "no display";
        }
        writeArchive(base.path() + "content.vortapack",
                     {{"scenes/list.xml", sceneList({"changing", "olive"})},
                      {"scenes/changing.vsi", sceneImage(kChangingScene)},
                      {"scenes/olive.vsi", sceneImage(solidSceneSource("0.5", "0.5", "0.1"))},
                      {"data/device.js", insertingScript("olive")}});
        base.write("loud.wav", wavFile(0.9, 1.0));
        base.write("quiet.wav", wavFile(0.0, 1.0));
    }

    int render(const std::string& directory, std::vector<std::string> options) {
        std::vector<std::string> arguments = {"--render", base.path() + directory};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return waitForExit(startProgram(base.path(), arguments), 120);
    }

    std::string frame(const std::string& directory, int index) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%05d.png", index);
        return base.read(directory + name);
    }

    std::unique_ptr<Image> decoded(const std::string& png) {
        return imageDecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "frame");
    }

    TempDir base;
};

TEST_F(OfflineRender, TwoRunsWithTheSameAudioWriteTheSameFramesAndTheAudioMatters) {
    const std::vector<std::string> options = {
        "--frames", std::to_string(kFrames), "--fps", "30", "--size", "117x53", "--scene",
        "changing"};
    auto with = [&](const char* audio) {
        std::vector<std::string> all = options;
        all.insert(all.end(), {"--audio", base.path() + audio});
        return all;
    };
    ASSERT_EQ(render("first", with("loud.wav")), 0) << base.read("output.txt");
    ASSERT_EQ(render("second", with("loud.wav")), 0) << base.read("output.txt");
    ASSERT_EQ(render("quiet", with("quiet.wav")), 0) << base.read("output.txt");

    std::set<std::string> distinct;
    int louder = 0;
    std::vector<int> reds;
    for (int i = 0; i < kFrames; i++) {
        std::string png = frame("first", i);
        ASSERT_FALSE(png.empty()) << "frame " << i;
        EXPECT_EQ(png, frame("second", i)) << "frame " << i << " differs between runs";
        distinct.insert(png);
        std::unique_ptr<Image> loud = decoded(png);
        std::unique_ptr<Image> quiet = decoded(frame("quiet", i));
        ASSERT_TRUE(loud && quiet) << "frame " << i;
        EXPECT_EQ(loud->width, kWidth);
        EXPECT_EQ(loud->height, kHeight);
        // A corner, clear of the loading screen that fades out in the middle.
        const uint8_t* loudPixel = loud->pixel(kWidth - 2, kHeight - 2);
        const uint8_t* quietPixel = quiet->pixel(kWidth - 2, kHeight - 2);
        EXPECT_EQ(quietPixel[1], 0) << "frame " << i;
        if (loudPixel[1] > 20) louder++;
        // Time and the random draws do not depend on the sound.
        EXPECT_EQ(loudPixel[0], quietPixel[0]) << "frame " << i;
        EXPECT_EQ(loudPixel[2], quietPixel[2]) << "frame " << i;
        reds.push_back(loudPixel[0]);
    }
    EXPECT_TRUE(frame("first", kFrames).empty()) << "one frame too many";
    EXPECT_GT(louder, kFrames / 4);
    // Every frame is a new picture, and the scene's time moved by 1/30 s a
    // frame: red is half the time in seconds.
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kFrames));
    EXPECT_NEAR(reds.back() - reds.front(), 255 * 0.5 * (kFrames - 1) / 30.0, 3);
}

TEST_F(OfflineRender, TheControlScriptChoosesUnlessASceneIsGiven) {
    ASSERT_EQ(render("script", {"--frames", "3", "--size", "64x48"}), 0) << base.read("output.txt");
    std::unique_ptr<Image> shot = decoded(frame("script", 2));
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->width, 64);
    EXPECT_EQ(shot->height, 48);
    const uint8_t* pixel = shot->pixel(1, 1);
    EXPECT_NEAR(pixel[0], 128, 2);
    EXPECT_NEAR(pixel[1], 128, 2);
    EXPECT_NEAR(pixel[2], 26, 2);

    EXPECT_EQ(render("none", {"--frames", "3", "--scene", "absent"}), 2);
    EXPECT_NE(base.read("output.txt").find("there is no scene 'absent'"), std::string::npos);
    EXPECT_TRUE(frame("none", 0).empty());
}

TEST_F(OfflineRender, AFrameThatCannotBeWrittenStopsTheRunWithOne) {
    // A folder where the second frame's file should go.
    base.write("blocked/frame00001.png/in-the-way", "");
    EXPECT_EQ(render("blocked", {"--frames", "40", "--size", "32x24"}), 1);
    EXPECT_NE(
        base.read("output.txt").find("cannot write " + base.path() + "blocked/frame00001.png"),
        std::string::npos)
        << base.read("output.txt");
    EXPECT_FALSE(frame("blocked", 0).empty());
    EXPECT_TRUE(frame("blocked", 39).empty());
}

}  // namespace
