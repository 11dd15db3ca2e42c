// Plain disk files through stdio and directory listings through opendir/readdir.
//
// Paths here are operating-system paths, not virtual ones. Buffers returned by
// osFileLoad (like those of vfileLoad) are allocated with malloc and belong to
// the caller, who releases them with free() (or vfileFree).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Releases a buffer returned by osFileLoad, vfileLoad or CVFile::loadFile.
inline void vfileFree(void* buffer) {
    std::free(buffer);
}

struct VFileFreeDeleter {
    void operator()(void* buffer) const { vfileFree(buffer); }
};
// Owning handle for such a buffer.
using VFileBuffer = std::unique_ptr<char, VFileFreeDeleter>;

// Reads up to `length` bytes of `path` into a new buffer of length + 1 bytes.
// Cannot open (or a directory): warning, null. Short read: warning, and the
// buffer is still returned with every byte after those read set to 0. The byte
// at index `length` is always 0. `bytesRead`, when given, receives the count
// actually read (0 on failure).
char* osFileLoad(const std::string& path, uint32_t length, uint32_t* bytesRead = nullptr);

// The size the operating system reports; on failure a warning and 0. Sizes
// beyond 32 bits are reported as 0xFFFFFFFF.
uint32_t osFileSize(const std::string& path);

// True when `path` opens for reading and is not a directory.
bool osFileExists(const std::string& path);

// Every name in `directory` (including "." and ".." and subdirectories),
// sorted bytewise so that the result does not depend on the file system's
// internal order; empty when the directory cannot be read.
std::vector<std::string> osListDir(const std::string& directory);

// True for "/x", "\x" and drive paths such as "C:/x" or "C:\x".
bool osIsAbsolutePath(const std::string& path);

// Writes all of `text` to `path` (created or emptied) and flushes it to the
// disk; false with errno set when any step fails. The first half of a save
// through a temporary file renamed into place.
bool osFileWriteSynced(const std::string& path, const std::string& text);
