// Calling-convention helpers and VM strings (native.h).
#include <cstring>

#include "vm/native.h"

float vmPopFloat(VMState* s) {
    uint32_t word = vmPop(s);
    float f;
    std::memcpy(&f, &word, 4);
    return f;
}

void vmPushFloat(VMState* s, float value) {
    uint32_t word;
    std::memcpy(&word, &value, 4);
    vmPush(s, word);
}

std::string vmReadString(VMState* s, uint32_t address, size_t maxLength) {
    std::string text;
    for (uint32_t at = address; at < s->memorySize && text.size() < maxLength; ++at) {
        uint32_t word = s->memory[at];
        if (word == 0) break;
        text += static_cast<char>(word & 0xFF);
    }
    return text;
}

bool vmWriteString(VMState* s, uint32_t address, int32_t capacity, const std::string& text) {
    if (capacity <= 0) return true;
    if (!vcheckArea(s, address, capacity)) return false;
    size_t length = std::min(text.size(), static_cast<size_t>(capacity - 1));
    for (size_t i = 0; i < length; ++i)
        s->memory[address + i] =
            static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])));
    s->memory[address + length] = 0;
    return true;
}
