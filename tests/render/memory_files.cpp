#include "tests/render/memory_files.h"

#include <cstdint>
#include <cstring>

#include "render/renderFiles.h"

namespace {

char* memoryRead(const char* name, uint32_t* length) {
    auto found = testFiles().find(name);
    if (found == testFiles().end()) return nullptr;
    char* copy = new char[found->second.size() + 1];
    std::memcpy(copy, found->second.data(), found->second.size());
    copy[found->second.size()] = 0;
    *length = static_cast<uint32_t>(found->second.size());
    return copy;
}

void memoryFree(char* buffer) {
    delete[] buffer;
}

}  // namespace

std::map<std::string, std::string>& testFiles() {
    static std::map<std::string, std::string> files;
    return files;
}

void useTestFiles() {
    renderSetFileReader(memoryRead, memoryFree);
}
void stopUsingTestFiles() {
    renderSetFileReader(nullptr, nullptr);
}
