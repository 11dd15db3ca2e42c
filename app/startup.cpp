#include "app/startup.h"

#include <SDL.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include "app/glWin.h"
#include "app/log.h"
#include "sound/syntheticBeatSource.h"
#include "vis/visMain.h"

namespace {

constexpr double kStartTempo = 140.0;

volatile std::sig_atomic_t quitSignal = 0;

extern "C" void onQuitSignal(int number) {
    quitSignal = number;
}

void echoToStderr(int, const char* label, const char* text) {
    std::fprintf(stderr, "%s: %s", label, text);
}

}  // namespace

void mirrorLogToStderr() {
    logSetMirror(echoToStderr);
}

std::string versionLine() {
    return visVersionLine();
}

void installQuitSignals() {
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls: a signal in the middle of a file write or an X
    // request must not turn into a failure there.
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(number, &action, nullptr);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

int quitSignalReceived() {
    return quitSignal;
}

void runFrameLoop(CVisMain& vis) {
    while (!vis.quitRequested()) {
        if (quitSignal) {
            Log(LOG_INFO, "Signal %d received: shutting down\n", static_cast<int>(quitSignal));
            vis.requestQuit();
            break;
        }
        vis.step();
    }
}

int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory) {
    if (options.verbose) mirrorLogToStderr();
    installQuitSignals();
    auto window = std::make_unique<CGLWin>();
    bool hosted = options.host != HostKind::None;
    if (hosted) window->useHostWindow(options.host == HostKind::Window ? options.hostWindow : 0);
    // SDL would otherwise settle for a driver without OpenGL and the user
    // would see nothing at all; say why instead.
    if (!window->displayAvailable()) {
        std::fprintf(stderr,
                     "vortalis: no display to draw on: DISPLAY is not set or the X server "
                     "refused the connection (run it on a desktop, or under xvfb-run)\n");
        return 2;
    }
    auto source = std::make_unique<SyntheticBeatSource>(kStartTempo);
    uint32_t flags = VIS_DEVICE_MODE | VIS_LISTEN;
    if (hosted)
        flags |= VIS_HOSTED;
    else if (options.fullScreen)
        flags |= VIS_FULL_SCREEN;
    auto vis = std::make_unique<CVisMain>(baseDirectory, window.get(), source.get(), flags);
    vis->queueSceneLists();
    runFrameLoop(*vis);
    vis->kill();
    vis.reset();
    window.reset();
    source.reset();
    return 0;
}
