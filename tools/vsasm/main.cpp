// vsasm SOURCE.vsa -o IMAGE      assembles a scene image
// vsasm -d IMAGE [--fused]       lists an image's instructions
#include <cstdio>
#include <string>
#include <vector>

#include "vm/assembler.h"

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

int usage() {
    std::fprintf(stderr,
                 "usage: vsasm SOURCE -o IMAGE\n"
                 "       vsasm -d IMAGE [--fused]\n");
    return 2;
}

int disassemble(const std::string& path, bool fused) {
    std::string bytes;
    if (!readFile(path, bytes)) {
        std::fprintf(stderr, "vsasm: cannot read '%s'\n", path.c_str());
        return 1;
    }
    std::vector<uint32_t> words = vmImageWords(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    std::fputs(vmDisassemble(words.data(), static_cast<int>(words.size()), fused).c_str(), stdout);
    return 0;
}

int assemble(const std::string& source, const std::string& output) {
    std::string text;
    if (!readFile(source, text)) {
        std::fprintf(stderr, "vsasm: cannot read '%s'\n", source.c_str());
        return 1;
    }
    AsmResult result = vmAssemble(text, source);
    for (const std::string& error : result.errors)
        std::fprintf(stderr, "%s\n", error.c_str());
    if (!result.ok) return 1;
    std::vector<uint8_t> bytes = vmImageBytes(result.words);
    FILE* file = std::fopen(output.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "vsasm: cannot write '%s'\n", output.c_str());
        if (file) std::fclose(file);
        return 1;
    }
    return std::fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "-d")
        return args.size() == 2 || (args.size() == 3 && args[2] == "--fused")
                   ? disassemble(args[1], args.size() == 3)
                   : usage();
    if (args.size() == 3 && args[1] == "-o") return assemble(args[0], args[2]);
    return usage();
}
