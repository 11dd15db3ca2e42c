// The disassembler behind `vsasm -d`.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vm/assembler.h"
#include "vm/fusion.h"
#include "vm/opcodes.h"

namespace {

std::string operandText(OperandKind kind, uint32_t word) {
    char text[64];
    switch (kind) {
        case OperandKind::NONE:
            if (word == 0) return "";
            std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(word));
            break;
        case OperandKind::HEX:
            std::snprintf(text, sizeof text, "0x%08X", word);
            break;
        case OperandKind::FLOAT: {
            float f;
            std::memcpy(&f, &word, 4);
            std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
            if (!std::strpbrk(text, ".enai")) std::strcat(text, ".0");
            break;
        }
        case OperandKind::CHARS: {
            std::string chars = "'";
            bool printable = true;
            for (int i = 0; i < 4; ++i) {
                unsigned char c = static_cast<unsigned char>(word >> (8 * i));
                if (c < 32 || c > 126 || c == '\'' || c == '\\') printable = false;
                chars += static_cast<char>(c);
            }
            if (printable) return chars + "'";
            std::snprintf(text, sizeof text, "0x%08X", word);
            break;
        }
        default:
            std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(word));
            break;
    }
    return text;
}

std::string instructionText(uint32_t opcode, uint32_t operand) {
    const OpcodeInfo& info = opcodeInfo(opcode);
    if (!info.name) return "?" + std::to_string(opcode & 0xFF) + " " + std::to_string(operand);
    std::string text = info.name;
    std::string shown = operandText(info.operand, operand);
    if (!shown.empty()) text += " " + shown;
    return text;
}

}  // namespace

std::string vmDisassemble(const uint32_t* words, int count, bool fused) {
    std::vector<uint32_t> code(words, words + count);
    if (fused) fuseCode(code.data(), count);
    std::string out;
    char line[64];
    for (int at = 0; at + 1 < count; at += 2) {
        std::snprintf(line, sizeof line, "%6d  ", at);
        const OpcodeInfo& info = opcodeInfo(code[static_cast<size_t>(at)]);
        std::string text;
        if (info.super) {
            // The run it stands for, operands read from their own slots.
            const std::vector<uint8_t>& run =
                superinstructionRun(code[static_cast<size_t>(at)] & 0xFF);
            text = std::string(info.name) + " {";
            for (size_t i = 0; i < run.size(); ++i) {
                int slot = at + 2 * static_cast<int>(i);
                if (i) text += "; ";
                text += instructionText(run[i],
                                        slot + 1 < count ? code[static_cast<size_t>(slot) + 1] : 0);
            }
            text += "}";
        } else {
            text =
                instructionText(code[static_cast<size_t>(at)], code[static_cast<size_t>(at) + 1]);
        }
        out += line + text + "\n";
    }
    return out;
}
