// Archive table sources: see archiveSource.h.
#include "vfs/archiveSource.h"

#include <cstring>

bool ArchiveSource::readU32(uint32_t& value) {
    uint8_t bytes[4];
    if (read(bytes, 4) != 4) return false;
    value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
            uint32_t(bytes[3]) << 24;
    return true;
}

size_t FileArchiveSource::read(void* into, size_t count) {
    return std::fread(into, 1, count, file_);
}

bool FileArchiveSource::atEnd() const {
    return std::feof(file_) != 0;
}

size_t MemoryArchiveSource::read(void* into, size_t count) {
    size_t left = size_ - position_;
    size_t got = count < left ? count : left;
    if (got) std::memcpy(into, data_ + position_, got);
    position_ += got;
    if (got < count) atEnd_ = true;
    return got;
}
