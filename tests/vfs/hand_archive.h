// Archives assembled byte by byte for the tests, without the program's writer
// or descrambler: the scrambling here follows the rule one byte at a time, so
// that a fault shared by the program's reader and writer still shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Four little-endian bytes.
std::string u32le(uint32_t value);
// The checksum, one byte at a time (rotate left by one, XOR sign-extended byte).
uint32_t referenceCrc(const std::string& data, uint32_t seed = 0);
// The name key and the scrambling of `clear` with it, one byte at a time.
uint8_t referenceKey(const std::string& name);
std::string referenceScramble(const std::string& name, const std::string& clear);
// A zlib stream (header, deflate data, Adler-32 trailer).
std::string zlibStream(const std::string& content, int level = 6);

struct HandEntry {
    std::string name;
    uint32_t flags = 0;
    std::string stored;  // bytes placed in the data region
    uint32_t size = 0;
    uint32_t checksum = 0;
    bool fixedOffset = false;  // keep `offset` as set instead of laying the entry out
    uint32_t offset = 0;
    bool fixedStoredSize = false;
    uint32_t storedSize = 0;
};

class HandArchive {
public:
    // An entry whose header fields agree with its content.
    HandEntry& add(const std::string& name, const std::string& content, bool compressed);

    // Header, table, then the data region: entries' stored bytes in `order`
    // (indices; all entries in table order when empty), each preceded by `gap`
    // filler bytes. Offsets of entries without a fixed offset are filled in.
    std::string bytes(std::vector<size_t> order = {}, size_t gap = 0);

    std::vector<HandEntry> entries;
    uint32_t magic = 0x35585251;
    uint32_t version = 0x31302E31;
};
