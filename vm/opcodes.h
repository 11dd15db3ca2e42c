// Opcode numbers, names and operand kinds, all generated from opcodes.def and
// superinstructions.def so that the interpreter, the fusion pass, the
// assembler and the disassembler can never disagree.
#pragma once

#include <cstdint>
#include <vector>

namespace op {
enum Opcode : uint8_t {
#define OPCODE(name, code, kind, flow) name = code,
#include "vm/opcodes.def"
#undef OPCODE
};
}  // namespace op

enum class OperandKind : uint8_t { NONE, INT, HEX, FLOAT, CHARS, POS, ADDR };

struct OpcodeInfo {
    const char* name;  // null for unassigned codes
    OperandKind operand;
    bool super;  // a fused superinstruction
};

// Information on the low byte of an opcode word; never null.
const OpcodeInfo& opcodeInfo(uint32_t opcodeWord);

// The name used in messages: the instruction's name, or "?" when unassigned.
const char* opcodeName(uint32_t opcodeWord);

// Looks a basic instruction up by name; -1 when unknown.
int opcodeByName(const char* name);

// The run of basic opcodes that superinstruction `code` replaces (empty when
// `code` is not a superinstruction).
const std::vector<uint8_t>& superinstructionRun(uint8_t code);

// Every superinstruction code, in table order.
const std::vector<uint8_t>& superinstructionCodes();

// The superinstruction that replaces exactly `run`, or -1 when none does.
int superinstructionFor(const std::vector<uint8_t>& run);
