// Frames per second of two scenes drawn through the rendering services and
// the same drawing issued with plain GL calls, in one hidden 1280 x 720
// window: a full-window textured, shaded quad, and 10 000 small quads from
// one vertex buffer. The ratio shows what the services cost; near 1 is good.
//
// Usage: render_draw_bench [seconds per case]   (run under xvfb-run)
#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/settingsAccess.h"
#include "render/renderFiles.h"
#include "render/renderState.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kSmallQuads = 10000;
constexpr int kTextureSize = 256;

const char* const kVertex =
    "void main() {\n"
    "  gl_Position = ftransform();\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "}\n";
const char* const kFragment =
    "uniform sampler2D image;\n"
    "void main() { gl_FragColor = texture2D(image, gl_TexCoord[0].st) * 0.9; }\n";

char* readSource(const char* name, uint32_t* length) {
    const char* text = std::strcmp(name, "bench.vert") == 0 ? kVertex : kFragment;
    *length = static_cast<uint32_t>(std::strlen(text));
    char* copy = new char[*length + 1];
    std::memcpy(copy, text, *length + 1);
    return copy;
}

void freeSource(char* buffer) {
    delete[] buffer;
}

class BenchHost : public RenderHost {
public:
    int outputWidth() const override { return kWidth; }
    int outputHeight() const override { return kHeight; }
    SettingsAccess* settings() override { return &store; }
    MemorySettings store;
};

// Format 1 vertices (s, t, x, y, z) of `count` quads laid on a grid over the screen.
std::vector<float> quads(int count, bool fullWindow) {
    std::vector<float> data;
    int columns = fullWindow ? 1 : 125;
    float size = fullWindow ? 2.0f : 2.0f / columns * 0.8f;
    for (int i = 0; i < count; i++) {
        float x = fullWindow ? -1.0f : -1.0f + 2.0f * (i % columns) / columns;
        float y = fullWindow ? -1.0f : -1.0f + 2.0f * ((i / columns) % 80) / 80;
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (auto& c : corners) {
            float vertex[5] = {c[0], c[1], x + c[0] * size, y + c[1] * size, 0.0f};
            data.insert(data.end(), vertex, vertex + 5);
        }
    }
    return data;
}

double framesPerSecond(SDL_Window* window, double seconds, const std::function<void()>& frame) {
    for (int i = 0; i < 5; i++)
        frame();  // warm up
    glFinish();
    auto start = std::chrono::steady_clock::now();
    int frames = 0;
    double elapsed = 0;
    do {
        frame();
        SDL_GL_SwapWindow(window);
        glFinish();
        frames++;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return frames / elapsed;
}

// The same draw in plain GL: program, texture, client arrays, draw, reset.
void plainDraw(GLuint program, GLuint texture, const std::vector<float>& data, int vertices) {
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 20, data.data());
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 20, data.data() + 2);
    glDrawArrays(GL_QUADS, 0, vertices);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void report(const char* name, double ours, double plain) {
    std::printf("%-34s services %8.1f fps   plain GL %8.1f fps   ratio %.3f\n", name, ours, plain,
                ours / plain);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window = SDL_CreateWindow("render bench", 0, 0, kWidth, kHeight,
                                          SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || glewInit() != GLEW_OK) {
        std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    glViewport(0, 0, kWidth, kHeight);

    BenchHost host;
    renderUtilsInit(&host);
    renderSetFileReader(readSource, freeSource);
    GLuint program = shaderLoad("bench.vert", "bench.frag");
    std::vector<uint8_t> pixels(kTextureSize * kTextureSize * 4);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = static_cast<uint8_t>(i * 7);
    int texture = texFromBytes(kTextureSize, kTextureSize, pixels.data());
    GLuint textureName = textureInfos().getGLid(texture);

    struct Case {
        const char* name;
        int quadCount;
        bool fullWindow;
    };
    const Case cases[] = {{"full-window textured quad", 1, true},
                          {"10000 small quads, one buffer", kSmallQuads, false}};
    for (const Case& c : cases) {
        std::vector<float> data = quads(c.quadCount, c.fullWindow);
        int vertices = c.quadCount * 4;
        int buffer = vbCreate(nullptr, 1, vertices);
        std::memcpy(vbLock(buffer), data.data(), data.size() * sizeof(float));
        vbUnLock(buffer);
        double ours = framesPerSecond(window, seconds, [&] {
            glClear(GL_COLOR_BUFFER_BIT);
            shaderBind(program);
            texBind(0, texture);
            vbRender(buffer, 4, 0, vertices);
        });
        double plain = framesPerSecond(window, seconds, [&] {
            glClear(GL_COLOR_BUFFER_BIT);
            plainDraw(program, textureName, data, vertices);
        });
        report(c.name, ours, plain);
        vbDestroy(buffer);
    }
    shaderBind(0);
    shaderDestroy(program);
    renderUtilsKill();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
