#include "app/commandLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxTokens = 3;
constexpr size_t kMaxTokenLength = 63;
constexpr int kMaxRenderSide = 16384;
constexpr int kMaxFrames = 99999;            // five digits in the file names
constexpr double kMinFramesPerSecond = 2.0;  // steps of at most 0.5 s, like the clock's
constexpr double kMaxFramesPerSecond = 1000.0;

char switchLetter(const std::string& token) {
    return token.size() > 1 ? token[1] : '\0';
}

LaunchOptions refused(const std::string& why) {
    LaunchOptions options;
    options.mode = LaunchMode::Refuse;
    options.error = why;
    return options;
}

bool parseNumber(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    errno = 0;
    double number = std::strtod(text, &end);
    if (errno || end == text || *end || !(number >= low && number <= high)) return false;
    *value = number;
    return true;
}

bool parseCount(const char* text, int low, int high, int* value) {
    double number = 0;
    if (!parseNumber(text, low, high, &number) || number != static_cast<int>(number)) return false;
    *value = static_cast<int>(number);
    return true;
}

// "WxH" with both sides from 1 to kMaxRenderSide.
bool parseSize(const std::string& text, int* width, int* height) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return parseCount(text.substr(0, x).c_str(), 1, kMaxRenderSide, width) &&
           parseCount(text.substr(x + 1).c_str(), 1, kMaxRenderSide, height);
}

// Walks the '-' options. Each option that takes a value reads the next
// argument; a missing or malformed value refuses the launch.
class OwnOptionParser {
public:
    OwnOptionParser(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    LaunchOptions parse() {
        for (index_ = 1; index_ < argc_ && options_.mode != LaunchMode::Refuse; ++index_) {
            std::string arg = argv_[index_];
            if (arg == "--help" || arg == "-h") {
                options_.mode = LaunchMode::Help;
                return options_;
            }
            if (arg == "--version") {
                options_.mode = LaunchMode::Version;
                return options_;
            }
            option(arg);
        }
        if (options_.mode != LaunchMode::Refuse) check();
        return options_;
    }

private:
    void option(const std::string& arg) {
        if (arg == "--verbose") {
            options_.verbose = true;
        } else if (arg == "--fullscreen") {
            options_.fullScreen = true;
        } else if (arg == "-root" || arg == "--root") {
            options_.host = HostKind::Root;
        } else if (arg == "-window-id" || arg == "--window-id") {
            const char* id = value(arg, 1);
            if (id && !parseWindowId(id, &options_.hostWindow))
                refuse(1, "'" + std::string(id) + "' is not an X window id");
            options_.host = HostKind::Window;
        } else if (!renderOption(arg)) {
            refuse(1, "unknown option '" + arg + "'");
        }
    }

    // The offline-rendering options; false for any other argument.
    bool renderOption(const std::string& arg) {
        RenderOptions& render = options_.render;
        const char* text = nullptr;
        if (arg == "--render") {
            if ((text = value(arg, 2))) render.directory = text;
            rendering_ = true;
        } else if (arg == "--frames") {
            if ((text = value(arg, 2)) && !parseCount(text, 1, kMaxFrames, &render.frames))
                refuse(2, "--frames wants a whole number from 1 to " + std::to_string(kMaxFrames));
        } else if (arg == "--fps") {
            if ((text = value(arg, 2)) &&
                !parseNumber(text, kMinFramesPerSecond, kMaxFramesPerSecond,
                             &render.framesPerSecond))
                refuse(2, "--fps wants a number from 2 to 1000");
        } else if (arg == "--size") {
            if ((text = value(arg, 2)) && !parseSize(text, &render.width, &render.height))
                refuse(2, "--size wants WIDTHxHEIGHT, each from 1 to " +
                              std::to_string(kMaxRenderSide));
        } else if (arg == "--audio") {
            if ((text = value(arg, 2))) render.audioFile = text;
        } else if (arg == "--scene") {
            if ((text = value(arg, 2))) render.sceneId = text;
        } else {
            return false;
        }
        renderOptionSeen_ = arg;
        return true;
    }

    // Options that only make sense together.
    void check() {
        if (!rendering_) {
            if (!renderOptionSeen_.empty()) refuse(2, renderOptionSeen_ + " needs --render DIR");
            return;
        }
        if (options_.render.directory.empty()) {
            refuse(2, "--render needs a directory");
        } else if (options_.render.frames == 0) {
            refuse(2, "--render needs --frames N");
        } else if (options_.host != HostKind::None || options_.fullScreen) {
            refuse(2, "--render draws off screen: it takes no window options");
        } else {
            options_.mode = LaunchMode::Render;
        }
    }

    const char* value(const std::string& arg, int code) {
        // A value that looks like the next option means the value was forgotten.
        if (index_ + 1 >= argc_ || argv_[index_ + 1][0] == '\0' ||
            std::strncmp(argv_[index_ + 1], "--", 2) == 0) {
            refuse(code, arg + " needs a value");
            return nullptr;
        }
        return argv_[++index_];
    }

    void refuse(int code, const std::string& why) {
        if (options_.mode == LaunchMode::Refuse) return;
        options_ = refused(why);
        options_.refusalCode = code;
    }

    int argc_;
    const char* const* argv_;
    int index_ = 1;
    LaunchOptions options_;
    bool rendering_ = false;
    std::string renderOptionSeen_;
};

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
    if (argc > 1 && argv[1][0] == '-') return OwnOptionParser(argc, argv).parse();
    return parseSwitches(joinArguments(argc, argv));
}

bool parseWindowId(const std::string& text, uint32_t* id) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) return false;
    uint64_t value = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    }
    if (value == 0 || value > UINT32_MAX) return false;
    *id = static_cast<uint32_t>(value);
    return true;
}

std::string applyHostEnvironment(LaunchOptions& options, const char* value) {
    if (options.mode != LaunchMode::Visualiser || !value || !*value) return std::string();
    if (options.host == HostKind::Window) return std::string();
    uint32_t id = 0;
    if (!parseWindowId(value, &id))
        return "XSCREENSAVER_WINDOW='" + std::string(value) + "' is not a window id; ignored";
    options.host = HostKind::Window;
    options.hostWindow = id;
    return std::string();
}

int launchExitCode(const LaunchOptions& options) {
    return options.mode == LaunchMode::Refuse ? options.refusalCode : 0;
}

const char* usageText() {
    return "Usage: vortalis [/s] | /c | --help | --version\n"
           "       vortalis [--verbose] [--fullscreen | -root | -window-id ID]\n"
           "       vortalis [--verbose] --render DIR --frames N [--fps F] [--size WxH]\n"
           "                [--audio FILE.wav] [--scene ID]\n"
           "  (no switch)      run the visualiser in a window\n"
           "  /s               run the visualiser full screen (screensaver mode)\n"
           "  /c               show the configuration dialog\n"
           "  /p HANDLE        preview: not supported, exits with code 1\n"
           "  --verbose        echo log lines to standard error\n"
           "  --fullscreen     same as /s\n"
           "  -root            draw on the root window (xscreensaver: its window)\n"
           "  -window-id ID    draw in the X window ID (decimal or 0x hex)\n"
           "  --render DIR     write N frames to DIR/frame00000.png... off screen,\n"
           "                   at a fixed step of 1/F s (default 60) and a size\n"
           "                   (default 1280x720), following the WAV file (default:\n"
           "                   the synthetic beat), playing the control script or\n"
           "                   the one scene ID; exits with code 2 on misuse\n"
           "  --help           show this text\n"
           "  --version        show the version\n"
           "Environment: VORTALIS_BASE_DIR overrides the base directory that holds\n"
           "the content archives, settings.js and log.txt; XSCREENSAVER_WINDOW names\n"
           "the window a screensaver host gives (as -window-id does). In a host's\n"
           "window input never ends the run; SIGTERM, SIGINT and SIGHUP end it.\n";
}
