#include "app/startup.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/clock.h"
#include "app/log.h"
#include "app/random.h"
#include "vfs/fileSystem.h"

namespace {

const char* const kProductName = "Vortalis Visualizer";
const char* const kVersion = "1.67";

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string currentDirectory() {
    char buffer[257] = {0};
    if (!getcwd(buffer, sizeof buffer)) return std::string();
    return buffer;
}

void echoToStderr(int, const char* label, const char* text) {
    std::fprintf(stderr, "%s: %s", label, text);
}

}  // namespace

int queueSceneLists(std::vector<std::string>& queue, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!endsWith(name, ".xml")) continue;
        if (std::find(queue.begin(), queue.end(), name) != queue.end()) continue;
        queue.push_back(name);
    }
    return static_cast<int>(queue.size());
}

std::string versionLine() {
    char line[256];
    std::snprintf(line, sizeof line, "%s Version %s [%d bit],  built %s", kProductName, kVersion,
                  static_cast<int>(sizeof(void*) * 8), __DATE__);
    return line;
}

int runVisualiser(const LaunchOptions& options, const std::string& baseDirectory) {
    if (options.verbose) logSetMirror(echoToStderr);
    logSetEnabled(true);
    CVFileSystem::create(baseDirectory);
    Log(LOG_INFO, "%s\n", versionLine().c_str());
    Log(LOG_INFO, "current dir: %s\n", currentDirectory().c_str());
    Log(LOG_INFO, "base dir: %s\n", baseDirectory.c_str());
    visSeedRandom(osTickCount());

    std::vector<std::string> loadQueue;
    int loadQueueTotal = queueSceneLists(loadQueue, CVFileSystem::get().listFiles("scenes/"));
    Log(LOG_INFO, "%d scene list(s) queued\n", loadQueueTotal);
    for (const std::string& name : loadQueue)
        Log(LOG_INFO, "  %s\n", name.c_str());
    if (options.fullScreen) Log(LOG_INFO, "full screen requested\n");

    CVFileSystem::destroy();
    return 0;
}
