// vsc SOURCE.vsl... -o IMAGE        compiles a scene image
// vsc -S SOURCE.vsl... -o FILE.vsa  writes the assembler text instead
#include <cstdio>
#include <string>
#include <vector>

#include "vm/assembler.h"
#include "vsc/compiler.h"

namespace {

bool readFile(const std::string& path, std::string& text) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return true;
}

bool writeFile(const std::string& path, const void* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

int usage() {
    std::fprintf(stderr,
                 "usage: vsc SOURCE.vsl... -o IMAGE\n"
                 "       vsc -S SOURCE.vsl... -o FILE.vsa\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    std::string output;
    bool assembly = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-S") {
            assembly = true;
        } else if (arg == "-o" && i + 1 < argc && output.empty()) {
            output = argv[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return usage();
        } else {
            inputs.push_back(arg);
        }
    }
    if (inputs.empty() || output.empty()) return usage();
    std::vector<VscSource> sources;
    for (const std::string& path : inputs) {
        VscSource source{path, ""};
        if (!readFile(path, source.text)) {
            std::fprintf(stderr, "vsc: cannot read '%s'\n", path.c_str());
            return 1;
        }
        sources.push_back(std::move(source));
    }
    VscResult result = vscCompile(sources);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    bool written;
    if (assembly) {
        written = writeFile(output, result.assembly.data(), result.assembly.size());
    } else {
        std::vector<uint8_t> bytes = vmImageBytes(result.words);
        written = writeFile(output, bytes.data(), bytes.size());
    }
    if (!written) {
        std::remove(output.c_str());
        std::fprintf(stderr, "vsc: cannot write '%s'\n", output.c_str());
        return 1;
    }
    return 0;
}
