// The OpenGL capability probe: what the driver offers, the extensions the
// renderer cannot work without, and the swap interval. A failed probe does not
// stop the program; the user is told on screen what is missing.
//
// The checks run on plain driver strings (`GLDriverInfo`), so that every
// outcome can be tested without a display; `probeGL` reads those strings from
// the current context. The findings travel as the plain `GLCapabilities`
// struct that the visualiser hands to the rendering services.
#pragma once

#include <functional>
#include <string>

#include "app/settingsAccess.h"

struct GLDriverInfo {
    std::string vendor, renderer, version;
    std::string extensions;              // GL extension names; empty when the driver gives none
    std::string windowSystemExtensions;  // e.g. GLX names, where the swap-control ones live
    bool glewLoaded = false;
    std::string glewError;       // GLEW's text when it failed
    bool bufferObjects = false;  // buffer-object entry points were loaded
};

struct GLCapabilities {
    bool usable = false;  // GLEW loaded and every required extension is present
    bool multitexture = false;
    bool floatTextures = false;
    bool vertexBufferObjects = false;
    std::string extensionText;  // GL and window-system names, for the swap-interval rule
};

constexpr int kGLFormatRGBA = 0x1908;
constexpr int kGLFormatRGBA32F = 0x8814;

// Logs the driver strings and checks them; the failure messages are on-screen
// messages followed by three closing lines.
GLCapabilities evaluateGLCapabilities(const GLDriverInfo& info);

// Initialises GLEW on the current context and reads its driver strings.
GLDriverInfo readGLDriverInfo();

// evaluateGLCapabilities(readGLDriverInfo()).
GLCapabilities probeGL();

// GL_RGBA32F_ARB when float textures exist and `gl.float_texture` (default 1)
// is non-zero, else GL_RGBA.
int floatTextureFormat(const GLCapabilities& caps, SettingsAccess& settings);
// The same rule for render targets, with `gl.float_render_texture` (default 0).
int floatRenderTextureFormat(const GLCapabilities& caps, SettingsAccess& settings);

// Sets the interval through `setter`, which returns false when the platform
// has no swap control. With `_swap_control_tear` among the extensions the
// interval is negated: late frames tear instead of waiting.
using SwapIntervalSetter = std::function<bool(int interval)>;
void setSwapInterval(int interval, const std::string& extensionText,
                     const SwapIntervalSetter& setter);

// Applies `gl.vsync` (default -1) when it is 0 or 1; any other value leaves
// the driver's default alone.
void applyVsyncSetting(SettingsAccess& settings, const std::string& extensionText,
                       const SwapIntervalSetter& setter);

// The setter for the current SDL context.
bool sdlSwapInterval(int interval);
