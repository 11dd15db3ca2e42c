// Offline rendering's frames per second beside the interactive frame rate of
// the same content at the same size (README.md). Each figure comes from a
// process of its own, best of several runs taken in turns.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "app/commandLine.h"
#include "app/glWin.h"
#include "app/log.h"
#include "app/offlineRender.h"
#include "sound/syntheticBeatSource.h"
#include "vis/visMain.h"

namespace fs = std::filesystem;

namespace {

constexpr float kWarmUpPlayTime = 1.5f;  // the loading screen has faded by then
constexpr int kStartFrameLimit = 2000;

struct Options {
    int frames = 240;
    int width = 1280;
    int height = 720;
    int runs = 3;
};

enum class Way { INTERACTIVE, OFFLINE_WRITTEN, OFFLINE_DRAWN };

const char* const kWayNames[] = {"interactive (shown window, real clock)",
                                 "offline, frames written as PNG",
                                 "offline, frames drawn, not written"};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--frames"))
            options.frames = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            options.runs = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--size") &&
                 std::sscanf(argv[i + 1], "%dx%d", &options.width, &options.height) == 2)
            continue;
        else
            return false;
    }
    return (argc % 2) == 1 && options.frames > 0 && options.runs > 0 && options.width > 0 &&
           options.height > 0;
}

std::string makeBase(const Options& options) {
    std::string pattern = (fs::temp_directory_path() / "render_offline_bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "";
    std::error_code error;
    int copied = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(VORTALIS_CONTENT_DIR, error))
        if (entry.path().extension() == ".vortapack" &&
            fs::copy_file(entry.path(), fs::path(pattern) / entry.path().filename(), error))
            copied++;
    std::ofstream settings(fs::path(pattern) / "settings.js");
    settings << "var settings = { \"window\" : { \"left\" : 0, \"top\" : 0, \"width\" : "
             << options.width << ", \"height\" : " << options.height
             << ", \"fullscreen\" : 0 }, \"gl\" : { \"vsync\" : 0 } };\n";
    if (copied == 0 || !settings) {
        std::fprintf(stderr, "render_offline_bench: no archives in %s (build vortalis_content)\n",
                     VORTALIS_CONTENT_DIR);
        fs::remove_all(pattern, error);
        return "";
    }
    return pattern + "/";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Frames per second of the visualiser in a shown window; 0 on failure.
double interactiveRate(const std::string& base, const Options& options) {
    CGLWin window;
    if (!window.displayAvailable()) return 0;
    SyntheticBeatSource beat(140.0);
    CVisMain vis(base, &window, &beat, VIS_DEVICE_MODE);
    vis.queueSceneLists();
    float played = 0;
    for (int i = 0; i < kStartFrameLimit && (vis.loading() || played < kWarmUpPlayTime); i++) {
        vis.step();
        if (!vis.loading()) played += vis.timing().timePass;
    }
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.frames && !vis.quitRequested(); i++)
        vis.step();
    double seconds = secondsSince(start);
    bool playing = !vis.quitRequested() && vis.renderList().count() > 0;
    vis.kill();
    return playing ? options.frames / seconds : 0;
}

// Frames per second of offline rendering, the frames written or not.
double offlineRate(const std::string& base, const Options& options, bool write) {
    RenderOptions render;
    render.directory = base + "frames";
    render.frames = options.frames;
    render.width = options.width;
    render.height = options.height;
    OfflineRender renderer(render, base);
    if (renderer.start() != 0) return 0;
    int warmUp = static_cast<int>(kWarmUpPlayTime * render.framesPerSecond);
    for (int i = 0; i < warmUp; i++)
        renderer.renderFrame(i, false);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.frames; i++)
        if (!renderer.renderFrame(i, write)) return 0;
    if (!renderer.waitForFiles()) return 0;
    double seconds = secondsSince(start);
    renderer.finish();
    return options.frames / seconds;
}

// Runs one measurement in a child process and returns its figure.
double measure(Way way, const std::string& base, const Options& options) {
    int channel[2];
    if (pipe(channel) != 0) return 0;
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        logSetDirectory(base);
        double rate = 0;
        try {
            rate = way == Way::INTERACTIVE
                       ? interactiveRate(base, options)
                       : offlineRate(base, options, way == Way::OFFLINE_WRITTEN);
        } catch (const VisException& fatal) {
            std::fprintf(stderr, "render_offline_bench: fatal: %s", fatal.message.c_str());
        }
        ssize_t ignored = write(channel[1], &rate, sizeof rate);
        (void)ignored;
        _exit(0);
    }
    close(channel[1]);
    double rate = 0;
    if (read(channel[0], &rate, sizeof rate) != sizeof rate) rate = 0;
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: render_offline_bench [--frames N] [--size WxH] [--runs N]\n");
        return 2;
    }
    std::string base = makeBase(options);
    if (base.empty()) return 1;
    double best[3] = {0, 0, 0};
    for (int run = 0; run < options.runs; run++)
        for (Way way : {Way::INTERACTIVE, Way::OFFLINE_WRITTEN, Way::OFFLINE_DRAWN}) {
            int index = static_cast<int>(way);
            best[index] = std::max(best[index], measure(way, base, options));
        }
    std::error_code ignored;
    fs::remove_all(base, ignored);

    std::printf("Default content at %d x %d, %d frames, best of %d runs:\n", options.width,
                options.height, options.frames, options.runs);
    for (int i = 0; i < 3; i++) {
        std::printf("  %-40s %8.1f frames per second", kWayNames[i], best[i]);
        if (i > 0 && best[0] > 0) std::printf("   (%.2f x interactive)", best[i] / best[0]);
        std::printf("\n");
    }
    if (best[0] <= 0 || best[1] <= 0 || best[2] <= 0) {
        std::fprintf(stderr, "render_offline_bench: a measurement failed (is there a display?)\n");
        return 1;
    }
    return 0;
}
