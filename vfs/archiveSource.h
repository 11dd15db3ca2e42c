// Sequential byte sources for reading an archive's entry table: an open stdio
// file or a block of memory. Both report end of data the way stdio does: only
// after a read came up short, never merely because the position reached the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    // Copies up to `count` bytes; returns how many came.
    virtual size_t read(void* into, size_t count) = 0;
    // True once a read has come up short.
    virtual bool atEnd() const = 0;
    // A little-endian 32-bit value; false on a short read.
    bool readU32(uint32_t& value);
};

class FileArchiveSource : public ArchiveSource {
public:
    explicit FileArchiveSource(FILE* file) : file_(file) {}
    size_t read(void* into, size_t count) override;
    bool atEnd() const override;

private:
    FILE* file_;
};

class MemoryArchiveSource : public ArchiveSource {
public:
    MemoryArchiveSource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    size_t read(void* into, size_t count) override;
    bool atEnd() const override { return atEnd_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    bool atEnd_ = false;
};
