#include <GL/glew.h>
#include <SDL.h>

#include <vector>

#include "app/glCaps.h"
#include "app/log.h"
#include "tests/app/window/display_fixture.h"
#include "tests/support/log_capture.h"

namespace {

class GLProbeTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        prepare(window);
        ASSERT_TRUE(window.create());
    }
    CGLWin window;
};

TEST_F(GLProbeTest, PassesOnTheTestDriverWithItsLogLines) {
    LogCapture log;
    GLCapabilities caps = probeGL();
    EXPECT_TRUE(caps.usable) << log.all();
    // The compatibility context must be enough for GLEW on its own.
    EXPECT_FALSE(glewExperimental);
    EXPECT_TRUE(caps.multitexture);
    EXPECT_TRUE(caps.vertexBufferObjects);
    for (const char* start : {"GL_VENDOR = ", "GL_RENDERER = ", "GL_VERSION = ",
                              "GL_EXTENSIONS = GL_", "Loading OpenGL Extensions...\n"})
        EXPECT_TRUE(log.contains(LOG_INFO, start)) << start;
    for (const auto& line : log.lines())
        EXPECT_NE(line.level, LOG_OSD) << line.text;
    EXPECT_EQ(caps.floatTextures, log.contains("Floating-point texture capable\n"));
    // The entry points GLEW loaded are usable on this context.
    ASSERT_NE(glCreateShaderObjectARB, nullptr);
    ASSERT_NE(glGenFramebuffersEXT, nullptr);
    GLuint framebuffer = 0;
    glGenFramebuffersEXT(1, &framebuffer);
    EXPECT_NE(framebuffer, 0u);
    glDeleteFramebuffersEXT(1, &framebuffer);
}

TEST_F(GLProbeTest, SwapIntervalRuleOnTheRealContext) {
    GLCapabilities caps = probeGL();
    std::vector<int> applied;
    bool lastResult = false;
    auto recordingSdl = [&](int interval) {
        applied.push_back(interval);
        return lastResult = sdlSwapInterval(interval);
    };

    MemorySettings settings;
    settings.setInt("gl.vsync", 2);
    applyVsyncSetting(settings, caps.extensionText, recordingSdl);
    EXPECT_TRUE(applied.empty());

    // Mesa under Xvfb draws through XPutImage and offers no swap control at
    // all; on drivers that do, the interval must really be in effect.
    const std::string& ext = caps.extensionText;
    bool swapControl = ext.find("GLX_EXT_swap_control") != std::string::npos ||
                       ext.find("GLX_MESA_swap_control") != std::string::npos ||
                       ext.find("GLX_SGI_swap_control") != std::string::npos;
    bool tear = ext.find("_swap_control_tear") != std::string::npos;
    settings.setInt("gl.vsync", 1);
    LogCapture log;
    applyVsyncSetting(settings, ext, recordingSdl);
    ASSERT_EQ(applied, std::vector<int>{tear ? -1 : 1});
    EXPECT_EQ(lastResult, swapControl) << SDL_GetError();
    if (lastResult) {
        EXPECT_TRUE(log.contains(LOG_INFO, tear ? "Setting OpenGL Swap Interval to -1\n"
                                                : "Setting OpenGL Swap Interval to 1\n"))
            << log.all();
        EXPECT_EQ(SDL_GL_GetSwapInterval(), tear ? -1 : 1);
    } else {
        EXPECT_TRUE(log.contains(LOG_WARNING, "wglSwapIntervalEXT NOT FOUND\n")) << log.all();
        EXPECT_FALSE(log.contains("Setting OpenGL Swap Interval"));
    }
}

}  // namespace
