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

// The binary operators ( a b -- a op b ) by class. The interpreter moves
// the stack the same way for all of them, and the frequency tool counts
// them by class, since which operator of a class a statement uses is
// incidental.
enum class OperatorClass : uint8_t {
    NONE,
    INT_ARITHMETIC,
    INT_COMPARE,
    FLOAT_ARITHMETIC,
    FLOAT_COMPARE
};
constexpr OperatorClass operatorClass(uint8_t opcode) {
    switch (opcode) {
        case op::INTADD:
        case op::INTSUB:
        case op::INTMUL:
        case op::INTDIV:
        case op::INTMOD:
        case op::INTAND:
        case op::INTOR:
        case op::INTXOR:
        case op::SHL:
        case op::SSHR:
        case op::USHR:
            return OperatorClass::INT_ARITHMETIC;
        case op::INTLT:
        case op::INTLTE:
        case op::INTGT:
        case op::INTGTE:
        case op::INTEQ:
        case op::INTNEQ:
            return OperatorClass::INT_COMPARE;
        case op::FLOATADD:
        case op::FLOATSUB:
        case op::FLOATMUL:
        case op::FLOATDIV:
            return OperatorClass::FLOAT_ARITHMETIC;
        case op::FLOATLT:
        case op::FLOATLTE:
        case op::FLOATGT:
        case op::FLOATGTE:
        case op::FLOATEQ:
        case op::FLOATNEQ:
            return OperatorClass::FLOAT_COMPARE;
        default:
            return OperatorClass::NONE;
    }
}

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
