// Feeds arbitrary bytes to the archive reader and loads every entry that it
// accepts, once from memory and once from a file, and checks that both ways
// agree. Any crash, out-of-bounds access or disagreement is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "vfs/archive.h"

namespace {

// A file descriptor in memory whose path the reader can open like any file.
std::string memoryFilePath() {
    static int fd = memfd_create("archive", 0);
    static std::string path = "/proc/self/fd/" + std::to_string(fd);
    return path;
}

void fill(const uint8_t* data, size_t size) {
    int fd = std::stoi(memoryFilePath().substr(14));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) __builtin_trap();
}

// Loads an entry; the result must be terminated and `length` long.
std::string load(CVFile& entry, bool& ok) {
    uint32_t length = 0;
    VFileBuffer content(entry.loadFile(&length));
    ok = content != nullptr;
    if (!ok) return std::string();
    if (content.get()[length] != 0) __builtin_trap();
    return std::string(content.get(), length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVFileArchive inMemory("fuzz", data, size);
    fill(data, size);
    CVFileArchive fromFile(memoryFilePath());  // bytes not loaded: entries read from the file
    if (inMemory.loaded() != fromFile.loaded()) __builtin_trap();
    if (!inMemory.loaded()) return 0;
    if (inMemory.files().size() != fromFile.files().size()) __builtin_trap();
    for (size_t i = 0; i < inMemory.files().size(); ++i) {
        bool memoryOk = false, fileOk = false;
        std::string a = load(inMemory.files()[i], memoryOk);
        std::string b = load(fromFile.files()[i], fileOk);
        if (memoryOk != fileOk || a != b) __builtin_trap();
    }
    return 0;
}
