#include "vm/fusion.h"

#include <algorithm>
#include <array>
#include <vector>

#include "vm/opcodes.h"

namespace {

// The patterns that start with each opcode, longest first, so that a run
// wins over any of its own prefixes.
const std::array<std::vector<uint8_t>, 256>& patternsByFirstOpcode() {
    static const std::array<std::vector<uint8_t>, 256> table = [] {
        std::array<std::vector<uint8_t>, 256> byFirst;
        for (uint8_t code : superinstructionCodes())
            byFirst[superinstructionRun(code)[0]].push_back(code);
        for (auto& codes : byFirst)
            std::stable_sort(codes.begin(), codes.end(), [](uint8_t a, uint8_t b) {
                return superinstructionRun(a).size() > superinstructionRun(b).size();
            });
        return byFirst;
    }();
    return table;
}

bool matches(const uint32_t* code, int count, const std::vector<uint8_t>& targets, int position,
             const std::vector<uint8_t>& run) {
    if (position + 2 * static_cast<int>(run.size()) > count) return false;
    for (size_t i = 0; i < run.size(); ++i) {
        int at = position + 2 * static_cast<int>(i);
        if ((code[at] & 0xFF) != run[i] || targets[static_cast<size_t>(at)]) return false;
    }
    return true;
}

}  // namespace

int fuseCode(uint32_t* code, int count) {
    std::vector<uint8_t> targets(static_cast<size_t>(std::max(count, 0)), 0);
    for (int at = 0; at + 1 < count; at += 2) {
        uint8_t opcode = code[at] & 0xFF;
        if (opcode == op::CALL || opcode == op::J || opcode == op::JZ || opcode == op::JNZ) {
            uint32_t target = code[at + 1];
            if (target > 0 && target < static_cast<uint32_t>(count)) targets[target] = 1;
        }
    }
    int fused = 0;
    for (int at = 0; at + 1 < count; at += 2) {
        for (uint8_t super : patternsByFirstOpcode()[code[at] & 0xFF]) {
            const std::vector<uint8_t>& run = superinstructionRun(super);
            if (!matches(code, count, targets, at, run)) continue;
            code[at] = super;
            for (size_t i = 1; i < run.size(); ++i)
                code[at + 2 * static_cast<int>(i)] = op::NOP;
            ++fused;
            break;
        }
    }
    return fused;
}
