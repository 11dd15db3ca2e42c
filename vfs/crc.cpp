#include "vfs/crc.h"

uint32_t crc(const void* data, int length, uint32_t seed) {
    const auto* bytes = static_cast<const int8_t*>(data);
    uint32_t h = seed;
    for (int i = 0; i < length; ++i)
        h = ((h << 1) | (h >> 31)) ^ static_cast<uint32_t>(static_cast<int32_t>(bytes[i]));
    return h;
}
