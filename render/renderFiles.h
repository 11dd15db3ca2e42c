// The one place where the rendering services read files: shaders and images
// come from the virtual file system. Tests and tools may swap the reader.
#pragma once

#include <cstdint>

// Reads the whole file `name`; the buffer belongs to the caller and is given
// back through the matching free function. Null when the file is missing.
using RenderFileReader = char* (*)(const char* name, uint32_t* length);
using RenderFileRelease = void (*)(char* buffer);

// Installs a reader; null restores the virtual file system (vfileLoad).
void renderSetFileReader(RenderFileReader reader, RenderFileRelease release);

char* renderFileLoad(const char* name, uint32_t* length);
void renderFileFree(char* buffer);
