// The hidden test window and the per-test reset. See gl_fixture.h.
#include "tests/render/gl_fixture.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

#include "render/renderFiles.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
std::string failure;

const char* const kVertexSource =
    "void main() {\n"
    "  gl_Position = ftransform();\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "}\n";
const char* const kColourSource = "void main() { gl_FragColor = gl_Color; }\n";

bool realVideoDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

// A busy X server now and then refuses a connection; SDL then either fails or
// quietly falls back to a driver without GLX, where GLEW cannot start. Ask
// again, with a pause, before giving up.
bool openRealVideo() {
    for (int attempt = 1; attempt <= 8; ++attempt) {
        if (SDL_Init(SDL_INIT_VIDEO) == 0) {
            if (realVideoDriver()) {
                failure.clear();
                return true;
            }
            failure = std::string("SDL chose the video driver ") + SDL_GetCurrentVideoDriver();
            SDL_Quit();
        } else {
            failure = std::string("SDL_Init: ") + SDL_GetError();
        }
        SDL_Delay(100 * attempt);
    }
    return false;
}

class GlEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
            failure = "no display";
            return;
        }
        if (!openRealVideo()) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
        window = SDL_CreateWindow("render tests", 0, 0, kGlWidth, kGlHeight,
                                  SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
        if (!window) {
            failure = std::string("SDL_CreateWindow: ") + SDL_GetError();
            return;
        }
        context = SDL_GL_CreateContext(window);
        if (!context) {
            failure = std::string("SDL_GL_CreateContext: ") + SDL_GetError();
            return;
        }
        glewExperimental = GL_TRUE;
        // Seen once under heavy parallel load: GLEW found no current GLX
        // display right after the context was made. Making it current again
        // and retrying costs nothing when all is well.
        GLenum status = glewInit();
        for (int retry = 0; retry < 3 && status != GLEW_OK; retry++) {
            SDL_GL_MakeCurrent(window, context);
            status = glewInit();
        }
        if (status != GLEW_OK) {
            failure = std::string("glewInit: ") +
                      reinterpret_cast<const char*>(glewGetErrorString(status)) + " (" +
                      std::to_string(status) + ")";
            return;
        }
        glGetError();  // glewInit may leave one behind
    }

    void TearDown() override {
        if (context) SDL_GL_DeleteContext(context);
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
    }
};

const ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new GlEnvironment);

bool displayRequired() {
    const char* value = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace

bool glTestContextReady() {
    return failure.empty() && context;
}
void glTestSwap() {
    SDL_GL_SwapWindow(window);
}

void GlTest::SetUp() {
    if (!glTestContextReady()) {
        if (displayRequired()) FAIL() << "GL context required but unavailable: " << failure;
        GTEST_SKIP() << "no GL context: " << failure;
    }
    testFiles().clear();
    testFiles()["test.vert"] = kVertexSource;
    testFiles()["colour.frag"] = kColourSource;
    useTestFiles();
    caps.multitexture = true;
    caps.vertexBufferObjects = GLEW_VERSION_1_5 != 0;
    caps.floatTextures = GLEW_ARB_texture_float != 0;
    caps.floatTextureFormat = caps.floatTextures ? GL_RGBA32F_ARB : GL_RGBA;
    caps.floatRenderTextureFormat = caps.floatTextures ? GL_RGBA32F_ARB : GL_RGBA;
    renderSetCaps(caps);
    renderUtilsInit(&host);
    pool = std::make_unique<CFrameBufferObjects>(host.settings());
    renderSetFrameBufferObjects(pool.get());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glViewport(0, 0, kGlWidth, kGlHeight);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_BACK);
    while (glGetError() != GL_NO_ERROR) {
    }
}

void GlTest::TearDown() {
    if (!glTestContextReady()) return;
    shaderBind(0);
    // Whatever a test left behind goes, so the next test starts empty.
    renderUtilsKill();
    CTextureInfos& table = textureInfos();
    for (int id = 1; id < table.size(); id++) {
        TextureRecord* record = table.find(id);
        if (record && !record->renderable && record->glName) glDeleteTextures(1, &record->glName);
    }
    table.clear();
    renderSetFrameBufferObjects(nullptr);
    pool.reset();
    texSetCacheHook(nullptr);
    texSetFallbackTexture(0);
    stopUsingTestFiles();
}

std::array<uint8_t, 4> GlTest::pixel(int x, int y) const {
    std::array<uint8_t, 4> rgba{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

unsigned GlTest::colourShader(const std::string& fragment) {
    std::string name = "colour.frag";
    if (!fragment.empty()) {
        name = "custom" + std::to_string(testFiles().size()) + ".frag";
        testFiles()[name] = fragment;
    }
    return shaderLoad("test.vert", name.c_str());
}
