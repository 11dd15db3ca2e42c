#include "app/glCaps.h"

#include <GL/glew.h>
#include <GL/glxew.h>
#include <SDL.h>

#include "app/log.h"

namespace {

bool has(const std::string& text, const char* name) {
    return text.find(name) != std::string::npos;
}

std::string glString(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// Swap control is announced by the window system, not in GL_EXTENSIONS.
std::string glxExtensions() {
    Display* display = glXGetCurrentDisplay();
    if (!display) return "";
    const char* text = glXQueryExtensionsString(display, DefaultScreen(display));
    return text ? text : "";
}

bool checkRequired(const std::string& extensions) {
    bool ok = true;
    if (!has(extensions, "GL_ARB_multitexture")) {
        Log(LOG_OSD, "?Vortalis needs OpenGL's Multitexturing extension to work\n");
        ok = false;
    }
    if (!has(extensions, "GL_ARB_vertex_shader") || !has(extensions, "GL_ARB_fragment_shader") ||
        !has(extensions, "GL_ARB_shader_objects")) {
        Log(LOG_OSD, "?Vortalis needs OpenGL's GLSL support to work\n");
        ok = false;
    }
    if (!has(extensions, "GL_EXT_framebuffer_object")) {
        Log(LOG_OSD, "?Vortalis needs OpenGL's Framebuffer support to work\n");
        ok = false;
    }
    return ok;
}

int floatFormat(const GLCapabilities& caps, SettingsAccess& settings, const char* key,
                int defaultValue) {
    if (caps.floatTextures && settings.getInt(key, defaultValue) != 0) return kGLFormatRGBA32F;
    return kGLFormatRGBA;
}

}  // namespace

GLCapabilities evaluateGLCapabilities(const GLDriverInfo& info) {
    Log(LOG_INFO, "GL_VENDOR = %s\n", info.vendor.c_str());
    Log(LOG_INFO, "GL_RENDERER = %s\n", info.renderer.c_str());
    Log(LOG_INFO, "GL_VERSION = %s\n", info.version.c_str());
    Log(LOG_INFO, "GL_EXTENSIONS = %s\n", info.extensions.c_str());
    Log(LOG_INFO, "Loading OpenGL Extensions...\n");
    bool ok = info.glewLoaded;
    if (!ok) Log(LOG_OSD, "GLEW Failed : %s\n", info.glewError.c_str());

    GLCapabilities caps;
    if (!checkRequired(info.extensions)) ok = false;
    caps.multitexture = has(info.extensions, "GL_ARB_multitexture");
    caps.floatTextures = has(info.extensions, "GL_ARB_texture_float");
    if (caps.floatTextures) Log(LOG_INFO, "Floating-point texture capable\n");
    caps.vertexBufferObjects = info.glewLoaded && info.bufferObjects;
    caps.extensionText = info.extensions + " " + info.windowSystemExtensions;
    if (!ok) {
        Log(LOG_OSD, "!UNABLE TO LOAD SCENES (SEE ABOVE)\n");
        Log(LOG_OSD, "^Usually this is because you need to update your PC's graphics drivers.\n");
        Log(LOG_OSD, "^The section \"Graphics drivers\" of Vortalis' README explains how.\n");
    }
    caps.usable = ok;
    return caps;
}

GLDriverInfo readGLDriverInfo() {
    GLDriverInfo info;
    info.vendor = glString(GL_VENDOR);
    info.renderer = glString(GL_RENDERER);
    info.version = glString(GL_VERSION);
    info.extensions = glString(GL_EXTENSIONS);
    // A compatibility context lists every extension in GL_EXTENSIONS, so GLEW
    // needs no experimental mode here.
    GLenum result = glewInit();
    info.glewLoaded = result == GLEW_OK;
    if (!info.glewLoaded) {
        info.glewError = reinterpret_cast<const char*>(glewGetErrorString(result));
        return info;
    }
    info.windowSystemExtensions = glxExtensions();
    info.bufferObjects = glGenBuffers != nullptr || glGenBuffersARB != nullptr;
    return info;
}

GLCapabilities probeGL() {
    return evaluateGLCapabilities(readGLDriverInfo());
}

int floatTextureFormat(const GLCapabilities& caps, SettingsAccess& settings) {
    return floatFormat(caps, settings, "gl.float_texture", 1);
}

int floatRenderTextureFormat(const GLCapabilities& caps, SettingsAccess& settings) {
    return floatFormat(caps, settings, "gl.float_render_texture", 0);
}

void setSwapInterval(int interval, const std::string& extensionText,
                     const SwapIntervalSetter& setter) {
    if (has(extensionText, "_swap_control_tear")) {
        Log(LOG_INFO, "Enabling OpenGL swap_control_tear extension to allow soft FPS limiting\n");
        interval = -interval;
    }
    if (setter(interval))
        Log(LOG_INFO, "Setting OpenGL Swap Interval to %d\n", interval);
    else
        Log(LOG_WARNING, "wglSwapIntervalEXT NOT FOUND\n");
}

void applyVsyncSetting(SettingsAccess& settings, const std::string& extensionText,
                       const SwapIntervalSetter& setter) {
    int vsync = settings.getInt("gl.vsync", -1);
    if (vsync == 0 || vsync == 1) setSwapInterval(vsync, extensionText, setter);
}

bool sdlSwapInterval(int interval) {
    return SDL_GL_SetSwapInterval(interval) == 0;
}
