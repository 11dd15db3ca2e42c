// Logging: see log.h. Each message opens, appends to and closes log.txt so
// that the file is complete even if the process dies right after.
#include "app/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/clock.h"

namespace {

constexpr size_t kMessageBufferSize = 32768;
const char* const kMissingNewline = "\nERR  : LAST LOG STRING HAD NO NEWLINE AT THE END\n";

std::mutex logMutex;
std::string directory;
bool enabled = false;
bool clockStarted = false;
uint32_t startTick = 0;
LogObserver* observer = nullptr;
LogMirror mirror;
std::thread::id mainThread = std::this_thread::get_id();

bool onMainThread() {
    return std::this_thread::get_id() == mainThread;
}

bool recordedInSettings(int level) {
    return level == LOG_WARNING || level == LOG_FATAL || level == LOG_SERIOUS;
}

void writeLine(int level, const char* label, const char* text, bool lacksNewline) {
    if (!clockStarted) {
        clockStarted = true;
        startTick = osTickCount();
    }
    int elapsed = static_cast<int>(osTickCount() - startTick);
    if (level == LOG_SUPPRESSED) return;
    if (mirror) mirror(level, label, text);
    if (!enabled) return;
    std::string path = directory + "log.txt";
    FILE* file = std::fopen(path.c_str(), "a");
    if (!file) return;
    std::fprintf(file, "%8d %s: %s", elapsed, label, text);
    if (lacksNewline) std::fputs(kMissingNewline, file);
    std::fclose(file);
}

void logText(int level, const char* text) {
    // The observer may log in turn (the settings store can warn), so it is
    // called without the lock held.
    LogObserver* target = onMainThread() ? observer : nullptr;
    if (target && level == LOG_OSD) target->showOnScreen(text);
    const char* label = logLabel(level);
    if (target && recordedInSettings(level)) target->recordMessage(std::string(label) + ":" + text);
    size_t length = std::strlen(text);
    bool lacksNewline = length > 0 && text[length - 1] != '\n';
    {
        std::lock_guard<std::mutex> lock(logMutex);
        writeLine(level, label, text, lacksNewline);
    }
    if (level == LOG_FATAL) throw VisException{text};
}

}  // namespace

const char* logLabel(int level) {
    switch (level) {
        case LOG_WARNING:
            return "warn";
        case LOG_FATAL:
            return "ERR ";
        case LOG_OSD:
            return "OSD ";
        case LOG_SERIOUS:
            return "!!! ";
        default:
            return "    ";
    }
}

void Log(int level, const char* format, ...) {
    // Long messages are cut to the buffer size rather than refused.
    static thread_local char buffer[kMessageBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    logText(level, buffer);
}

void logLevelFromPrefix(const char* text) {
    if (!text || !text[0]) return;
    int level = LOG_INFO;
    switch (text[0]) {
        case '.':
            level = LOG_SUPPRESSED;
            break;
        case 'E':
            level = LOG_FATAL;
            break;
        case 'S':
            level = LOG_SERIOUS;
            break;
        case 'W':
            level = LOG_WARNING;
            break;
        default:
            break;
    }
    Log(level, "%s", text + 1);
}

void logAssertFailed(const char* file, int line) {
    Log(LOG_FATAL, "ASSERT FAILED AT %s:%d\n", file, line);
    throw VisException{"unreachable"};  // Log has thrown already
}

void logSetDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> lock(logMutex);
    directory = dir;
    if (!directory.empty() && directory.back() != '/') directory += '/';
}

const std::string& logDirectory() {
    return directory;
}

void logSetEnabled(bool on) {
    std::lock_guard<std::mutex> lock(logMutex);
    enabled = on;
}

bool logIsEnabled() {
    return enabled;
}

void logSetObserver(LogObserver* target) {
    observer = target;
}

void logSetMainThread() {
    mainThread = std::this_thread::get_id();
}

void logSetMirror(LogMirror target) {
    std::lock_guard<std::mutex> lock(logMutex);
    mirror = std::move(target);
}

void logResetClock() {
    std::lock_guard<std::mutex> lock(logMutex);
    clockStarted = false;
}
