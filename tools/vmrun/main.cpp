// vmrun IMAGE [--call SIGNATURE]... [--budget MS] [--args VALUE...]
// Prints every log line the runs produce as "<label>: <text>" and exits 0
// when no run failed, 1 when one did, 2 when the image could not be loaded.
#include <cstdio>
#include <string>
#include <vector>

#include "vm/runner.h"

namespace {

bool readFile(const char* path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr,
                     "usage: vmrun IMAGE [--call SIGNATURE]... [--budget MS] [--args VALUE...]\n");
        return argc < 2 ? 2 : 0;
    }
    RunOptions options;
    std::string error;
    if (!vmRunParseOptions(std::vector<std::string>(argv + 2, argv + argc), options, error)) {
        std::fprintf(stderr, "vmrun: %s\n", error.c_str());
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (!readFile(argv[1], bytes)) {
        std::fprintf(stderr, "vmrun: cannot read '%s'\n", argv[1]);
        return 2;
    }
    vmRunnerInstallLogging([](const std::string& line) { std::printf("%s\n", line.c_str()); });
    int result = vmRunImage(bytes, options);
    vmRunnerRemoveLogging();
    return result;
}
