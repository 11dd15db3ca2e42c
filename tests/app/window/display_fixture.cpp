#include "tests/app/window/display_fixture.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

bool openRealVideo() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // Without a display SDL falls back to drivers that draw nowhere.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0)
        return true;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

}  // namespace

bool displayAvailable() {
    static const bool available = [] {
        // A busy X server now and then refuses a connection, so ask more than
        // once. Video stays open for the whole run: every window then shares
        // one connection instead of opening and closing its own.
        for (int attempt = 1; attempt <= 8; ++attempt) {
            if (openRealVideo()) return true;
            SDL_Delay(100 * attempt);
        }
        return false;
    }();
    return available;
}

bool displayRequired() {
    const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    return required && std::strcmp(required, "1") == 0;
}

void DisplayTest::SetUp() {
    if (displayAvailable()) return;
    if (displayRequired()) FAIL() << "no display, but VORTALIS_REQUIRE_DISPLAY=1";
    GTEST_SKIP() << "no display";
}

void DisplayTest::prepare(CGLWin& window) {
    window.setMessageBoxHandler(
        [this](CGLWin::BoxKind kind, const std::string& title, const std::string& text) {
            boxes.push_back({kind, title, text});
            return answer;
        });
}
