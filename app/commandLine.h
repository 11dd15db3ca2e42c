// The entry point's command line. The screensaver host passes one of the
// switches /s, /c or /p; the options that start with '-' are ours and never
// collide with them: the Linux screensaver hosts' -root and -window-id, and
// offline rendering (--render).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class LaunchMode {
    Visualiser,  // no switch, or only /s switches
    Configure,   // /c: the configuration dialog
    Refuse,      // /p (there is no preview mode), a malformed or unknown switch
    Help,        // --help
    Version,     // --version
    Render,      // --render: frames written to files, no visible window
};

// Where a screensaver host wants the pictures.
enum class HostKind {
    None,    // our own window
    Root,    // -root: the root window of the default screen
    Window,  // -window-id ID, or XSCREENSAVER_WINDOW
};

struct RenderOptions {
    std::string directory;  // frames go to directory/frame00000.png, ...
    int frames = 0;
    double framesPerSecond = 60.0;
    int width = 1280;
    int height = 720;
    std::string audioFile;  // a WAV file; empty: the synthetic beat
    std::string sceneId;    // one scene alone; empty: the control script decides
};

struct LaunchOptions {
    LaunchMode mode = LaunchMode::Visualiser;
    bool fullScreen = false;  // /s
    bool verbose = false;     // --verbose: log lines are echoed to stderr
    HostKind host = HostKind::None;
    uint32_t hostWindow = 0;  // the X window of HostKind::Window
    RenderOptions render;
    std::string error;    // why the launch is refused (our options only)
    int refusalCode = 1;  // 2 for a misused offline-rendering option
};

// The arguments after the program name joined with single spaces.
std::string joinArguments(int argc, const char* const* argv);

// Cuts the text at single spaces into at most three tokens of at most 63
// characters; two spaces in a row make an empty token, and empty text none.
std::vector<std::string> commandLineTokens(const std::string& text);

// Examines the tokens of the switch form ("/s", "/c:1234", "/p 1234").
LaunchOptions parseSwitches(const std::string& text);

// The whole command line: our '-' options when the first argument is one,
// otherwise the switch form.
LaunchOptions parseCommandLine(int argc, const char* const* argv);

// An X window id in decimal or 0x hexadecimal; false for anything else, for 0
// and for values beyond 32 bits.
bool parseWindowId(const std::string& text, uint32_t* id);

// Applies the XSCREENSAVER_WINDOW variable (`value`, may be null) to a
// visualiser launch: it names the window to draw in unless -window-id did,
// and it is what -root means under xscreensaver (its virtual root). Returns
// a warning for a value that is not a window id (it is then ignored).
std::string applyHostEnvironment(LaunchOptions& options, const char* value);

// The exit code of a launch that runs nothing (help, version, refusal).
int launchExitCode(const LaunchOptions& options);

const char* usageText();
