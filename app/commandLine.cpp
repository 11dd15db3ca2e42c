#include "app/commandLine.h"

#include <cstring>

namespace {

constexpr size_t kMaxTokens = 3;
constexpr size_t kMaxTokenLength = 63;

char switchLetter(const std::string& token) {
    return token.size() > 1 ? token[1] : '\0';
}

LaunchOptions refused(const std::string& why) {
    LaunchOptions options;
    options.mode = LaunchMode::Refuse;
    options.error = why;
    return options;
}

LaunchOptions parseOwnOptions(int argc, const char* const* argv) {
    LaunchOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            options.mode = LaunchMode::Help;
            return options;
        }
        if (!std::strcmp(arg, "--version")) {
            options.mode = LaunchMode::Version;
            return options;
        }
        if (!std::strcmp(arg, "--verbose")) {
            options.verbose = true;
        } else if (!std::strcmp(arg, "--fullscreen")) {
            options.fullScreen = true;
        } else {
            return refused(std::string("unknown option '") + arg + "'");
        }
    }
    return options;
}

}  // namespace

std::string joinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

std::vector<std::string> commandLineTokens(const std::string& text) {
    std::vector<std::string> tokens;
    if (text.empty()) return tokens;
    size_t start = 0;
    while (tokens.size() < kMaxTokens) {
        size_t space = text.find(' ', start);
        std::string token = text.substr(start, space == std::string::npos ? space : space - start);
        tokens.push_back(token.substr(0, kMaxTokenLength));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    return tokens;
}

LaunchOptions parseSwitches(const std::string& text) {
    LaunchOptions options;
    for (const std::string& token : commandLineTokens(text)) {
        if (token.empty() || token[0] != '/') return refused("'" + token + "' is not a switch");
        switch (switchLetter(token)) {
            case 's':
            case 'S':
                options.fullScreen = true;
                continue;
            case 'c':
            case 'C':
                options.mode = LaunchMode::Configure;
                return options;
            case 'p':
            case 'P':
                // The host's preview window handle may follow; there is no preview mode.
                return refused("preview mode is not supported");
            default:
                return refused("unknown switch '" + token + "'");
        }
    }
    return options;
}

LaunchOptions parseCommandLine(int argc, const char* const* argv) {
    if (argc > 1 && argv[1][0] == '-') return parseOwnOptions(argc, argv);
    return parseSwitches(joinArguments(argc, argv));
}

int launchExitCode(const LaunchOptions& options) {
    return options.mode == LaunchMode::Refuse ? 1 : 0;
}

const char* usageText() {
    return "Usage: vortalis [/s] | /c | --help | --version | [--verbose] [--fullscreen]\n"
           "  (no switch)   run the visualiser in a window\n"
           "  /s            run the visualiser full screen (screensaver mode)\n"
           "  /c            show the configuration dialog\n"
           "  /p HANDLE     preview: not supported, exits with code 1\n"
           "  --verbose     echo log lines to standard error\n"
           "  --fullscreen  same as /s\n"
           "  --help        show this text\n"
           "  --version     show the version\n"
           "Environment: VORTALIS_BASE_DIR overrides the base directory that holds\n"
           "the content archives, settings.js and log.txt.\n";
}
