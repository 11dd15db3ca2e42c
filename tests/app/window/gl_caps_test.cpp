#include <gtest/gtest.h>

#include <vector>

#include "app/glCaps.h"
#include "app/log.h"
#include "tests/support/log_capture.h"

namespace {

const char* const kAllExtensions =
    "GL_ARB_multitexture GL_ARB_shader_objects GL_ARB_vertex_shader GL_ARB_fragment_shader "
    "GL_EXT_framebuffer_object GL_ARB_texture_float GL_ARB_vertex_buffer_object";

GLDriverInfo capableDriver() {
    GLDriverInfo info;
    info.vendor = "Acme";
    info.renderer = "Acme Raster 9";
    info.version = "2.1 Acme";
    info.extensions = kAllExtensions;
    info.windowSystemExtensions = "GLX_EXT_swap_control";
    info.glewLoaded = true;
    info.bufferObjects = true;
    return info;
}

GLDriverInfo without(const std::string& name) {
    GLDriverInfo info = capableDriver();
    size_t at = info.extensions.find(name);
    info.extensions.erase(at, name.size());
    return info;
}

std::vector<std::string> onScreen(const LogCapture& log) {
    std::vector<std::string> out;
    for (const auto& line : log.lines())
        if (line.level == LOG_OSD) out.push_back(line.text);
    return out;
}

const char* const kClosing1 = "!UNABLE TO LOAD SCENES (SEE ABOVE)\n";
const char* const kClosing2 =
    "^Usually this is because you need to update your PC's graphics drivers.\n";

TEST(GLProbe, CapableDriverPassesQuietly) {
    LogCapture log;
    GLCapabilities caps = evaluateGLCapabilities(capableDriver());
    EXPECT_TRUE(caps.usable);
    EXPECT_TRUE(caps.multitexture);
    EXPECT_TRUE(caps.floatTextures);
    EXPECT_TRUE(caps.vertexBufferObjects);
    EXPECT_TRUE(onScreen(log).empty()) << log.all();
    EXPECT_TRUE(log.contains(LOG_INFO, "GL_VENDOR = Acme\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "GL_RENDERER = Acme Raster 9\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "GL_VERSION = 2.1 Acme\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, std::string("GL_EXTENSIONS = ") + kAllExtensions + "\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Loading OpenGL Extensions...\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Floating-point texture capable\n"));
}

TEST(GLProbe, MissingFramebufferGivesItsMessageAndTheClosingLines) {
    LogCapture log;
    GLCapabilities caps = evaluateGLCapabilities(without("GL_EXT_framebuffer_object"));
    EXPECT_FALSE(caps.usable);
    std::vector<std::string> shown = onScreen(log);
    ASSERT_EQ(shown.size(), 4u) << log.all();
    EXPECT_EQ(shown[0], "?Vortalis needs OpenGL's Framebuffer support to work\n");
    EXPECT_EQ(shown[1], kClosing1);
    EXPECT_EQ(shown[2], kClosing2);
    EXPECT_EQ(shown[3].substr(0, 1), "^");
    EXPECT_NE(shown[3].find("README"), std::string::npos);
}

TEST(GLProbe, EachMissingShaderExtensionGivesOneGlslMessage) {
    for (const char* name :
         {"GL_ARB_vertex_shader", "GL_ARB_fragment_shader", "GL_ARB_shader_objects"}) {
        LogCapture log;
        EXPECT_FALSE(evaluateGLCapabilities(without(name)).usable) << name;
        std::vector<std::string> shown = onScreen(log);
        ASSERT_EQ(shown.size(), 4u) << name;
        EXPECT_EQ(shown[0], "?Vortalis needs OpenGL's GLSL support to work\n");
    }
}

TEST(GLProbe, MissingMultitextureClearsTheFlag) {
    LogCapture log;
    GLCapabilities caps = evaluateGLCapabilities(without("GL_ARB_multitexture"));
    EXPECT_FALSE(caps.usable);
    EXPECT_FALSE(caps.multitexture);
    std::vector<std::string> shown = onScreen(log);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], "?Vortalis needs OpenGL's Multitexturing extension to work\n");
}

TEST(GLProbe, EmptyExtensionStringFailsEveryCheckInOrder) {
    GLDriverInfo info = capableDriver();
    info.extensions.clear();
    LogCapture log;
    EXPECT_FALSE(evaluateGLCapabilities(info).usable);
    std::vector<std::string> shown = onScreen(log);
    ASSERT_EQ(shown.size(), 6u) << log.all();
    EXPECT_NE(shown[0].find("Multitexturing"), std::string::npos);
    EXPECT_NE(shown[1].find("GLSL"), std::string::npos);
    EXPECT_NE(shown[2].find("Framebuffer"), std::string::npos);
    EXPECT_EQ(shown[3], kClosing1);
}

TEST(GLProbe, GlewFailureFailsTheProbeWithItsText) {
    GLDriverInfo info = capableDriver();
    info.glewLoaded = false;
    info.glewError = "Missing GL version";
    LogCapture log;
    GLCapabilities caps = evaluateGLCapabilities(info);
    EXPECT_FALSE(caps.usable);
    EXPECT_FALSE(caps.vertexBufferObjects);
    std::vector<std::string> shown = onScreen(log);
    ASSERT_EQ(shown.size(), 4u) << log.all();
    EXPECT_EQ(shown[0], "GLEW Failed : Missing GL version\n");
    EXPECT_EQ(shown[1], kClosing1);
}

TEST(GLProbe, FloatFormatsFollowDriverAndSettings) {
    GLCapabilities capable = evaluateGLCapabilities(capableDriver());
    MemorySettings settings;
    EXPECT_EQ(floatTextureFormat(capable, settings), kGLFormatRGBA32F);
    EXPECT_EQ(floatRenderTextureFormat(capable, settings), kGLFormatRGBA);
    settings.setInt("gl.float_texture", 0);
    settings.setInt("gl.float_render_texture", 1);
    EXPECT_EQ(floatTextureFormat(capable, settings), kGLFormatRGBA);
    EXPECT_EQ(floatRenderTextureFormat(capable, settings), kGLFormatRGBA32F);
}

TEST(GLProbe, NoFloatTexturesMeansRgbaWhateverTheSettings) {
    LogCapture log;
    GLCapabilities caps = evaluateGLCapabilities(without("GL_ARB_texture_float"));
    EXPECT_TRUE(caps.usable);
    EXPECT_FALSE(log.contains("Floating-point texture capable"));
    MemorySettings settings;
    settings.setInt("gl.float_texture", 1);
    settings.setInt("gl.float_render_texture", 1);
    EXPECT_EQ(floatTextureFormat(caps, settings), kGLFormatRGBA);
    EXPECT_EQ(floatRenderTextureFormat(caps, settings), kGLFormatRGBA);
}

struct SetterLog {
    std::vector<int> intervals;
    bool available = true;
    SwapIntervalSetter setter() {
        return [this](int n) {
            intervals.push_back(n);
            return available;
        };
    }
};

TEST(SwapInterval, TearControlNegatesTheInterval) {
    SetterLog calls;
    LogCapture log;
    setSwapInterval(1, "GL_X GLX_EXT_swap_control_tear", calls.setter());
    EXPECT_EQ(calls.intervals, std::vector<int>{-1});
    EXPECT_TRUE(log.contains(
        LOG_INFO, "Enabling OpenGL swap_control_tear extension to allow soft FPS limiting\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Setting OpenGL Swap Interval to -1\n"));
}

TEST(SwapInterval, WithoutTearControlTheIntervalIsKept) {
    SetterLog calls;
    LogCapture log;
    setSwapInterval(1, "GLX_EXT_swap_control", calls.setter());
    EXPECT_EQ(calls.intervals, std::vector<int>{1});
    EXPECT_FALSE(log.contains("swap_control_tear"));
    EXPECT_TRUE(log.contains("Setting OpenGL Swap Interval to 1\n"));
}

TEST(SwapInterval, MissingSwapControlIsAWarning) {
    SetterLog calls;
    calls.available = false;
    LogCapture log;
    setSwapInterval(0, "", calls.setter());
    EXPECT_TRUE(log.contains(LOG_WARNING, "wglSwapIntervalEXT NOT FOUND\n"));
    EXPECT_FALSE(log.contains("Setting OpenGL Swap Interval"));
}

TEST(SwapInterval, OnlyVsyncZeroAndOneAreApplied) {
    for (int vsync : {-1, 2, 7}) {
        MemorySettings settings;
        settings.setInt("gl.vsync", vsync);
        SetterLog calls;
        applyVsyncSetting(settings, "_swap_control_tear", calls.setter());
        EXPECT_TRUE(calls.intervals.empty()) << vsync;
    }
    MemorySettings unset;
    SetterLog untouched;
    applyVsyncSetting(unset, "", untouched.setter());
    EXPECT_TRUE(untouched.intervals.empty());
    EXPECT_EQ(unset.getString("gl.vsync", "?"), "-1");

    MemorySettings zero, one;
    zero.setInt("gl.vsync", 0);
    one.setInt("gl.vsync", 1);
    SetterLog calls;
    applyVsyncSetting(zero, "_swap_control_tear", calls.setter());
    applyVsyncSetting(one, "_swap_control_tear", calls.setter());
    EXPECT_EQ(calls.intervals, (std::vector<int>{0, -1}));
}

}  // namespace
