// The configuration dialog's real window under a display (Xvfb in CI): it
// draws its controls, Escape and the close button cancel without writing,
// Enter accepts, a failed write keeps it open; and `vortalis /c` shows it.
#include "app/configDialogWindow.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

bool displayRequired() {
    const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    return required && std::string(required) == "1";
}

const char kSettings[] =
    "var settings = { \"fakesound\" : { \"bpm\" : 97 }, \"theme_string\" : \"jazzy\" };";
const char kDeviceId[] = "var DEVICE_UID = \"unit-5\";";

class ConfigDialogGl : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !displayRequired()) GTEST_SKIP() << "no display";
        base.write("settings.js", kSettings);
        base.write("deviceid.js", kDeviceId);
    }

    void pushKey(SDL_Keycode key, SDL_Scancode scancode) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = SDL_GetWindowID(window.window());
        event.key.state = SDL_PRESSED;
        event.key.keysym.sym = key;
        event.key.keysym.scancode = scancode;
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    bool unchanged() {
        return base.read("settings.js") == kSettings && base.read("deviceid.js") == kDeviceId;
    }

    TempDir base;
    CConfigDialog dialog{base.path()};
    CConfigDialogWindow window{dialog};
};

TEST_F(ConfigDialogGl, DrawsItsControlsAndEscapeClosesWithoutWriting) {
    ASSERT_TRUE(window.create()) << window.error();
    EXPECT_EQ(dialog.choices().movementSpeed, 97);
    EXPECT_TRUE(dialog.choices().themes[2]);
    EXPECT_EQ(dialog.choices().deviceId, "unit-5");

    window.draw();
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window.window(), &width, &height);
    ASSERT_GT(width, 200);
    ASSERT_GT(height, 200);
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    std::map<uint32_t, int> colours;
    int darkInTopRows = 0;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            colours[p[0] << 16 | p[1] << 8 | p[2]]++;
            // Rows are read bottom up: the version line is near the top.
            if (y > height - 30 && p[0] < 80 && p[1] < 80 && p[2] < 80) darkInTopRows++;
        }
    }
    int background = 0;
    for (const auto& entry : colours)
        background = std::max(background, entry.second);
    EXPECT_GT(colours.size(), 8u) << "text, frames and widgets in several shades";
    EXPECT_GT(width * height - background, width * height / 50);
    EXPECT_GT(darkInTopRows, 20) << "the version line";

    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Open);
    pushKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Cancelled);
    EXPECT_TRUE(unchanged());
}

TEST_F(ConfigDialogGl, TheCloseButtonCancels) {
    ASSERT_TRUE(window.create()) << window.error();
    dialog.choices().movementSpeed = 201;
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Open);
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(window.window());
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Cancelled);
    EXPECT_TRUE(unchanged());
}

TEST_F(ConfigDialogGl, EnterAcceptsOnceTheFilesAreWritten) {
    ASSERT_TRUE(window.create()) << window.error();
    std::string oldId = base.path() + "deviceid.js";
    ASSERT_EQ(unlink(oldId.c_str()), 0);
    ASSERT_EQ(mkdir(oldId.c_str(), 0755), 0);
    dialog.choices().themes[3] = true;
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Open);

    pushKey(SDLK_RETURN, SDL_SCANCODE_RETURN);
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Open) << "the write failed";
    EXPECT_NE(dialog.error().find("deviceid.js"), std::string::npos) << dialog.error();

    ASSERT_EQ(rmdir(oldId.c_str()), 0);
    pushKey(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(window.frame(), CConfigDialogWindow::Result::Accepted);
    EXPECT_NE(base.read("settings.js").find("\"theme_string\" : \"jazzy,chilled\""),
              std::string::npos)
        << base.read("settings.js");
    EXPECT_EQ(base.read("deviceid.js"), "var DEVICE_UID = \"unit-5\";\n");
}

// The exit code, or -1 when the program did not end within `seconds` (it is
// then killed).
int waitForExit(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

TEST_F(ConfigDialogGl, TheProgramShowsItForTheConfigureSwitch) {
    pid_t child = fork();
    if (child == 0) {
        setenv("VORTALIS_BASE_DIR", base.path().c_str(), 1);
        std::string output = base.path() + "output.txt";
        if (!freopen(output.c_str(), "w", stdout) || !freopen(output.c_str(), "a", stderr))
            _exit(126);
        execl(VORTALIS_PROGRAM, VORTALIS_PROGRAM, "/c:1234", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    bool shown = false;
    for (int i = 0; i < 60 * 20 && !shown; i++) {
        shown = base.read("log.txt").find("showing the dialog") != std::string::npos;
        int status = 0;
        if (!shown && waitpid(child, &status, WNOHANG) == child) break;
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(shown) << base.read("output.txt") << base.read("log.txt");
    // A screensaver host ends the dialog as it ends the visualiser: it closes
    // as if cancelled.
    kill(child, SIGTERM);
    EXPECT_EQ(waitForExit(child, 30), 0) << base.read("output.txt");
    EXPECT_TRUE(unchanged());
}

}  // namespace
