// The cost of each scene of the default content: frames per second at a
// real screen size on the machine's GL (llvmpipe under Xvfb in CI), and the
// CPU instructions per frame of everything outside the GL driver (the
// system's own work: sound analysis, the scene's VM and natives, the preview
// host; and the C and C++ runtimes apart). The peer is the plain preview of
// a scene that only clears the screen, measured the same way: the table ends
// with the slowest scene's frame rate as a fraction of the peer's.
//
// Frame rates are wall-clock figures: each run is a process of its own with
// a shown window and no swap interval, and each figure is the best of a few
// runs taken in turns, because load from elsewhere on a shared machine moves
// single runs by a third or more. Instruction counts come from valgrind's
// callgrind with collection on only inside the measured frames (see
// bench/frame for the method); they repeat from run to run.
//
//   content_bench [--content DIR] [--lists DIR] [--scenes a,b,...]
//                 [--fps-frames N] [--fps-size WxH] [--frames N] [--no-instructions]
//   content_bench run BASE SCENE N W H shown|hidden   (what the measuring side runs)
#include <GL/glew.h>
#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/clock.h"
#include "app/glCaps.h"
#include "app/log.h"
#include "app/renderCaps.h"
#include "app/settingsAccess.h"
#include "bench/support/callgrind.h"
#include "render/cache/sceneTextureCache.h"
#include "render/cache/textureUploader.h"
#include "render/frameBufferObjects.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "scene/sceneNatives.h"
#include "tools/preview/previewHost.h"
#include "tools/preview/sceneCatalogue.h"
#include "tools/preview/sceneLists.h"
#include "vfs/archiveWriter.h"
#include "vfs/fileSystem.h"
#include "vm/assembler.h"

namespace fs = std::filesystem;

namespace {

constexpr float kFrameTime = 1.0f / 60.0f;
constexpr int kWarmUpFrames = 10;
constexpr int kRateRuns = 3;
constexpr int kCountSize = 64;  // instruction counts: the driver's rasterising kept small
const char* const kPeer = "bench-clear";

// The peer: a scene that clears the screen to one colour and does nothing
// else, in the bench's own archive.
const char* const kClearScene = R"vsa(
.native glClear "V glClear(F,F,F,F,I)"
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    LITERALF 0.1
    LITERALF 0.2
    LITERALF 0.3
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    RETURN
)vsa";

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

// The platform tick of this program, in place of the real one: under
// callgrind, llvmpipe compiles each shader at its first draw some fifty
// times slower than usual, inside the scene's render and its 2 s budget, so
// the measuring side slows this clock down for those runs
// (CONTENT_BENCH_CLOCK_SCALE) instead of letting the VM time the scene out.
// Wall-clock figures do not read it.
uint32_t osTickCount() {
    static const double scale = [] {
        const char* text = std::getenv("CONTENT_BENCH_CLOCK_SCALE");
        double value = text ? std::atof(text) : 1.0;
        return value > 0.0 ? value : 1.0;
    }();
    static const auto start = std::chrono::steady_clock::now();
    double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return 1000u + static_cast<uint32_t>(elapsed * scale);
}

void osSleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The measured region; callgrind collects only inside it.
extern "C" __attribute__((noinline)) void benchSceneFrames(PreviewHost& host, SDL_Window* window,
                                                           int frames, CTextureCache& cache) {
    for (int i = 0; i < frames; ++i) {
        host.frame(kFrameTime, kFrameTime);
        cache.update();
        SDL_GL_SwapWindow(window);
    }
}

namespace {

// Plays `scene` from the archives of `base` as vortalis-preview does, and
// prints the wall clock per measured frame. 0 when the scene played.
int runScene(const std::string& base, const std::string& sceneId, int frames, int width, int height,
             bool shown) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "content_bench: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_Window* window =
        SDL_CreateWindow("content bench", 0, 0, width, height,
                         (shown ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN) | SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "content_bench: no GL context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);
    GLCapabilities found = probeGL();
    BenchRenderHost output(width, height);
    renderSetCaps(renderCapsFrom(found, output.store));
    renderUtilsInit(&output);
    CFrameBufferObjects pool(&output.store);
    renderSetFrameBufferObjects(&pool);
    CVFileSystem::create(base);
    vmSystemCreate(logLevelFromPrefix);
    sceneInstallNatives();
    GlTextureUploader uploader;
    CTextureCache cache(&output.store, &uploader);
    texSetCacheHook(&cache);
    CacheSceneTextures textures(cache);
    int result = 1;
    {
        PreviewHost host(base, 140.0, width, height, textures);
        host.script().executeFile("data/utils.js");
        std::unique_ptr<SceneDefinition> definition =
            findSceneDefinition(sceneId, SceneContext{&host, &host});
        if (definition) {
            CScene scene(&host, std::move(definition));
            host.setScene(&scene);
            scene.initialise(true);
            glViewport(0, 0, width, height);
            if (scene.initialised()) {
                for (int i = 0; i < kWarmUpFrames; ++i) {
                    host.frame(kFrameTime, kFrameTime);
                    cache.update();
                    SDL_GL_SwapWindow(window);
                }
                glFinish();
                auto start = std::chrono::steady_clock::now();
                benchSceneFrames(host, window, frames, cache);
                glFinish();
                double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                std::printf("wall clock: %.3f ms per frame\n", seconds * 1000.0 / frames);
                result = host.failed() ? 1 : 0;
            }
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

// ---- the measuring side ----

// A fresh base directory: copies of the content's archives and the bench's
// own archive holding the peer. "" with the reason on stderr on failure.
std::string makeBase(const std::string& content) {
    char pattern[] = "/tmp/content_bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("content_bench");
        return "";
    }
    std::string base = std::string(pattern) + "/";
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(content, error))
        if (entry.path().extension() == ".vortapack")
            fs::copy_file(entry.path(), base + entry.path().filename().string(), error);
    AsmResult image = vmAssemble(kClearScene, "bench-clear.vsa");
    std::vector<uint8_t> bytes = vmImageBytes(image.words);
    std::string list = std::string("<SceneList><Scene id=\"") + kPeer +
                       "\"><Filename>bench-clear.vsi</Filename>"
                       "<Data><Type>bench</Type></Data></Scene></SceneList>";
    CArchiveWriter writer;
    bool ok = image.ok && !error &&
              writer.add("scenes/bench-clear.vsi", bytes.data(), bytes.size()) &&
              writer.add("scenes/bench.xml", list.data(), list.size()) &&
              writer.writeFile(base + "zbench.vortapack");
    if (!ok) {
        std::fprintf(stderr, "content_bench: cannot make the base directory %s: %s\n", base.c_str(),
                     error ? error.message().c_str() : writer.error().c_str());
        fs::remove_all(base, error);
        return "";
    }
    return base;
}

// Runs `scene` under callgrind, collecting only inside the measured frames,
// and sums the instructions per share. Processes that the driver forks write
// files of their own (with nothing collected), hence one file per process.
bool countInstructions(const std::string& base, const std::string& scene, int frames,
                       double totals[3]) {
    std::string prefix = "content_bench." + std::to_string(getpid()) + ".callgrind.";
    std::string command =
        "LP_NUM_THREADS=0 CONTENT_BENCH_CLOCK_SCALE=0.02 valgrind --tool=callgrind "
        "--collect-atstart=no "
        "--compress-strings=yes --toggle-collect=benchSceneFrames --callgrind-out-file=/tmp/" +
        prefix + "%p " + self() + " run " + base + " " + scene + " " + std::to_string(frames) +
        " " + std::to_string(kCountSize) + " " + std::to_string(kCountSize) +
        " hidden >/dev/null 2>&1";
    totals[OWN] = totals[RUNTIME] = totals[DRIVER] = 0;
    bool ok = std::system(command.c_str()) == 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/tmp", error)) {
        if (entry.path().filename().string().rfind(prefix, 0) != 0) continue;
        ok = sumCallgrindFile(entry.path().string(), self(), totals) && ok;
        fs::remove(entry.path(), error);
    }
    return ok && totals[OWN] > 0;
}

struct Options {
    std::string content = VORTALIS_CONTENT_DIR;
    std::string lists = VORTALIS_SCENE_LISTS;
    std::vector<std::string> scenes;  // empty: every scene with a picture
    int fpsFrames = 180;
    int fpsWidth = 1280;
    int fpsHeight = 720;
    int frames = 30;
    bool instructions = true;
};

struct Row {
    std::string scene;
    double milliseconds = 0;  // best wall clock per frame at the frame-rate size
    double totals[3] = {0, 0, 0};
    bool counted = false;
};

int report(const Options& options) {
    std::vector<std::string> scenes = options.scenes;
    if (scenes.empty())
        for (const CatalogueScene& scene : scenesWithPictures(readSceneCatalogue(options.lists)))
            scenes.push_back(scene.id);
    if (scenes.empty()) {
        std::fprintf(stderr, "content_bench: no scenes in %s\n", options.lists.c_str());
        return 1;
    }
    std::string base = makeBase(options.content);
    if (base.empty()) return 1;
    bool counting = options.instructions && haveTool("valgrind");
    if (options.instructions && !counting)
        std::printf("valgrind is not installed: frame rates only\n");

    std::vector<Row> rows;
    for (const std::string& scene : scenes)
        rows.push_back(Row{scene});
    rows.push_back(Row{kPeer});
    std::string size = std::to_string(options.fpsWidth) + " " + std::to_string(options.fpsHeight);
    bool ok = true;
    for (int run = 0; run < kRateRuns; ++run)
        for (Row& row : rows) {
            double ms = wallClockOf("run " + base + " " + row.scene + " " +
                                    std::to_string(options.fpsFrames) + " " + size + " shown");
            if (ms <= 0) ok = false;
            if (ms > 0 && (row.milliseconds == 0 || ms < row.milliseconds)) row.milliseconds = ms;
        }
    if (counting)
        for (Row& row : rows) {
            row.counted = countInstructions(base, row.scene, options.frames, row.totals);
            if (!row.counted) ok = false;
        }
    std::error_code error;
    fs::remove_all(base, error);

    std::printf("Scenes at %dx%d: frames per second (best of %d runs of %d frames)",
                options.fpsWidth, options.fpsHeight, kRateRuns, options.fpsFrames);
    if (counting)
        std::printf(
            ";\ninstructions per frame at %dx%d (%d frames): own work, C/C++ runtime, "
            "GL driver",
            kCountSize, kCountSize, options.frames);
    std::printf("\n\n  %-16s %8s %10s", "scene", "fps", "ms/frame");
    if (counting) std::printf(" %12s %12s %12s", "own", "runtime", "driver");
    std::printf("\n");
    for (const Row& row : rows) {
        std::printf("  %-16s %8.1f %10.2f", row.scene.c_str(),
                    row.milliseconds > 0 ? 1000.0 / row.milliseconds : 0.0, row.milliseconds);
        if (row.counted)
            std::printf(" %12.0f %12.0f %12.0f", row.totals[OWN] / options.frames,
                        row.totals[RUNTIME] / options.frames, row.totals[DRIVER] / options.frames);
        std::printf("\n");
    }
    const Row& peer = rows.back();
    const Row* slowest = nullptr;
    const Row* busiest = nullptr;
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        if (rows[i].milliseconds > 0 && (!slowest || rows[i].milliseconds > slowest->milliseconds))
            slowest = &rows[i];
        if (rows[i].counted && (!busiest || rows[i].totals[OWN] > busiest->totals[OWN]))
            busiest = &rows[i];
    }
    if (slowest && peer.milliseconds > 0)
        std::printf("\n  slowest scene: %s, %.1f fps = %.3f of the solid clear's %.1f fps\n",
                    slowest->scene.c_str(), 1000.0 / slowest->milliseconds,
                    peer.milliseconds / slowest->milliseconds, 1000.0 / peer.milliseconds);
    if (busiest && peer.counted && peer.totals[OWN] > 0)
        std::printf("  most own work: %s, %.0f instructions per frame = %.2f x the solid clear's\n",
                    busiest->scene.c_str(), busiest->totals[OWN] / options.frames,
                    busiest->totals[OWN] / peer.totals[OWN]);
    int below = 0;
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        if (rows[i].milliseconds > 1000.0 / 60.0) ++below;
    std::printf("  scenes below 60 fps: %d of %zu\n", below, rows.size() - 1);
    return ok ? 0 : 1;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::strcmp(argv[1], "run") == 0) {
        // Warnings and errors on stderr, for the measuring side to show when
        // a run fails.
        logSetMirror([](int level, const char* label, const char* text) {
            if (level >= LOG_WARNING) std::fprintf(stderr, "%s: %s", label, text);
        });
        return runScene(argv[2], argv[3], std::max(1, std::atoi(argv[4])), std::atoi(argv[5]),
                        std::atoi(argv[6]), std::strcmp(argv[7], "shown") == 0);
    }
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        bool hasValue = i + 1 < argc;
        if (key == "--no-instructions")
            options.instructions = false;
        else if (key == "--content" && hasValue)
            options.content = argv[++i];
        else if (key == "--lists" && hasValue)
            options.lists = argv[++i];
        else if (key == "--scenes" && hasValue)
            options.scenes = splitCommas(argv[++i]);
        else if (key == "--fps-frames" && hasValue)
            options.fpsFrames = std::max(1, std::atoi(argv[++i]));
        else if (key == "--frames" && hasValue)
            options.frames = std::max(1, std::atoi(argv[++i]));
        else if (key == "--fps-size" && hasValue)
            std::sscanf(argv[++i], "%dx%d", &options.fpsWidth, &options.fpsHeight);
        else {
            std::fprintf(stderr,
                         "usage: content_bench [--content DIR] [--lists DIR] [--scenes a,b,...]\n"
                         "                     [--fps-frames N] [--fps-size WxH] [--frames N]\n"
                         "                     [--no-instructions]\n");
            return 2;
        }
    }
    if (options.fpsWidth < 16 || options.fpsHeight < 16) {
        std::fprintf(stderr, "content_bench: --fps-size needs WxH of at least 16x16\n");
        return 2;
    }
    if (options.content.empty() || options.content.back() != '/') options.content += '/';
    return report(options);
}
