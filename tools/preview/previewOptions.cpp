#include "tools/preview/previewOptions.h"

#include <cerrno>
#include <cstdlib>

const char* const kPreviewUsage =
    "usage: vortalis-preview [--base DIR] [--size WxH] [--frames N] [--shot FILE.png]\n"
    "                        [--bpm B | --silence] [--record FILE] SCENE_ID\n";

namespace {

bool readInt(const std::string& text, int low, int& value) {
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || number < low || number > 1000000) return false;
    value = static_cast<int>(number);
    return true;
}

bool readSize(const std::string& text, int& width, int& height) {
    size_t x = text.find('x');
    return x != std::string::npos && readInt(text.substr(0, x), 1, width) &&
           readInt(text.substr(x + 1), 1, height);
}

bool readTempo(const std::string& text, double& bpm) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(value >= 0.0 && value <= 1000.0)) return false;
    bpm = value;
    return true;
}

}  // namespace

bool parsePreviewOptions(int argc, const char* const* argv, PreviewOptions& options,
                         std::string& error) {
    bool tempoGiven = false;
    bool silence = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        bool takesValue = arg == "--base" || arg == "--size" || arg == "--frames" ||
                          arg == "--shot" || arg == "--bpm" || arg == "--record";
        if (takesValue && i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        bool ok = true;
        if (arg == "--base") {
            options.base = argv[++i];
        } else if (arg == "--size") {
            ok = readSize(argv[++i], options.width, options.height);
        } else if (arg == "--frames") {
            ok = readInt(argv[++i], 1, options.frames);
        } else if (arg == "--shot") {
            options.shot = argv[++i];
        } else if (arg == "--bpm") {
            ok = !silence && readTempo(argv[++i], options.bpm);
            tempoGiven = true;
        } else if (arg == "--silence") {
            // The same as a tempo of 0, spelled out for comparisons with a beat.
            ok = !tempoGiven;
            silence = true;
            options.bpm = 0.0;
        } else if (arg == "--record") {
            options.record = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            ok = false;
        } else if (options.sceneId.empty()) {
            options.sceneId = arg;
        } else {
            ok = false;
        }
        if (!ok) {
            error = "bad argument '" + std::string(argv[i]) + "'";
            return false;
        }
    }
    if (options.sceneId.empty()) {
        error = "no scene id given";
        return false;
    }
    if (!options.shot.empty() && options.frames == 0) {
        error = "--shot needs --frames";
        return false;
    }
    if (!options.record.empty() && options.frames == 0) {
        error = "--record needs --frames";
        return false;
    }
    return true;
}
