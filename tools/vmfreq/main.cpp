// vmfreq [OPTIONS] IMAGE|SOURCE.vsa...
// Counts runs of fusable instructions in scene images, in the code and in
// runs of the unfused image, and prints them most frequent first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/log.h"
#include "tools/vmfreq/vmFreq.h"
#include "vm/assembler.h"
#include "vm/vm.h"

namespace {

const char* const kUsage =
    "usage: vmfreq [OPTIONS] IMAGE|SOURCE.vsa...\n"
    "Counts pairs and triples of fusable instructions (plain instructions, no jump\n"
    "target or function entry inside) in each image's code (static) and in a run\n"
    "of the unfused image (dynamic), summed over all files.\n"
    "  --static        count the code only, run nothing\n"
    "  --length MIN:MAX  run lengths to count (default 2:3)\n"
    "  --call SIG      function to call (repeatable); default: \"V main()\" if\n"
    "                  present, else \"V init()\" then FRAMES x \"V step()\",\n"
    "                  \"V render()\"; a .vsa file's \"; vmrun: --call\" lines win\n"
    "  --frames N      frames of a scene image (default 100)\n"
    "  --work N        branches one run may take before it is stopped\n"
    "                  (default 2000000); a stopped run is resumed 4 times\n"
    "  --top N         rows per table (default 25)\n"
    "  --min-executed N  images that execute fewer instructions (default 1000)\n"
    "                  are left out of the dynamic shares\n"
    "  --classes       count binary operators by class: <intop> (arithmetic,\n"
    "                  bitwise, shifts), <intcmp>, <floatop>, <floatcmp>\n"
    "  --images        also list each image with its executed instruction count\n"
    "Files ending in .vsa are assembled first; anything else is an image.\n"
    "Natives served outside the VM library (graphics, scene, script) are\n"
    "replaced by stand-ins that pop their arguments and push a plausible value.\n";

bool readBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return true;
}

// The --call options of a script's "; vmrun:" lines.
std::vector<std::string> scriptCalls(const std::string& source) {
    std::vector<std::string> calls;
    std::stringstream in(source);
    for (std::string line; std::getline(in, line);) {
        const std::string marker = "; vmrun:";
        if (line.compare(0, marker.size(), marker) != 0) continue;
        std::vector<std::string> words;
        std::string word;
        bool quoted = false;
        for (char c : line.substr(marker.size()) + " ") {
            if (c == '"') {
                quoted = !quoted;
            } else if (c == ' ' && !quoted) {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        for (size_t i = 0; i + 1 < words.size(); ++i)
            if (words[i] == "--call") calls.push_back(words[i + 1]);
    }
    return calls;
}

void printTable(const FreqTable& table, int length, bool byExecutions, int top) {
    auto ranked = freqRanked(table, length, byExecutions);
    std::printf("\n%s runs of %d, by %s:\n", byExecutions ? "dynamic" : "static", length,
                byExecutions ? "mean share of each image's executions" : "occurrences");
    std::printf("%14s %7s %8s %6s  %s\n", "executions", "share", "in code", "images", "run");
    int rows = 0;
    for (const auto& [key, count] : ranked) {
        if (rows++ == top || (byExecutions && count.weight == 0)) break;
        double share = byExecutions ? 100.0 * count.weight / std::max(1, table.weighedImages)
                                    : 100.0 * static_cast<double>(count.occurrences) /
                                          std::max(1.0, static_cast<double>(table.instructions));
        std::printf("%14llu %6.2f%% %8llu %6d  %s\n",
                    static_cast<unsigned long long>(count.executions), share,
                    static_cast<unsigned long long>(count.occurrences), count.images,
                    freqName(key).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    FreqOptions options;
    int top = 25;
    bool listImages = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--static") {
            options.run = false;
        } else if (arg == "--length" && hasValue) {
            if (std::sscanf(argv[++i], "%d:%d", &options.minLength, &options.maxLength) != 2 ||
                options.minLength < 1 || options.maxLength < options.minLength) {
                std::fprintf(stderr, "vmfreq: bad length '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--call" && hasValue) {
            options.calls.push_back(argv[++i]);
        } else if (arg == "--frames" && hasValue) {
            options.frames = std::atoi(argv[++i]);
        } else if (arg == "--work" && hasValue) {
            options.workLimit = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--min-executed" && hasValue) {
            options.minExecuted = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--classes") {
            options.classes = true;
        } else if (arg == "--images") {
            listImages = true;
        } else if (arg == "--top" && hasValue) {
            top = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "vmfreq: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Images print and fail as they like; only the counts matter here.
    logSetMirror(nullptr);
    vmSystemCreate([](const char*) {});
    freqInstallNativeStandIns();
    FreqTable table;
    int status = 0;
    for (const std::string& file : files) {
        std::string bytes;
        if (!readBytes(file, bytes)) {
            std::fprintf(stderr, "vmfreq: cannot read '%s'\n", file.c_str());
            status = 1;
            continue;
        }
        std::vector<uint32_t> words;
        FreqOptions fileOptions = options;
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".vsa") == 0) {
            AsmResult image = vmAssemble(bytes, file);
            if (!image.ok) {
                std::fprintf(stderr, "vmfreq: '%s' does not assemble\n", file.c_str());
                status = 1;
                continue;
            }
            words = image.words;
            std::vector<std::string> calls = scriptCalls(bytes);
            if (options.calls.empty() && !calls.empty()) fileOptions.calls = calls;
        } else {
            words = vmImageWords(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        }
        std::string error;
        if (!freqAddImage(table, words, fileOptions, file, error)) {
            std::fprintf(stderr, "vmfreq: '%s': %s\n", file.c_str(), error.c_str());
            status = 1;
        }
    }
    std::printf("%d images, %llu instructions in code, %llu executed\n", table.images,
                static_cast<unsigned long long>(table.instructions),
                static_cast<unsigned long long>(table.executedInstructions));
    if (listImages)
        for (const auto& [name, executed] : table.executedPerImage)
            std::printf("%14llu  %s\n", static_cast<unsigned long long>(executed), name.c_str());
    for (int length = options.minLength; length <= options.maxLength; ++length) {
        if (options.run) printTable(table, length, true, top);
        printTable(table, length, false, top);
    }
    vmSystemDestroy();
    return status;
}
