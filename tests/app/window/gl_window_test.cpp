#include <SDL.h>
#include <SDL_opengl.h>

#include <algorithm>
#include <cstdlib>

#include "app/log.h"
#include "tests/app/window/display_fixture.h"
#include "tests/app/window/window_readback.h"
#include "tests/support/log_capture.h"

namespace {

using GLWindowTest = DisplayTest;

void clearTo(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

TEST_F(GLWindowTest, CreateOpensACompatibilityContextAndDestroyLogsItsSteps) {
    CGLWin window;
    prepare(window);
    window.width = 320;
    window.height = 200;
    LogCapture log;
    ASSERT_TRUE(window.create());
    EXPECT_TRUE(boxes.empty());
    EXPECT_NE(window.windowHandle(), nullptr);
    EXPECT_NE(window.renderingContext(), nullptr);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), window.renderingContext());
    EXPECT_EQ(CGLWin::receiver(), &window);
    EXPECT_TRUE(window.isShown());
    EXPECT_TRUE(log.contains(LOG_INFO, "Original WindowRect 0,0 320,200\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "WindowRect adjusted to "));

    int doubleBuffered = 0, depth = 0, profile = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_EQ(doubleBuffered, 1);
    EXPECT_GE(depth, 16);
    EXPECT_EQ(profile, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    // Fixed-function calls that a core profile would refuse.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_QUADS);
    glEnd();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(window.windowHandle()), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);

    log.clear();
    window.destroy();
    EXPECT_EQ(window.windowHandle(), nullptr);
    EXPECT_EQ(window.renderingContext(), nullptr);
    EXPECT_EQ(CGLWin::receiver(), nullptr);
    EXPECT_FALSE(window.isShown());
    const char* steps[] = {"Remove internal message handler",
                           "Release DC and RC contexts",
                           "Delete RC",
                           "Release DC",
                           "Destroy Window",
                           "Unregister class",
                           "Window Killed."};
    std::vector<std::string> logged;
    for (const auto& line : log.lines())
        logged.push_back(line.text);
    ASSERT_EQ(logged.size(), 7u) << log.all();
    for (size_t i = 0; i < logged.size(); ++i)
        EXPECT_EQ(logged[i], std::string("GLWnd Vortalis Visualizer ") + steps[i] + "\n");

    // A second destroy has nothing left to release.
    log.clear();
    window.destroy();
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(GLWindowTest, SmallestStoredWidthGivesThatClientArea) {
    CGLWin window;
    prepare(window);
    window.width = 16;
    window.height = 16;
    ASSERT_TRUE(window.create());
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window.windowHandle()), &w, &h);
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 16);
}

TEST_F(GLWindowTest, SwapsOnlyWhileShown) {
    CGLWin window;
    prepare(window);
    window.width = 64;
    window.height = 64;
    ASSERT_TRUE(window.create());
    if (shownPixel(static_cast<SDL_Window*>(window.windowHandle())) < 0)
        GTEST_SKIP() << "window contents are not readable here";

    clearTo(1, 0, 0);
    window.swapBuffers();
    EXPECT_EQ(shownPixel(static_cast<SDL_Window*>(window.windowHandle())), 0xFF0000);

    // The window believes itself hidden although X still maps it: nothing is presented.
    window.shown = false;
    clearTo(0, 1, 0);
    window.swapBuffers();
    EXPECT_EQ(shownPixel(static_cast<SDL_Window*>(window.windowHandle())), 0xFF0000);

    window.show(false);
    window.show(true);
    clearTo(0, 0, 1);
    window.swapBuffers();
    EXPECT_EQ(shownPixel(static_cast<SDL_Window*>(window.windowHandle())), 0x0000FF);
}

TEST_F(GLWindowTest, HiddenOnCreateWhenAsked) {
    CGLWin window;
    prepare(window);
    window.setShowOnCreate(false);
    ASSERT_TRUE(window.create());
    EXPECT_FALSE(window.isShown());
    Uint32 flags = SDL_GetWindowFlags(static_cast<SDL_Window*>(window.windowHandle()));
    EXPECT_TRUE(flags & SDL_WINDOW_HIDDEN);
}

TEST_F(GLWindowTest, CursorIsInvisibleUnlessTheSystemOneIsWanted) {
    {
        CGLWin window;
        prepare(window);
        ASSERT_TRUE(window.create());
        EXPECT_NE(SDL_GetCursor(), SDL_GetDefaultCursor());
    }
    CGLWin window;
    prepare(window);
    window.showSystemCursor = true;
    ASSERT_TRUE(window.create());
    EXPECT_EQ(SDL_GetCursor(), SDL_GetDefaultCursor());
}

TEST_F(GLWindowTest, SamePositionTwiceMovesOnce) {
    CGLWin window;
    prepare(window);
    ASSERT_TRUE(window.create());
    SDL_Window* handle = static_cast<SDL_Window*>(window.windowHandle());
    window.setPosition(40, 50, 300, 200);
    int w = 0, h = 0;
    SDL_GetWindowSize(handle, &w, &h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
    EXPECT_EQ(window.left, 40);
    EXPECT_EQ(window.top, 50);

    // Resized behind its back, the window is not touched by a repeated request...
    SDL_SetWindowSize(handle, 200, 100);
    window.setPosition(40, 50, 300, 200);
    SDL_GetWindowSize(handle, &w, &h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);
    // ...but any change applies all four values.
    window.setPosition(40, 50, 320, 200);
    SDL_GetWindowSize(handle, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
}

TEST_F(GLWindowTest, FullScreenTogglesTheBorder) {
    CGLWin window;
    prepare(window);
    ASSERT_TRUE(window.create());
    SDL_Window* handle = static_cast<SDL_Window*>(window.windowHandle());
    EXPECT_FALSE(SDL_GetWindowFlags(handle) & SDL_WINDOW_BORDERLESS);
    window.setFullScreen(true);
    EXPECT_TRUE(window.fullscreen);
    EXPECT_TRUE(SDL_GetWindowFlags(handle) & SDL_WINDOW_BORDERLESS);
    window.setFullScreen(false);
    EXPECT_FALSE(SDL_GetWindowFlags(handle) & SDL_WINDOW_BORDERLESS);
}

TEST_F(GLWindowTest, MonitorRectangles) {
    CGLWin window;
    MonitorRect first = window.monitorRect(0);
    EXPECT_GT(first.width, 0);
    EXPECT_GT(first.height, 0);
    MonitorRect all = window.monitorRect(-1);
    int count = SDL_GetNumVideoDisplays();
    ASSERT_GE(count, 1);
    // The union holds every display and is no larger than their spread.
    int right = first.left + first.width, bottom = first.top + first.height;
    for (int i = 0; i < count; ++i) {
        MonitorRect one = window.monitorRect(i);
        EXPECT_LE(all.left, one.left);
        EXPECT_LE(all.top, one.top);
        EXPECT_GE(all.left + all.width, one.left + one.width);
        EXPECT_GE(all.top + all.height, one.top + one.height);
        right = std::max(right, one.left + one.width);
        bottom = std::max(bottom, one.top + one.height);
    }
    EXPECT_EQ(all.left + all.width, right);
    EXPECT_EQ(all.top + all.height, bottom);
    if (count == 1) {
        EXPECT_EQ(all.left, first.left);
        EXPECT_EQ(all.width, first.width);
    }
    MonitorRect absent = window.monitorRect(count);
    EXPECT_EQ(absent.left | absent.top | absent.width | absent.height, 0);
    absent = window.monitorRect(1000);
    EXPECT_EQ(absent.width, 0);
}

TEST_F(GLWindowTest, CreationFailureShowsItsBoxAndFails) {
    setenv("SDL_OPENGL_LIBRARY", "/nonexistent/libGL.so.1", 1);
    CGLWin window;
    prepare(window);
    LogCapture log;
    bool created = window.create();
    unsetenv("SDL_OPENGL_LIBRARY");
    EXPECT_FALSE(created);
    EXPECT_EQ(window.windowHandle(), nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, CGLWin::BoxKind::Warning);
    EXPECT_EQ(boxes[0].title, "ERROR");
    EXPECT_EQ(boxes[0].text, "Window Creation Error.");
    // What was made is released again.
    EXPECT_TRUE(log.contains("Window Killed."));
    EXPECT_EQ(CGLWin::receiver(), nullptr);
}

class UnsupportedModeTest : public DisplayTest {
protected:
    void configure(CGLWin& window) {
        prepare(window);
        window.fullscreen = true;
        window.changeDisplayMode = true;
        window.width = 333;  // no display offers this mode
        window.height = 222;
    }
};

TEST_F(UnsupportedModeTest, DecliningTheWindowedFallbackFails) {
    CGLWin window;
    configure(window);
    answer = false;
    EXPECT_FALSE(window.create());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind, CGLWin::BoxKind::Question);
    EXPECT_EQ(boxes[0].title, "Vortalis Visualizer");
    EXPECT_EQ(
        boxes[0].text,
        "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
        "Instead?");
    EXPECT_EQ(boxes[1].kind, CGLWin::BoxKind::Error);
    EXPECT_EQ(boxes[1].text, "Program Will Now Close.");
    EXPECT_EQ(window.windowHandle(), nullptr);
}

TEST_F(UnsupportedModeTest, AcceptingTheFallbackOpensAWindow) {
    CGLWin window;
    configure(window);
    answer = true;
    ASSERT_TRUE(window.create());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(window.fullscreen);
    EXPECT_FALSE(window.displayChanged);
    Uint32 flags = SDL_GetWindowFlags(static_cast<SDL_Window*>(window.windowHandle()));
    EXPECT_FALSE(flags & SDL_WINDOW_FULLSCREEN);
}

TEST_F(GLWindowTest, FullScreenWithoutModeChangeCoversTheFirstMonitor) {
    CGLWin window;
    prepare(window);
    MonitorRect monitor = window.monitorRect(0);
    window.fullscreen = true;
    window.width = monitor.width;
    window.height = monitor.height;
    ASSERT_TRUE(window.create());
    SDL_Window* handle = static_cast<SDL_Window*>(window.windowHandle());
    EXPECT_EQ(SDL_GetWindowFlags(handle) & SDL_WINDOW_FULLSCREEN_DESKTOP,
              static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP));
    EXPECT_FALSE(window.displayChanged);
    int w = 0, h = 0;
    SDL_GetWindowSize(handle, &w, &h);
    EXPECT_EQ(w, monitor.width);
    EXPECT_EQ(h, monitor.height);
    LogCapture log;
    window.destroy();
    EXPECT_TRUE(log.contains("GLWnd Vortalis Visualizer Switch fullscreen\n"));
}

TEST_F(GLWindowTest, ModeChangeToAnOfferedModeNeedsNoQuestion) {
    CGLWin window;
    prepare(window);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetDisplayMode(0, 0, &mode), 0) << SDL_GetError();
    window.fullscreen = true;
    window.changeDisplayMode = true;
    window.width = mode.w;
    window.height = mode.h;
    ASSERT_TRUE(window.create());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(window.fullscreen);
    EXPECT_TRUE(window.displayChanged);
    Uint32 flags = SDL_GetWindowFlags(static_cast<SDL_Window*>(window.windowHandle()));
    EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN_DESKTOP, static_cast<Uint32>(SDL_WINDOW_FULLSCREEN));
    window.destroy();
    EXPECT_FALSE(window.displayChanged);
}

}  // namespace
