// Writes content archives (the program itself only reads them; authors and
// the build write them through this one piece).
//
// Entries are kept in the order added; the entry table comes first and the
// stored bytes follow it back to back in the same order. Each entry's content
// is checksummed, optionally zlib-compressed, then scrambled with its name key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CArchiveWriter {
public:
    // Adds an entry, compressed unless `compress` is false. Returns false, with
    // the reason in error(), for a name outside 1..2047 bytes, a 65537th entry,
    // content over 4 GiB or a compression failure.
    bool add(const std::string& name, const void* data, size_t size, bool compress = true);
    size_t count() const { return entries_.size(); }
    // zlib level (0..9) for entries added from now on; 9 by default.
    void setCompressionLevel(int level) { level_ = level; }

    // The whole archive. False when there are no entries or it would pass 4 GiB.
    bool build(std::vector<uint8_t>& out);
    // Builds and writes to `path` through a temporary file renamed into place.
    bool writeFile(const std::string& path);
    const std::string& error() const { return error_; }

private:
    struct Entry {
        std::string name;
        uint32_t flags;
        uint32_t size;
        uint32_t checksum;
        std::vector<uint8_t> stored;
    };
    bool fail(const std::string& reason);

    std::vector<Entry> entries_;
    int level_ = 9;
    std::string error_;
};
