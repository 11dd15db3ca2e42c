#include "vm/opcodes.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

struct Tables {
    std::array<OpcodeInfo, 256> info{};
    std::array<std::vector<uint8_t>, 256> runs;
    std::vector<uint8_t> superCodes;
    std::array<char[8], 256> superNames{};
};

const Tables& tables() {
    static const Tables t = [] {
        Tables t;
        for (auto& i : t.info)
            i = {nullptr, OperandKind::NONE, false};
#define OPCODE(name, code, kind, flow) t.info[code] = {#name, OperandKind::kind, false};
#include "vm/opcodes.def"
#undef OPCODE
        using namespace op;
#define SUPER(code, ...)                              \
    t.runs[code] = std::vector<uint8_t>{__VA_ARGS__}; \
    t.superCodes.push_back(code);
#include "vm/superinstructions.def"
#undef SUPER
        for (uint8_t code : t.superCodes) {
            std::snprintf(t.superNames[code], sizeof t.superNames[code], "S%d", code);
            t.info[code] = {t.superNames[code], OperandKind::INT, true};
        }
        return t;
    }();
    return t;
}

}  // namespace

const OpcodeInfo& opcodeInfo(uint32_t opcodeWord) {
    return tables().info[opcodeWord & 0xFF];
}

const char* opcodeName(uint32_t opcodeWord) {
    const char* name = opcodeInfo(opcodeWord).name;
    return name ? name : "?";
}

int opcodeByName(const char* name) {
    const Tables& t = tables();
    for (int code = 0; code < 256; ++code)
        if (t.info[code].name && !t.info[code].super && std::strcmp(t.info[code].name, name) == 0)
            return code;
    return -1;
}

const std::vector<uint8_t>& superinstructionRun(uint8_t code) {
    return tables().runs[code];
}

const std::vector<uint8_t>& superinstructionCodes() {
    return tables().superCodes;
}

int superinstructionFor(const std::vector<uint8_t>& run) {
    for (uint8_t code : superinstructionCodes())
        if (superinstructionRun(code) == run) return code;
    return -1;
}
