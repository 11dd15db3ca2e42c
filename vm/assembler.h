// vsasm: the scene assembler and disassembler (format in docs/assembler.md).
// The assembler turns text into image words and appends the setup block that
// checks the version, creates memory, initialises static data, binds natives
// and registers functions, followed by the final jump to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AsmResult {
    bool ok = false;
    std::vector<uint32_t> words;
    // "file:line: message", one per error, in source order.
    std::vector<std::string> errors;
};

AsmResult vmAssemble(const std::string& source, const std::string& fileName);

// One line per instruction: position, name, operand shown by its kind. With
// `fused`, the code first goes through the load-time fusion pass and each
// superinstruction lists the run it stands for.
std::string vmDisassemble(const uint32_t* words, int count, bool fused);

// Image words as the little-endian bytes of an image file, and back.
std::vector<uint8_t> vmImageBytes(const std::vector<uint32_t>& words);
std::vector<uint32_t> vmImageWords(const std::vector<uint8_t>& bytes);
