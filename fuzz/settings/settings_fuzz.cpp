// Loads arbitrary text as settings.js and then uses the store the way the
// visualiser does: typed reads and writes, scene statistics, messages, the
// report texts, a save and a second load of what was saved. No input may
// crash it, hang it, make the sanitizers report anything, fail to save into a
// directory that exists, or leave the store without its settings object.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "js/engine.h"
#include "script/script.h"
#include "script/settings.h"

namespace {

// Larger inputs only repeat what smaller ones reach, more slowly.
constexpr size_t kMaxInput = 4096;
// Values reached when the settings are written out, counting shared ones
// each time and each as deep as it is nested, since every line is indented
// by its depth: a script can build a small graph that writes as 64 MB, or a
// chain of a few thousand objects that writes as megabytes, and reading
// either back takes longer than everything else an input does.
constexpr long kMaxWrittenValues = 20000;

std::string directory;

void removeDirectory() {
    std::remove((directory + "settings.js").c_str());
    std::remove((directory + "settings.js.tmp").c_str());
    rmdir(directory.c_str());
}

// A directory of its own, in memory when the system has one, because every
// input is written, saved (with fsync) and read back.
const std::string& workDirectory() {
    if (directory.empty()) {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : P_tmpdir;
        std::string pattern = base + "/vortalis-settings-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) std::abort();
        directory = pattern + "/";
        std::atexit(removeDirectory);
    }
    return directory;
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

// Counts what writing `value` would visit, as the JSON writer walks it,
// each value weighted by its depth.
void countWritten(const CJsValue* value, int depth, long& count) {
    count += 1 + depth;
    if (count > kMaxWrittenValues || depth > 200) return;
    for (const CJsBinding* child = value->firstChild; child; child = child->next) {
        countWritten(child->value, depth + 1, count);
        if (count > kMaxWrittenValues) return;
    }
}

void useStore(CSettings& settings) {
    settings.getInt("window.width", 640);
    settings.getString("theme_string", "jazzy,pop");
    settings.getInt("gl.vsync", -1);
    settings.getInt("scenes", 3);
    settings.setInt("window.left", 7);
    settings.setString("messages.count", "2");
    settings.accumulateSceneStats({"s1", "a&b", "", "s1"}, 0.016f);
    settings.addMessage("warn:fuzz <1>\n");
    settings.addMessage("warn:fuzz <1>\n");
    settings.addMessage("ERR :second");
    settings.sceneStatsXml();
    settings.messagesXml();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    const std::string& dir = workDirectory();
    if (!writeFile(dir + "settings.js", data, size)) std::abort();

    CScript script(nullptr);
    CJsEngine& engine = script.engine();
    engine.setOutput([](const std::string&) {});
    // Straight-line text costs no work units; loops and calls stop at the
    // JavaScript target's budget. A settings file has no loops of its own, and
    // with a larger budget the loops a mutation makes took a sixth of the time.
    engine.setWorkBudget(300);
    engine.setMaxCallDepth(64);
    CSettings settings(script);
    settings.load(dir);
    useStore(settings);

    long written = 0;
    countWritten(settings.object(), 0, written);
    if (written > kMaxWrittenValues) return 0;
    if (!settings.save()) std::abort();
    settings.load(dir);
    if (!settings.object()) std::abort();
    useStore(settings);
    settings.clearSceneStats();
    settings.clearMessages();
    settings.sceneStatsXml();
    settings.messagesXml();
    return 0;
}
