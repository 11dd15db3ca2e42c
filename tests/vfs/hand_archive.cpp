#include "tests/vfs/hand_archive.h"

#include <zlib.h>

#include <stdexcept>

std::string u32le(uint32_t value) {
    std::string out;
    for (int shift = 0; shift < 32; shift += 8)
        out += char((value >> shift) & 0xFF);
    return out;
}

uint32_t referenceCrc(const std::string& data, uint32_t seed) {
    uint32_t h = seed;
    for (char c : data)
        h = ((h << 1) | (h >> 31)) ^ uint32_t(int32_t(int8_t(c)));
    return h;
}

static uint8_t rotl8(uint8_t k) {
    return uint8_t((k << 1) | (k >> 7));
}

uint8_t referenceKey(const std::string& name) {
    uint8_t k = 0;
    for (char c : name)
        k = rotl8(k) ^ uint8_t(c);
    return k;
}

std::string referenceScramble(const std::string& name, const std::string& clear) {
    uint8_t k = referenceKey(name);
    std::string stored;
    for (char c : clear) {
        uint8_t p = uint8_t(c);
        stored += char(p ^ k);
        k = rotl8(k) ^ p;
    }
    return stored;
}

std::string zlibStream(const std::string& content, int level) {
    uLongf size = compressBound(content.size());
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&out[0]), &size,
                  reinterpret_cast<const Bytef*>(content.data()), content.size(), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

HandEntry& HandArchive::add(const std::string& name, const std::string& content, bool compressed) {
    HandEntry entry;
    entry.name = name;
    entry.flags = compressed ? 1 : 0;
    entry.stored = referenceScramble(name, compressed ? zlibStream(content) : content);
    entry.size = uint32_t(content.size());
    entry.checksum = referenceCrc(content);
    entries.push_back(entry);
    return entries.back();
}

std::string HandArchive::bytes(std::vector<size_t> order, size_t gap) {
    if (order.empty())
        for (size_t i = 0; i < entries.size(); ++i)
            order.push_back(i);
    size_t position = 12;
    for (const HandEntry& entry : entries)
        position += 24 + entry.name.size();
    std::string data;
    for (size_t index : order) {
        data += std::string(gap, '\xEE');
        HandEntry& entry = entries[index];
        if (!entry.fixedOffset) entry.offset = uint32_t(position + data.size());
        data += entry.stored;
    }
    std::string out = u32le(magic) + u32le(version) + u32le(uint32_t(entries.size()));
    for (const HandEntry& entry : entries) {
        uint32_t storedSize =
            entry.fixedStoredSize ? entry.storedSize : uint32_t(entry.stored.size());
        out += u32le(entry.flags) + u32le(uint32_t(entry.name.size())) + entry.name;
        out += u32le(entry.offset) + u32le(storedSize) + u32le(entry.size) + u32le(entry.checksum);
    }
    return out + data;
}
