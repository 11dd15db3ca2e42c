// File access of the rendering services. See renderFiles.h.
#include "render/renderFiles.h"

#include "vfs/fileSystem.h"

namespace {

char* fileSystemLoad(const char* name, uint32_t* length) {
    return vfileLoad(name, length);
}

void fileSystemFree(char* buffer) {
    vfileFree(buffer);
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
