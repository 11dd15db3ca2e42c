// File access of the rendering services. See renderFiles.h.
#include "render/renderFiles.h"

// The virtual file system's reader. Declared weak until the file system
// library provides it, so that the rendering services link on their own;
// without it only an installed reader yields files.
char* vfileLoad(const char* name, uint32_t* length) __attribute__((weak));

namespace {

char* fileSystemLoad(const char* name, uint32_t* length) {
    if (!vfileLoad) return nullptr;
    return vfileLoad(name, length);
}

void fileSystemFree(char* buffer) {
    delete[] buffer;
}

RenderFileReader reader = fileSystemLoad;
RenderFileRelease release = fileSystemFree;

}  // namespace

void renderSetFileReader(RenderFileReader newReader, RenderFileRelease newRelease) {
    reader = newReader ? newReader : fileSystemLoad;
    release = newReader ? newRelease : fileSystemFree;
}

char* renderFileLoad(const char* name, uint32_t* length) {
    *length = 0;
    return reader(name, length);
}

void renderFileFree(char* buffer) {
    if (buffer) release(buffer);
}
