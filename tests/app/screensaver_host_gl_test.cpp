// The program inside a screensaver host's window: the test makes an X window
// as xscreensaver or XSecureLock would, hands it over with -window-id or
// XSCREENSAVER_WINDOW, and reads back through X what the program drew there.
// The scene clears to a colour whose red is a quarter of the aspect ratio the
// program renders at, so the picture shows whether the render size follows
// the host's window.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/app/host_window.h"
#include "tests/app/program_world.h"
#include "tests/app/test_content.h"
#include "tests/support/temp_dir.h"

namespace {

const char* const kAspectScene = R"vsa(
.native glClear "V glClear(F,F,F,F,I)"
.native visGetFloat "F visGetFloat(I)"
.func "V init()" init
.func "V render()" render
init:
    RETURN
render:
    LITERAL 60
    NATIVE visGetFloat
    LITERALF 0.25
    FLOATMUL
    LITERALF 0.3
    LITERALF 0.6
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    RETURN
)vsa";

// The colour the scene clears to in a window of width x height.
long aspectColour(int width, int height) {
    long red = static_cast<long>(255.0 * width / height / 4.0 + 0.5);
    return red << 16 | 77 << 8 | 153;
}

bool near(long shown, long wanted) {
    if (shown < 0) return false;
    for (int shift : {16, 8, 0})
        if (std::abs(((shown >> shift) & 0xff) - ((wanted >> shift) & 0xff)) > 2) return false;
    return true;
}

std::string hex(long colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%06lx", colour);
    return text;
}

class ScreensaverHost : public ::testing::Test {
protected:
    void SetUp() override {
        const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
        if (!std::getenv("DISPLAY")) {
            if (required && std::string(required) == "1") FAIL() << "no display";
            GTEST_SKIP() << "no display";
        }
        base.write("settings.js",
                   "var settings = { \"window\" : { \"left\" : 13, \"top\" : 29, "
                   "\"width\" : 211, \"height\" : 97 } };");
        writeArchive(base.path() + "content.vortapack",
                     {{"scenes/list.xml", sceneList({"aspect"})},
                      {"scenes/aspect.vsi", sceneImage(kAspectScene)},
                      {"data/device.js", insertingScript("aspect")}});
    }

    // Waits until the window shows `wanted` at its centre and near its
    // bottom-right corner (the loading screen fades out first).
    bool shows(HostWindow& window, int width, int height, long wanted) {
        for (int i = 0; i < 600; i++) {
            centre = window.pixel(width / 2, height / 2);
            corner = window.pixel(width - 2, height - 2);
            if (near(centre, wanted) && near(corner, wanted)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string why(long wanted) {
        return "wanted " + hex(wanted) + ", centre " + hex(centre) + ", corner " + hex(corner) +
               "\n" + base.read("output.txt");
    }

    // The program saved settings.js at its shutdown (it writes back the
    // defaults it read) and kept the geometry of its own window, not the host's.
    void expectSettingsSavedWithoutHostGeometry() {
        std::string settings = base.read("settings.js");
        EXPECT_NE(settings.find("\"vsync\""), std::string::npos) << settings;
        EXPECT_NE(settings.find("\"width\" : 211"), std::string::npos) << settings;
        EXPECT_NE(settings.find("\"left\" : 13"), std::string::npos) << settings;
    }

    TempDir base;
    long centre = -1;
    long corner = -1;
};

TEST_F(ScreensaverHost, DrawsInTheGivenWindowFollowsItsSizeIgnoresClicksAndEndsOnSigterm) {
    HostWindow window(37, 23, 173, 61);
    ASSERT_TRUE(window.valid());
    char id[16];
    std::snprintf(id, sizeof id, "0x%x", window.id());
    pid_t child = startProgram(base.path(), {"-window-id", id});
    ASSERT_TRUE(shows(window, 173, 61, aspectColour(173, 61))) << why(aspectColour(173, 61));

    window.resize(251, 97);
    ASSERT_TRUE(shows(window, 251, 97, aspectColour(251, 97))) << why(aspectColour(251, 97));

    // The host owns input: a click in its window does not end the run.
    window.click(125, 48);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(stillRunning(child)) << base.read("output.txt");

    kill(child, SIGTERM);
    EXPECT_EQ(waitForExit(child, 30), 0) << base.read("output.txt");
    EXPECT_NE(base.read("log.txt").find("Signal 15 received"), std::string::npos);
    expectSettingsSavedWithoutHostGeometry();
}

TEST_F(ScreensaverHost, XscreensaverWindowWorksLikeWindowIdAndSighupOrSigintEndTheRun) {
    for (int signal : {SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        HostWindow window(301, 41, 97, 143);
        ASSERT_TRUE(window.valid());
        // xscreensaver writes it in hex, XSecureLock in decimal; decimal here.
        pid_t child =
            startProgram(base.path(), {}, {{"XSCREENSAVER_WINDOW", std::to_string(window.id())}});
        ASSERT_TRUE(shows(window, 97, 143, aspectColour(97, 143))) << why(aspectColour(97, 143));
        kill(child, signal);
        EXPECT_EQ(waitForExit(child, 30), 0) << base.read("output.txt");
        EXPECT_NE(base.read("log.txt").find("Signal " + std::to_string(signal) + " received"),
                  std::string::npos);
        expectSettingsSavedWithoutHostGeometry();
    }
}

}  // namespace
