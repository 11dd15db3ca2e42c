#include "vm/fusion.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <map>
#include <vector>

#include "vm/opcodes.h"

namespace {

// The patterns by their first two opcodes (every run has at least two),
// longest first, so that a run wins over any of its own prefixes. Most
// positions start no pattern, and the pair lookup rejects them at once;
// loading is on the path of every scene start.
struct PatternIndex {
    std::array<std::bitset<256>, 256> pairs;          // [first][second]: some pattern starts so
    std::map<uint32_t, std::vector<uint8_t>> byPair;  // first << 8 | second
};

const PatternIndex& patternIndex() {
    static const PatternIndex index = [] {
        PatternIndex built;
        for (uint8_t code : superinstructionCodes()) {
            const std::vector<uint8_t>& run = superinstructionRun(code);
            built.byPair[uint32_t{run[0]} << 8 | run[1]].push_back(code);
            built.pairs[run[0]].set(run[1]);
        }
        for (auto& [pair, codes] : built.byPair)
            std::stable_sort(codes.begin(), codes.end(), [](uint8_t a, uint8_t b) {
                return superinstructionRun(a).size() > superinstructionRun(b).size();
            });
        return built;
    }();
    return index;
}

bool matches(const uint32_t* code, int count, const std::vector<uint8_t>& targets, int position,
             const std::vector<uint8_t>& run) {
    if (position + 2 * static_cast<int>(run.size()) > count) return false;
    // A jump may land on the first instruction (it then runs the whole
    // run), never on a later one.
    for (size_t i = 0; i < run.size(); ++i) {
        int at = position + 2 * static_cast<int>(i);
        if ((code[at] & 0xFF) != run[i] || (i > 0 && targets[static_cast<size_t>(at)]))
            return false;
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
    const PatternIndex& index = patternIndex();
    int fused = 0;
    for (int at = 0; at + 3 < count; at += 2) {
        uint32_t first = code[at] & 0xFF, second = code[at + 2] & 0xFF;
        if (!index.pairs[first].test(second)) continue;
        for (uint8_t super : index.byPair.at(first << 8 | second)) {
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
