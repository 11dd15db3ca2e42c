// The CPU cost of the system's own work per frame for the first real scene
// (sound analysis, scene step and render, natives), of the whole visualiser
// frame step playing a fade of two scenes under the control script and
// the on-screen display, and of the sound analyser per second of audio; and
// the frame rate of the visualiser beside the preview's for the same scene.
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
// Frame rates are wall-clock figures by nature; they are measured without
// valgrind, at a real screen size, each in a process of its own.
//
//   frame_bench [--content DIR] [--frames N] [--seconds S] [--fps-frames N]
//               [--fps-size WxH]
//   frame_bench run-frames DIR N [W H] | run-vis BASE N fixed|real | run-sound S
//               (what the measuring side runs, under callgrind or not; with
//               W H the preview's window is shown)
#include <GL/glew.h>
#include <SDL.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/glCaps.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "bench/frame/visualiserRun.h"
#include "bench/support/callgrind.h"
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
constexpr int kRateRuns = 3;

class BenchRenderHost : public RenderHost {
public:
    BenchRenderHost(int width, int height) : width_(width), height_(height) {}
    int outputWidth() const override { return width_; }
    int outputHeight() const override { return height_; }
    SettingsAccess* settings() override { return &store; }
    MemorySettings store;

private:
    int width_;
    int height_;
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

// `shown`: the window is on screen and every frame is presented, as in
// vortalis-preview and the visualiser; a hidden one suits instruction counts.
int runFrames(const std::string& content, int frames, int width, int height, bool shown) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "frame_bench: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_Window* window =
        SDL_CreateWindow("frame bench", 0, 0, width, height,
                         (shown ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN) | SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "frame_bench: no GL context: %s\n", SDL_GetError());
        return 1;
    }
    // As the visualiser's bench settings do: the rate is not held to a display.
    SDL_GL_SetSwapInterval(0);
    GLCapabilities found = probeGL();
    BenchRenderHost output(width, height);
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
        PreviewHost host(content, 140.0, width, height, textures);
        std::unique_ptr<SceneDefinition> definition =
            findSceneDefinition("pulse", SceneContext{&host, &host});
        if (definition) {
            CScene scene(&host, std::move(definition));
            host.setScene(&scene);
            scene.initialise(true);
            glViewport(0, 0, width, height);
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

struct Options {
    std::string content = VORTALIS_CONTENT_DIR;
    int frames = 120;
    int seconds = 10;
    int fpsFrames = 240;
    int fpsWidth = 1280;
    int fpsHeight = 720;
};

void printShares(const double totals[3], int frames) {
    std::printf("  system's own work      %12.0f\n", totals[OWN] / frames);
    std::printf("  C/C++ runtime          %12.0f\n", totals[RUNTIME] / frames);
    std::printf("  GL driver (peer)       %12.0f\n", totals[DRIVER] / frames);
    if (totals[DRIVER] > 0)
        std::printf("  own work / driver      %12.3f\n", totals[OWN] / totals[DRIVER]);
}

// The whole frame step on a base made for it; the base goes when it is done.
bool measureVisualiser(const Options& options, double totals[3]) {
    std::string base = makeBenchBase(options.content, BenchBase::CROSSFADE_TREE, kSize, kSize);
    if (base.empty()) return false;
    bool ok = measure("run-vis " + base + " " + std::to_string(options.frames) + " fixed",
                      "benchVisFrames", totals);
    removeBenchBase(base);
    return ok;
}

// The best of a few runs of each, taken in turns, so that a burst of load
// from elsewhere on the machine does not decide the ratio.
bool reportFrameRates(const Options& options) {
    std::string base = makeBenchBase(options.content, BenchBase::DEFAULT_CONTENT, options.fpsWidth,
                                     options.fpsHeight);
    if (base.empty()) return false;
    std::string frames = std::to_string(options.fpsFrames);
    std::string size = std::to_string(options.fpsWidth) + " " + std::to_string(options.fpsHeight);
    double visualiser = 0;
    double preview = 0;
    bool ok = true;
    for (int run = 0; run < kRateRuns && ok; run++) {
        double one = wallClockOf("run-vis " + base + " " + frames + " real");
        double peer = wallClockOf("run-frames " + options.content + " " + frames + " " + size);
        ok = one > 0 && peer > 0;
        if (run == 0 || one < visualiser) visualiser = one;
        if (run == 0 || peer < preview) preview = peer;
    }
    removeBenchBase(base);
    if (!ok) return false;
    std::printf(
        "Frames per second at %dx%d, default content (scene 'pulse'), best of %d runs "
        "of %d frames:\n",
        options.fpsWidth, options.fpsHeight, kRateRuns, options.fpsFrames);
    std::printf("  visualiser (vortalis)  %12.1f\n", 1000.0 / visualiser);
    std::printf("  preview (peer)         %12.1f\n", 1000.0 / preview);
    std::printf("  visualiser / preview   %12.3f\n", preview / visualiser);
    return true;
}

bool reportInstructions(const Options& options) {
    double frame[3];
    std::string pulse = "run-frames " + options.content + " " + std::to_string(options.frames);
    if (!measure(pulse, "benchFrames", frame)) {
        std::fprintf(stderr, "frame_bench: the frame run failed (a display is needed)\n");
        return false;
    }
    std::printf("Scene 'pulse' alone (preview host), %d frames at %dx%d, instructions per frame:\n",
                options.frames, kSize, kSize);
    printShares(frame, options.frames);

    double whole[3];
    if (!measureVisualiser(options, whole)) {
        std::fprintf(stderr, "frame_bench: the visualiser run failed\n");
        return false;
    }
    std::printf(
        "Whole frame (CVisMain::step): fade(pulse-b, pulse), control script, 3 on-screen\n"
        "messages, statistics; %d frames at %dx%d, instructions per frame:\n",
        options.frames, kSize, kSize);
    printShares(whole, options.frames);
    std::printf("  scenes alone (pulse)   %12.0f\n", frame[OWN] / options.frames);
    // Both include the same sound analysis (1/60 s of audio per frame), so
    // the difference is what the rest of the frame step adds.
    std::printf("  whole - scenes alone   %12.0f\n", (whole[OWN] - frame[OWN]) / options.frames);
    if (frame[OWN] > 0)
        std::printf("  whole frame / scenes alone (own work) %8.3f\n", whole[OWN] / frame[OWN]);

    double sound[3];
    double synthesis[3];
    std::string audio = "run-sound " + std::to_string(options.seconds);
    if (!measure(audio, "benchSound", sound) || !measure(audio, "benchSynthesis", synthesis)) {
        std::fprintf(stderr, "frame_bench: the sound run failed\n");
        return false;
    }
    // The analysed run also synthesises its blocks; the synthesis-only run
    // measures that part, so the analyser's share is the difference.
    double making = synthesis[OWN] + synthesis[RUNTIME];
    double analysis = sound[OWN] + sound[RUNTIME] - making;
    std::printf("Sound, %d s of audio, instructions per second of audio:\n", options.seconds);
    std::printf("  sound analyser         %12.0f\n", analysis / options.seconds);
    std::printf("  beat synthesis (peer)  %12.0f\n", making / options.seconds);
    if (making > 0) std::printf("  analyser / synthesis   %12.3f\n", analysis / making);
    return true;
}

int report(const Options& options) {
    bool ok = true;
    if (haveTool("valgrind"))
        ok = reportInstructions(options);
    else
        std::printf("valgrind is not installed: only frame rates follow\n");
    if (!reportFrameRates(options)) {
        std::fprintf(stderr, "frame_bench: the frame-rate runs failed\n");
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 6) && std::strcmp(argv[1], "run-frames") == 0) {
        bool shown = argc == 6;
        int width = shown ? std::atoi(argv[4]) : kSize;
        int height = shown ? std::atoi(argv[5]) : kSize;
        return runFrames(argv[2], std::atoi(argv[3]), width, height, shown);
    }
    if (argc == 5 && std::strcmp(argv[1], "run-vis") == 0)
        return runVisualiserFrames(argv[2], std::atoi(argv[3]), std::strcmp(argv[4], "fixed") == 0);
    if (argc == 3 && std::strcmp(argv[1], "run-sound") == 0) return runSound(std::atoi(argv[2]));
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--content") == 0)
            options.content = argv[i + 1];
        else if (std::strcmp(argv[i], "--frames") == 0)
            options.frames = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            options.seconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--fps-frames") == 0)
            options.fpsFrames = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--fps-size") == 0)
            std::sscanf(argv[i + 1], "%dx%d", &options.fpsWidth, &options.fpsHeight);
    }
    if (options.fpsWidth < 16 || options.fpsHeight < 16) {
        std::fprintf(stderr, "frame_bench: --fps-size needs WxH of at least 16x16\n");
        return 2;
    }
    if (options.content.empty() || options.content.back() != '/') options.content += '/';
    return report(options);
}
