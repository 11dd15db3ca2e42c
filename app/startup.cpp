#include "app/startup.h"

#include <cstdio>
#include <memory>

#include "app/glWin.h"
#include "app/log.h"
#include "sound/syntheticBeatSource.h"
#include "vis/visMain.h"

namespace {

constexpr double kStartTempo = 140.0;

void echoToStderr(int, const char* label, const char* text) {
    std::fprintf(stderr, "%s: %s", label, text);
}

}  // namespace

std::string versionLine() {
    return visVersionLine();
}

int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory) {
    if (options.verbose) logSetMirror(echoToStderr);
    auto window = std::make_unique<CGLWin>();
    // SDL would otherwise settle for a driver without OpenGL and the user
    // would see nothing at all; say why instead.
    if (!window->displayAvailable()) {
        std::fprintf(stderr,
                     "vortalis: no display to draw on: DISPLAY is not set or the X server "
                     "refused the connection (run it on a desktop, or under xvfb-run)\n");
        return 2;
    }
    auto source = std::make_unique<SyntheticBeatSource>(kStartTempo);
    uint32_t flags = VIS_DEVICE_MODE | (options.fullScreen ? uint32_t{VIS_FULL_SCREEN} : 0u);
    auto vis = std::make_unique<CVisMain>(baseDirectory, window.get(), source.get(), flags);
    vis->queueSceneLists();
    while (!vis->quitRequested())
        vis->step();
    vis->kill();
    vis.reset();
    window.reset();
    source.reset();
    return 0;
}
