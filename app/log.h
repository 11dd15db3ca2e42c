// The one logging function of the program and the fatal-error boundary.
//
// Every message is appended to log.txt in the log directory as
// "%8d %s: %s" (milliseconds since the first message, four-character label,
// text). Level 3 is fatal: after writing, Log throws VisException. Formatting
// and the file write are serialised by a mutex so that the texture loader
// thread may log too; the on-screen and settings effects are delivered only on
// the main thread, through the observer that the visualiser installs while it
// is inside its constructor or frame step.
#pragma once

#include <functional>
#include <string>

enum LogLevel {
    LOG_SUPPRESSED = 0,  // nothing is written anywhere
    LOG_INFO = 1,
    LOG_WARNING = 2,  // also recorded in the settings' message list
    LOG_FATAL = 3,    // raises VisException
    LOG_OSD = 4,      // shown on screen
    LOG_SERIOUS = 5,  // shown and survived; recorded in the settings
};

// The fatal exception. Nothing in the program handles it except the entry
// point, which ends the run.
struct VisException {
    std::string message;
};

// Receives the effects of a message that reach beyond log.txt. Installed by
// the visualiser only while `currentVis` is set; called on the main thread only.
class LogObserver {
public:
    virtual ~LogObserver() = default;
    // Level-4 text, exactly as logged (colour prefixes included).
    virtual void showOnScreen(const char* text) = 0;
    // Levels 2, 3 and 5: "warn:text", "ERR :text" or "!!! :text".
    virtual void recordMessage(const std::string& entry) = 0;
};

// Formats and files one message; see the header comment. Never returns for level 3.
void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Logs everything after the first character of `text`, whose first character
// chooses the level: '.' 0, 'E' 3, 'S' 5, 'W' 2, anything else 1. Null or empty
// text is ignored. The print sink of the VM and the HTTP client.
void logLevelFromPrefix(const char* text);

// Reports a failed internal assertion (fatal).
[[noreturn]] void logAssertFailed(const char* file, int line);

#define VIS_ASSERT(condition)                                  \
    do {                                                       \
        if (!(condition)) logAssertFailed(__FILE__, __LINE__); \
    } while (0)

// Directory of log.txt; a missing final '/' is added.
void logSetDirectory(const std::string& directory);
const std::string& logDirectory();
void logSetEnabled(bool enabled);
bool logIsEnabled();

// The visualiser's observer, or null.
void logSetObserver(LogObserver* observer);

// The thread whose messages may reach the observer. Defaults to the thread
// that initialised the program's statics, which is the main thread.
void logSetMainThread();

// An extra copy of every written line, for the command-line tools and tests
// (called under the log mutex, with the level, the label and the text).
using LogMirror = std::function<void(int level, const char* label, const char* text)>;
void logSetMirror(LogMirror mirror);

// The label that a level is filed under ("    ", "warn", "ERR ", "OSD ", "!!! ").
const char* logLabel(int level);

// Forgets the start tick, so that the next message is stamped 0 again (tests).
void logResetClock();
