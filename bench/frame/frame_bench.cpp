// The CPU cost of the system's own work per frame for the first real scene
// (sound analysis, scene step and render, natives), and of the sound
// analyser per second of audio.
//
// Wall-clock times on a shared machine are noise, so the figures are
// instruction counts from valgrind's callgrind: the program runs itself
// under callgrind with collection switched on only inside the measured
// function, and splits the counted instructions by the object that executed
// them. Instructions in this executable are the system's own work; those in
// the C and C++ runtimes are shown apart (both the system and the driver
// call them); everything else (libGL, Mesa, LLVM, the JIT-compiled shaders)
// is the GL driver. The driver and the beat synthesis are the peers that
// the own work is compared with.
//
//   frame_bench [--content DIR] [--frames N] [--seconds S]
//   frame_bench run-frames DIR N | run-sound S   (what runs under callgrind)
#include <GL/glew.h>
#include <SDL.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "app/glCaps.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/cache/sceneTextureCache.h"
#include "render/cache/textureUploader.h"
#include "render/frameBufferObjects.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "scene/sceneNatives.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tools/preview/previewHost.h"
#include "tools/preview/sceneLists.h"
#include "vfs/fileSystem.h"

namespace {

constexpr int kSize = 64;  // small: the driver's rasterising is not what is measured
constexpr float kFrameTime = 1.0f / 60.0f;

class BenchRenderHost : public RenderHost {
public:
    int outputWidth() const override { return kSize; }
    int outputHeight() const override { return kSize; }
    SettingsAccess* settings() override { return &store; }
    MemorySettings store;
};

}  // namespace

// The measured regions; callgrind collects only inside them.
extern "C" __attribute__((noinline)) void benchFrames(PreviewHost& host, SDL_Window* window,
                                                      int frames, CTextureCache& cache) {
    for (int i = 0; i < frames; ++i) {
        host.frame(kFrameTime, kFrameTime);
        cache.update();
        SDL_GL_SwapWindow(window);
    }
}

extern "C" __attribute__((noinline)) void benchSound(SoundSource& source, SoundAnalyser& analyser,
                                                     int frames) {
    for (int i = 0; i < frames; ++i) {
        source.produce(static_cast<int>(kFrameTime * 1000));
        analyser.analyse(source, kFrameTime, kFrameTime);
    }
}

extern "C" __attribute__((noinline)) void benchSynthesis(SoundSource& source, int frames) {
    for (int i = 0; i < frames; ++i) {
        source.produce(static_cast<int>(kFrameTime * 1000));
        while (source.takeBlock()) {
        }
    }
}

namespace {

// First binds, shader compilation and texture upload, outside the measured region.
void warmUp(PreviewHost& host, SDL_Window* window, CTextureCache& cache) {
    for (int i = 0; i < 10; ++i) {
        host.frame(kFrameTime, kFrameTime);
        cache.update();
        SDL_GL_SwapWindow(window);
    }
}

int runFrames(const std::string& content, int frames) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "frame_bench: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_Window* window =
        SDL_CreateWindow("frame bench", 0, 0, kSize, kSize, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "frame_bench: no GL context: %s\n", SDL_GetError());
        return 1;
    }
    GLCapabilities found = probeGL();
    BenchRenderHost output;
    RenderCaps caps;
    caps.vertexBufferObjects = found.vertexBufferObjects;
    renderSetCaps(caps);
    renderUtilsInit(&output);
    CFrameBufferObjects pool(&output.store);
    renderSetFrameBufferObjects(&pool);
    CVFileSystem::create(content);
    vmSystemCreate(logLevelFromPrefix);
    sceneInstallNatives();
    GlTextureUploader uploader;
    CTextureCache cache(&output.store, &uploader);
    texSetCacheHook(&cache);
    CacheSceneTextures textures(cache);
    int result = 1;
    {
        PreviewHost host(content, 140.0, kSize, kSize, textures);
        std::unique_ptr<SceneDefinition> definition =
            findSceneDefinition("pulse", SceneContext{&host, &host});
        if (definition) {
            CScene scene(&host, std::move(definition));
            host.setScene(&scene);
            scene.initialise(true);
            glViewport(0, 0, kSize, kSize);
            warmUp(host, window, cache);
            auto start = std::chrono::steady_clock::now();
            benchFrames(host, window, frames, cache);
            double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("wall clock: %.3f ms per frame (driver included)\n",
                        seconds * 1000.0 / frames);
            result = host.failed() ? 1 : 0;
            scene.kill();
            host.setScene(nullptr);
        }
    }
    vmSystemDestroy();
    texSetCacheHook(nullptr);
    cache.destroy();
    renderUtilsKill();
    renderSetFrameBufferObjects(nullptr);
    CVFileSystem::destroy();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return result;
}

int runSound(int seconds) {
    int frames = static_cast<int>(seconds / kFrameTime);
    SyntheticBeatSource source(140.0);
    SoundAnalyser analyser;
    benchSound(source, analyser, frames);
    SyntheticBeatSource alone(140.0);
    benchSynthesis(alone, frames);
    return 0;
}

// ---- the measuring side ----

std::string self() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = 0;
    return path;
}

bool haveTool(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

enum Share { OWN, RUNTIME, DRIVER };

Share shareOf(const std::string& object, const std::string& executable) {
    if (object.empty() || object == executable) return OWN;
    for (const char* runtime :
         {"/libc.so", "/libm.so", "/libstdc++.so", "/libgcc_s.so", "/ld-linux"})
        if (object.find(runtime) != std::string::npos) return RUNTIME;
    return DRIVER;
}

// Sums the exclusive instruction counts of a callgrind output file per share:
// a cost line counts for the object of the function it follows, except the
// line right after "calls=", which is the inclusive cost of a call.
bool sumCallgrindFile(const std::string& path, const std::string& executable, double totals[3]) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return false;
    std::map<std::string, std::string> objects;  // "(n)" -> name
    std::string object;                          // of the current "ob="
    Share share = OWN;                           // of the current function
    bool afterCalls = false;
    char line[16384];
    while (std::fgets(line, sizeof line, file)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        bool callee = text.rfind("cob=", 0) == 0;
        if (callee || text.rfind("ob=", 0) == 0) {
            // Names are compressed: "(n) name" the first time, "(n)" after,
            // in one numbering shared by ob= and cob=.
            std::string rest = text.substr(callee ? 4 : 3);
            std::string name = rest;
            size_t close = rest.find(')');
            if (!rest.empty() && rest[0] == '(' && close != std::string::npos) {
                std::string key = rest.substr(0, close + 1);
                if (close + 2 < rest.size()) objects[key] = rest.substr(close + 2);
                name = objects[key];
            }
            if (!callee) object = name;
        } else if (text.rfind("fn=", 0) == 0) {
            share = shareOf(object, executable);
        } else if (text.rfind("calls=", 0) == 0) {
            afterCalls = true;
        } else if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                     text[0] == '+' || text[0] == '-' || text[0] == '*')) {
            if (afterCalls) {
                afterCalls = false;
                continue;
            }
            size_t space = text.find_last_of(' ');
            if (space != std::string::npos) totals[share] += std::atof(text.c_str() + space + 1);
        }
    }
    std::fclose(file);
    return true;
}

// Runs `arguments` under callgrind collecting only inside `function`, and
// sums the exclusive instruction counts per share.
bool measure(const std::string& arguments, const std::string& function, double totals[3]) {
    std::string out = "/tmp/frame_bench." + std::to_string(getpid()) + ".callgrind";
    std::string command =
        "LP_NUM_THREADS=0 valgrind --tool=callgrind --collect-atstart=no "
        "--compress-strings=yes --toggle-collect=" +
        function + " --callgrind-out-file=" + out + " " + self() + " " + arguments +
        " >/dev/null 2>&1";
    totals[OWN] = totals[RUNTIME] = totals[DRIVER] = 0;
    bool ok = std::system(command.c_str()) == 0 && sumCallgrindFile(out, self(), totals);
    std::remove(out.c_str());
    return ok;
}

int report(const std::string& content, int frames, int seconds) {
    if (!haveTool("valgrind")) {
        std::printf("valgrind is not installed: only wall-clock figures follow\n");
        runSound(seconds);
        return runFrames(content, frames);
    }
    double frame[3];
    if (!measure("run-frames " + content + " " + std::to_string(frames), "benchFrames", frame)) {
        std::fprintf(stderr, "frame_bench: the frame run failed (a display is needed)\n");
        return 1;
    }
    std::printf("Scene 'pulse', %d frames at %dx%d, instructions per frame:\n", frames, kSize,
                kSize);
    std::printf("  system's own work      %12.0f\n", frame[OWN] / frames);
    std::printf("  C/C++ runtime          %12.0f\n", frame[RUNTIME] / frames);
    std::printf("  GL driver (peer)       %12.0f\n", frame[DRIVER] / frames);
    if (frame[DRIVER] > 0)
        std::printf("  own work / driver      %12.3f\n", frame[OWN] / frame[DRIVER]);

    double sound[3];
    double synthesis[3];
    if (!measure("run-sound " + std::to_string(seconds), "benchSound", sound) ||
        !measure("run-sound " + std::to_string(seconds), "benchSynthesis", synthesis)) {
        std::fprintf(stderr, "frame_bench: the sound run failed\n");
        return 1;
    }
    // The analysed run also synthesises its blocks; the synthesis-only run
    // measures that part, so the analyser's share is the difference.
    double making = synthesis[OWN] + synthesis[RUNTIME];
    double analysis = sound[OWN] + sound[RUNTIME] - making;
    std::printf("Sound, %d s of audio, instructions per second of audio:\n", seconds);
    std::printf("  sound analyser         %12.0f\n", analysis / seconds);
    std::printf("  beat synthesis (peer)  %12.0f\n", making / seconds);
    if (making > 0) std::printf("  analyser / synthesis   %12.3f\n", analysis / making);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "run-frames") == 0)
        return runFrames(argv[2], std::atoi(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "run-sound") == 0) return runSound(std::atoi(argv[2]));
    std::string content = VORTALIS_CONTENT_DIR;
    int frames = 120;
    int seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--content") == 0)
            content = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    if (content.empty() || content.back() != '/') content += '/';
    return report(content, frames, seconds);
}
