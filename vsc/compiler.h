// vsc: the compiler of the scene language (docs/scene-language.md). It turns
// source files into assembler text for vsasm and assembles that text with
// the VM's own assembler, so that `vsc -S` output and the image written
// directly can never differ.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct VscSource {
    std::string name;  // shown in messages
    std::string text;
};

// Where a global lives in the static area, for tests and tools that read
// VM memory after a run.
struct VscGlobal {
    uint32_t address = 0;
    uint32_t words = 0;
};

struct VscResult {
    bool ok = false;
    // On failure: "FILE:LINE:COLUMN: message" of the first error.
    std::string error;
    std::string assembly;         // the vsasm text
    std::vector<uint32_t> words;  // the image
    std::map<std::string, VscGlobal> globals;
};

// Compiles the files as one program, after the standard header. Not for
// use from two threads at once (the header's tree is shared).
VscResult vscCompile(const std::vector<VscSource>& sources);

// The standard header every program sees (vsc/include/natives.vsh).
const std::string& vscStandardHeader();

// The name the header's messages carry.
constexpr const char* kVscHeaderName = "natives.vsh";
