// Reading one entry header and loading one file (archive entry or disk file).
//
// An archive entry is decoded straight from the archive's bytes: uncompressed
// entries are descrambled directly into the result buffer; compressed ones
// are descrambled in cache-sized pieces that are fed to one inflate stream
// writing into the result buffer. Each piece of content is checksummed right
// after it is produced, while it is still in cache, so the content is written
// once and read back once from cache. Nothing is read outside the archive's
// bytes and nothing is written past the buffers.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "app/log.h"
#include "vfs/archive.h"
#include "vfs/crc.h"
#include "vfs/scramble.h"

namespace {

// Deflate cannot expand data by more than about 1032:1, so a size beyond this
// bound can never be produced and is refused before anything is allocated.
uint64_t largestInflatedSize(uint32_t storedSize) {
    return uint64_t(storedSize) * 1032 + 1024;
}

// Continues checksum `h` over `length` more bytes (crc takes an int length).
uint32_t checksumMore(uint32_t h, const void* data, size_t length) {
    const auto* bytes = static_cast<const char*>(data);
    const size_t piece = size_t(1) << 30;
    for (size_t done = 0; done < length; done += piece)
        h = crc(bytes + done, static_cast<int>(std::min(piece, length - done)), h);
    return h;
}

// Pieces small enough to stay in cache between the passes over them.
constexpr uint32_t kPieceSize = 32768;

}  // namespace

CVFile::CVFile(const std::string* baseDirectory, const std::string& name, uint32_t size)
    : baseDirectory_(baseDirectory), name_(name), size_(size), valid_(true) {}

CVFile::CVFile(const CVFile& other) {
    *this = other;
}

CVFile& CVFile::operator=(const CVFile& other) {
    archive_ = other.archive_;
    baseDirectory_ = other.baseDirectory_;
    flags_ = other.flags_;
    name_ = other.name_;
    offset_ = other.offset_;
    storedSize_ = other.storedSize_;
    size_.store(other.size());
    key_ = other.key_;
    checksum_ = other.checksum_;
    valid_ = other.valid_;
    return *this;
}

bool CVFile::loadHeader(ArchiveSource& file) {
    valid_ = false;
    if (!file.readU32(flags_)) {
        Log(LOG_SERIOUS, "CVFile::loadHeader invalid archive [fileFlags]\n");
        return false;
    }
    uint32_t nameLength = 0;
    if (!file.readU32(nameLength) || nameLength == 0 || nameLength > kArchiveMaxNameLength) {
        Log(LOG_SERIOUS, "CVFile::loadHeader invalid archive [fnlength]\n");
        return false;
    }
    name_.resize(nameLength);
    if (file.read(&name_[0], nameLength) != nameLength) {
        Log(LOG_SERIOUS, "CVFile::loadHeader invalid archive [feof]\n");
        return false;
    }
    uint32_t size = 0;
    if (!file.readU32(offset_) || !file.readU32(storedSize_) || !file.readU32(size) ||
        !file.readU32(checksum_)) {
        Log(LOG_SERIOUS, "CVFile::loadHeader invalid archive [feof2]\n");
        return false;
    }
    size_.store(size);
    key_ = nameKey(name_.data(), name_.size());
    valid_ = true;
    return true;
}

char* CVFile::loadFile(uint32_t* length) {
    if (length) *length = 0;
    return archive_ ? loadArchived(length) : loadFromDisk(length);
}

char* CVFile::loadFromDisk(uint32_t* length) {
    std::string path = *baseDirectory_ + name_;
    uint32_t size = osFileSize(path);
    if (size != size_.load()) {
        Log(LOG_WARNING, "CVFile::loadFile - file size has changed for '%s'\n", name_.c_str());
        size_.store(size);
    }
    char* content = osFileLoad(path, size);
    if (content && length) *length = size;
    return content;
}

char* CVFile::loadArchived(uint32_t* length) {
    const uint8_t* stored = nullptr;
    uint64_t available = 0;
    VFileBuffer fromDisk;
    if (archive_->bytes_) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(archive_->bytes_.get());
        if (offset_ < archive_->byteCount_) {
            stored = bytes + offset_;
            available = archive_->byteCount_ - offset_;
        }
    } else {
        FILE* file = std::fopen(archive_->path_.c_str(), "rb");
        if (!file) {
            Log(LOG_FATAL, "CVFile::loadFile couldn't open archive '%s'\n",
                archive_->path_.c_str());
            return nullptr;
        }
        uint64_t fileSize = 0;
        if (std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) > 0) fileSize = std::ftell(file);
        uint64_t want =
            fileSize > offset_ ? std::min<uint64_t>(fileSize - offset_, storedSize_) : 0;
        fromDisk.reset(static_cast<char*>(std::malloc(want + 1)));
        if (fromDisk && std::fseek(file, long(offset_), SEEK_SET) == 0)
            available = std::fread(fromDisk.get(), 1, want, file);
        std::fclose(file);
        stored = reinterpret_cast<const uint8_t*>(fromDisk.get());
    }
    uint32_t got = static_cast<uint32_t>(std::min<uint64_t>(available, storedSize_));
    if (got < storedSize_) {
        // Missing bytes are never made up: such an entry cannot pass its check.
        Log(LOG_WARNING, "CVFile::loadFile archive not long enough (expected %d bytes, got %d)\n",
            static_cast<int>(storedSize_), static_cast<int>(got));
        Log(LOG_SERIOUS, "CVFile::loadFile CRC check fail\n");
        return nullptr;
    }
    return decode(stored, length);
}

char* CVFile::decode(const uint8_t* stored, uint32_t* length) {
    uint32_t contentSize = 0, sum = 0;
    char* content = nullptr;
    if (flags_ & kArchiveFlagCompressed) {
        content = inflateStored(stored, &contentSize, &sum);
        if (!content) {
            Log(LOG_SERIOUS, "CVFile::loadFile CRC check fail\n");
            return nullptr;
        }
    } else {
        content = static_cast<char*>(std::malloc(size_t(storedSize_) + 1));
        if (!content) {
            Log(LOG_SERIOUS, "CVFile::loadFile out of memory for '%s'\n", name_.c_str());
            return nullptr;
        }
        uint8_t key = key_;
        for (uint32_t done = 0; done < storedSize_;) {
            uint32_t count = std::min(kPieceSize, storedSize_ - done);
            descramble(stored + done, reinterpret_cast<uint8_t*>(content + done), count, key);
            sum = checksumMore(sum, content + done, count);
            done += count;
        }
        content[storedSize_] = 0;
        if (size() != storedSize_) {
            Log(LOG_SERIOUS,
                "CVFile::loadFile archived size doesn't match for uncompressed file %s - %d v %d\n",
                name_.c_str(), static_cast<int>(size()), static_cast<int>(storedSize_));
            size_.store(storedSize_);
        }
        contentSize = storedSize_;
    }
    if (sum != checksum_) {
        Log(LOG_SERIOUS, "CVFile::loadFile CRC check fail\n");
        vfileFree(content);
        return nullptr;
    }
    if (length) *length = contentSize;
    return content;
}

// Descrambles a piece at a time into a small buffer that feeds one inflate
// stream; each piece of output is checksummed while it is still in cache.
char* CVFile::inflateStored(const uint8_t* stored, uint32_t* length, uint32_t* checksum) {
    uint32_t size = this->size();
    if (size > largestInflatedSize(storedSize_)) {
        Log(LOG_SERIOUS, "CVFile::loadFile compressed file size mismatch\n");
        return nullptr;
    }
    VFileBuffer content(static_cast<char*>(std::malloc(size_t(size) + 1)));
    if (!content) {
        Log(LOG_SERIOUS, "CVFile::loadFile out of memory for '%s'\n", name_.c_str());
        return nullptr;
    }
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK) {
        Log(LOG_SERIOUS, "CVFile::loadFile compressor not inited\n");
        return nullptr;
    }
    stream.next_out = reinterpret_cast<Bytef*>(content.get());
    stream.avail_out = size;
    uint8_t piece[kPieceSize];
    uint8_t key = key_;
    uint32_t sum = 0;
    int result = Z_OK;
    for (uint32_t done = 0; done < storedSize_ && result == Z_OK;) {
        uint32_t count = std::min(kPieceSize, storedSize_ - done);
        descramble(stored + done, piece, count, key);
        done += count;
        stream.next_in = piece;
        stream.avail_in = count;
        uLong before = stream.total_out;
        result = inflate(&stream, Z_NO_FLUSH);
        sum = checksumMore(sum, content.get() + before, stream.total_out - before);
        // Unused input with the output full means the stream holds more than `size`.
        if (result == Z_OK && stream.avail_in != 0) result = Z_BUF_ERROR;
    }
    bool complete = result == Z_STREAM_END && stream.total_out == size;
    if (inflateEnd(&stream) != Z_OK) Log(LOG_SERIOUS, "CVFile::loadFile inflateEnd failed\n");
    if (!complete) {
        Log(LOG_SERIOUS, "CVFile::loadFile compressed file size mismatch\n");
        return nullptr;
    }
    content.get()[size] = 0;
    *length = size;
    *checksum = sum;
    return content.release();
}
