// vortalis-beats FILE.wav [--fps F]
// Runs the visualiser's sound analyser over a WAV file, stepped at a fixed
// frame rate, and prints "tempo <bpm>" (the final estimate) and then one line
// per beat with its time in seconds of the file. Exit 0; 1 when the file
// cannot be read; 2 for a usage error.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/log.h"
#include "sound/fixedRateRun.h"
#include "sound/soundAnalyser.h"
#include "sound/wavFileSource.h"

namespace {

constexpr double kDefaultFps = 60.0;
constexpr double kLowestFps = 1.0;
constexpr double kHighestFps = 1000.0;

int usage(const char* complaint) {
    if (complaint) std::fprintf(stderr, "vortalis-beats: %s\n", complaint);
    std::fprintf(stderr,
                 "usage: vortalis-beats FILE.wav [--fps F]   (F from 1 to 1000, default 60)\n");
    return 2;
}

bool parseFps(const char* text, double* fps) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value)) return false;
    if (value < kLowestFps || value > kHighestFps) return false;
    *fps = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    double fps = kDefaultFps;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(nullptr);
            return 0;
        }
        if (arg == "--fps") {
            if (i + 1 >= argc) return usage("--fps needs a number");
            if (!parseFps(argv[++i], &fps)) return usage("--fps needs a number from 1 to 1000");
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return usage(("unknown option " + arg).c_str());
        } else if (path.empty()) {
            path = arg;
        } else {
            return usage("one file only");
        }
    }
    if (path.empty()) return usage(nullptr);

    // The analyser's own messages (a full queue, say) are not the output.
    logSetEnabled(false);
    std::string error;
    std::unique_ptr<WavFileSource> source = WavFileSource::open(path, &error);
    if (!source) {
        std::fprintf(stderr, "vortalis-beats: cannot read %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    SoundAnalyser analyser;
    FixedRateRun run(*source, analyser, fps);
    const double duration = source->durationSeconds();
    // Past the end until every block of the file has been analysed.
    while (run.analysedSeconds() < duration)
        run.step();

    std::printf("tempo %.2f\n", analyser.beat().tempo());
    for (double beat : run.beats()) {
        if (beat >= 0.0 && beat <= duration) std::printf("%.3f\n", beat);
    }
    return 0;
}
