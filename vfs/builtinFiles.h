// The two images the program carries inside itself, so that the on-screen
// display can draw before any archive is mounted. Their bytes are embedded at
// build time from content/builtin/ (see vfs/embed/).
#pragma once

#include <cstdint>
#include <string>

struct BuiltinFile {
    const char* name;  // virtual path, matched exactly
    const unsigned char* data;
    uint32_t size;
};

// The built-in file with exactly this virtual path, or null.
const BuiltinFile* builtinFileFind(const std::string& name);
