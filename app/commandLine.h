// The entry point's command line. The screensaver host passes one of the
// switches /s, /c or /p; the options that start with '-' are ours and never
// collide with them.
#pragma once

#include <string>
#include <vector>

enum class LaunchMode {
    Visualiser,  // no switch, or only /s switches
    Configure,   // /c: the configuration dialog
    Refuse,      // /p (there is no preview mode), a malformed or unknown switch
    Help,        // --help
    Version,     // --version
};

struct LaunchOptions {
    LaunchMode mode = LaunchMode::Visualiser;
    bool fullScreen = false;  // /s
    bool verbose = false;     // --verbose: log lines are echoed to stderr
    std::string error;        // why the launch is refused (our options only)
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

// The exit code of a launch that runs nothing (help, version, refusal).
int launchExitCode(const LaunchOptions& options);

const char* usageText();
