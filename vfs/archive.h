// Content archives (.vortapack) and their entries.
//
// Layout (all integers u32 little-endian): magic "QRX5", version "1.01", file
// count (1..65536), then per entry: flags (bit 0: zlib stream), name length
// (1..2047), name, offset, stored size, size, checksum. Stored bytes lie at
// their absolute offsets, in any order. Each entry is scrambled with a key
// derived from its name (scramble.h) and checked with crc (seed 0).
//
// An archive is read once when it is opened; its whole file is then kept in
// memory so that entry loads never touch the disk. Entries keep no content:
// every load decodes and checks again and returns a new buffer that the caller
// owns (malloc, release with free or vfileFree).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "vfs/archiveSource.h"
#include "vfs/osFile.h"

class CVFileArchive;

// Archive constants.
constexpr uint32_t kArchiveMagic = 0x35585251;       // "QRX5"
constexpr uint32_t kArchiveVersion = 0x31302E31;     // "1.01"
constexpr uint32_t kArchiveShortMagic = 0x1500DEAD;  // reported when the file is too short
constexpr uint32_t kArchiveMaxFiles = 0x10000;
constexpr uint32_t kArchiveMaxNameLength = 2047;
constexpr uint32_t kArchiveFlagCompressed = 1;

// One archive entry, or (with no archive) a loose file registered on disk.
// Copies are cheap records; the size field may be corrected by a load while
// other threads read, so it is atomic.
class CVFile {
public:
    // An archive entry whose header is still to be read.
    explicit CVFile(CVFileArchive* archive) : archive_(archive) {}
    // A disk file `name` under `*baseDirectory` (which must outlive the record).
    CVFile(const std::string* baseDirectory, const std::string& name, uint32_t size);
    CVFile(const CVFile& other);
    CVFile& operator=(const CVFile& other);

    // Reads one entry header at the source's position. On a damaged header
    // logs why and returns false, leaving the position where the read stopped.
    bool loadHeader(ArchiveSource& file);

    // The content in a new buffer followed by one 0 byte, or null when it
    // cannot be read, does not inflate to exactly its size or fails its
    // checksum. `length`, when given, receives the content length of this
    // buffer (the record's size may be corrected by the load).
    char* loadFile(uint32_t* length = nullptr);

    CVFileArchive* archive() const { return archive_; }
    const std::string& name() const { return name_; }
    uint32_t flags() const { return flags_; }
    uint32_t offset() const { return offset_; }
    uint32_t storedSize() const { return storedSize_; }
    uint32_t size() const { return size_.load(std::memory_order_relaxed); }
    uint8_t key() const { return key_; }
    uint32_t checksum() const { return checksum_; }
    bool valid() const { return valid_; }

private:
    char* loadArchived(uint32_t* length);
    char* loadFromDisk(uint32_t* length);
    char* decode(const uint8_t* stored, uint32_t* length);
    char* inflateStored(const uint8_t* stored, uint32_t* length, uint32_t* checksum);

    CVFileArchive* archive_ = nullptr;
    const std::string* baseDirectory_ = nullptr;
    uint32_t flags_ = 0;
    std::string name_;
    uint32_t offset_ = 0;
    uint32_t storedSize_ = 0;
    std::atomic<uint32_t> size_{0};
    uint8_t key_ = 0;
    uint32_t checksum_ = 0;
    bool valid_ = false;
};

// One mounted archive. Not copyable: its entries point back at it.
class CVFileArchive {
public:
    // Opens `path` and reads the entry table; loaded() tells whether it may be
    // mounted. Every reason for refusal is logged.
    explicit CVFileArchive(const std::string& path);
    // Reads the table from a block of memory and keeps a copy of the block as
    // the archive's bytes; `path` only names the archive in messages.
    CVFileArchive(const std::string& path, const void* bytes, size_t size);
    CVFileArchive(const CVFileArchive&) = delete;
    CVFileArchive& operator=(const CVFileArchive&) = delete;

    bool loaded() const { return loaded_; }
    const std::string& path() const { return path_; }
    const std::vector<CVFile>& files() const { return files_; }
    std::vector<CVFile>& files() { return files_; }
    // The first entry named `name`, or null.
    CVFile* findEntry(const std::string& name);

    // Reads the whole archive file into memory (replacing earlier bytes);
    // false when it could not be read, in which case entries are read from
    // the file on each load.
    bool loadBytes();
    bool hasBytes() const { return bytes_ != nullptr; }

private:
    friend class CVFile;
    void readTable(ArchiveSource& source);

    bool loaded_ = false;
    std::string path_;
    std::vector<CVFile> files_;
    VFileBuffer bytes_;
    size_t byteCount_ = 0;
};
