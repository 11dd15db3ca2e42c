// The whole visualiser in the frame bench. The base directory is made for the
// run: copies of the default archives, a settings.js that fixes the window
// size, and for the fade tree a small archive written here with a second
// scene and the control script. Its name sorts after "default", and archives
// mount in name order with the last mounted serving a path, so its
// data/device.js is the one that runs.
#include "bench/frame/visualiserRun.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "app/glWin.h"
#include "app/log.h"
#include "sound/syntheticBeatSource.h"
#include "vfs/archiveWriter.h"
#include "vis/visMain.h"

namespace fs = std::filesystem;

// The measured region; callgrind collects only inside it.
extern "C" __attribute__((noinline)) void benchVisFrames(CVisMain& vis, int frames) {
    for (int i = 0; i < frames && !vis.quitRequested(); i++)
        vis.step();
}

namespace {

constexpr int kFrameMilliseconds = 16;  // what 1/60 s gives as whole milliseconds
constexpr int kStartFrameLimit = 600;
constexpr int kWarmUpFrames = 10;
// The progress screen fades over the first second of play; the measured
// frames come after it, however fast or slow the frames run.
constexpr float kWarmUpPlayTime = 1.5f;
constexpr int kWarmUpFrameLimit = 5000;

// The second scene: pulse's image again with its own data, so the two
// children are two scenes with a VM, a shader and a texture each.
const char* const kBenchSceneList = R"(<SceneList>
  <Scene id="pulse-b">
    <Filename>pulse.vsi</Filename>
    <Data>
      <Type>bench</Type>
      <VertexShader>pulse.vert</VertexShader>
      <FragmentShader>pulse.frag</FragmentShader>
      <Texture>pulse.png</Texture>
      <BassGain>2</BassGain>
    </Data>
  </Scene>
</SceneList>
)";

// The list A, B, fade reads as fade(B, A): B fades out over A.
// The display ages messages by the frame's timePass right after onFrame, so
// the script, adding the same timePass, prints the next three in the frame
// where the present ones reach ten seconds: three are drawn in every frame
// however long the frames take. Loading frames age nothing.
const char* const kBenchControlScript = R"(// Frame bench control script.
var frames = 0;
var playingFor = 0;
var shownFor = 0;

function showMessages() {
    printOSD("Frame bench");
    printOSD("^fade of two scenes");
    printOSD("!three messages on screen");
    shownFor = 0;
}

function onInit() {
    setSoundBPM(140);
}

function onScenesLoaded() {
    renderSceneInsert("pulse", -1);
    renderSceneInsert("pulse-b", -1);
    renderSceneInsert("fade", -1);
    renderSceneSet(renderSceneFind("fade"), "Duration", "600");
    showMessages();
}

function onFrame() {
    frames = frames + 1;
    playingFor = playingFor + timePass;
    if (renderSceneFind("fade") < 0) return;
    if (playingFor >= 15) playingFor = 0;
    shownFor = shownFor + timePass;
    if (shownFor >= 10) {
        showMessages();
        shownFor = timePass;
    }
}
)";

// The synthetic beat made for a fixed 1/60 s per frame.
class FixedStepBeat : public SyntheticBeatSource {
public:
    using SyntheticBeatSource::SyntheticBeatSource;
    void produce(int) override { SyntheticBeatSource::produce(kFrameMilliseconds); }
};

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool writeBenchArchive(const fs::path& path) {
    CArchiveWriter writer;
    std::string list = kBenchSceneList;
    std::string script = kBenchControlScript;
    bool ok = writer.add("scenes/bench.xml", list.data(), list.size()) &&
              writer.add("data/device.js", script.data(), script.size()) &&
              writer.writeFile(path.string());
    if (!ok) std::fprintf(stderr, "frame_bench: %s\n", writer.error().c_str());
    return ok;
}

bool copyArchives(const std::string& content, const fs::path& base) {
    std::error_code error;
    int copied = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(content, error)) {
        if (entry.path().extension() != ".vortapack") continue;
        if (!fs::copy_file(entry.path(), base / entry.path().filename(), error)) break;
        copied++;
    }
    if (error || copied == 0) {
        std::fprintf(stderr, "frame_bench: no archives copied from %s (build vortalis_content)\n",
                     content.c_str());
        return false;
    }
    return true;
}

std::string settingsScript(int width, int height) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "var settings = {\n"
                  "  \"window\" : { \"left\" : 0, \"top\" : 0, \"width\" : %d, \"height\" : %d,\n"
                  "                 \"fullscreen\" : 0 },\n"
                  "  \"gl\" : { \"vsync\" : 0 }\n"
                  "};\n",
                  width, height);
    return text;
}

// Steps until scenes play; false when they never do.
bool startPlaying(CVisMain& vis) {
    for (int i = 0; i < kStartFrameLimit && !vis.quitRequested(); i++) {
        if (!vis.loading() && vis.renderList().count() > 0) return true;
        vis.step();
    }
    return !vis.loading() && vis.renderList().count() > 0;
}

void warmUp(CVisMain& vis) {
    float played = 0.0f;
    for (int i = 0; i < kWarmUpFrameLimit && !vis.quitRequested(); i++) {
        if (i >= kWarmUpFrames && played >= kWarmUpPlayTime) return;
        vis.step();
        played += vis.timing().timePass;
    }
}

int runSteps(CVisMain& vis, int frames) {
    if (!startPlaying(vis)) {
        std::fprintf(stderr, "frame_bench: no scene plays after loading\n");
        return 1;
    }
    warmUp(vis);
    size_t messages = vis.osd().messages().size();
    auto start = std::chrono::steady_clock::now();
    benchVisFrames(vis, frames);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("wall clock: %.3f ms per frame (driver included)\n", seconds * 1000.0 / frames);
    std::printf("scenes playing: %d, on-screen messages: %zu before and %zu after\n",
                vis.renderList().count(), messages, vis.osd().messages().size());
    if (vis.quitRequested() || vis.renderList().count() == 0) {
        std::fprintf(stderr, "frame_bench: the visualiser stopped playing during the run\n");
        return 1;
    }
    return 0;
}

}  // namespace

std::string makeBenchBase(const std::string& content, BenchBase kind, int width, int height) {
    std::string pattern = (fs::temp_directory_path() / "frame_bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("frame_bench: mkdtemp");
        return "";
    }
    fs::path base = pattern;
    bool ok = copyArchives(content, base) &&
              writeText(base / "settings.js", settingsScript(width, height)) &&
              (kind != BenchBase::CROSSFADE_TREE || writeBenchArchive(base / "zbench.vortapack"));
    if (!ok) {
        removeBenchBase(pattern + "/");
        return "";
    }
    return pattern + "/";
}

void removeBenchBase(const std::string& base) {
    std::error_code ignored;
    if (!base.empty()) fs::remove_all(base, ignored);
}

int runVisualiserFrames(const std::string& base, int frames, bool fixedSound) {
    logSetDirectory(base);
    CGLWin window;
    window.setMessageBoxHandler(
        [](CGLWin::BoxKind, const std::string& title, const std::string& text) {
            std::fprintf(stderr, "frame_bench: %s: %s\n", title.c_str(), text.c_str());
            return false;
        });
    if (!window.displayAvailable()) {
        std::fprintf(stderr, "frame_bench: no display (run under xvfb-run)\n");
        return 1;
    }
    std::unique_ptr<SoundSource> source;
    if (fixedSound)
        source = std::make_unique<FixedStepBeat>(140.0);
    else
        source = std::make_unique<SyntheticBeatSource>(140.0);
    int result = 1;
    try {
        CVisMain vis(base, &window, source.get(), VIS_DEVICE_MODE);
        vis.queueSceneLists();
        result = runSteps(vis, frames);
        vis.kill();
    } catch (const VisException& fatal) {
        std::fprintf(stderr, "frame_bench: fatal: %s", fatal.message.c_str());
        return 1;
    }
    return result;
}
