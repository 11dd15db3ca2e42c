// Opening an archive and reading its entry table.
#include "vfs/archive.h"

#include <cstring>

#include "app/log.h"

CVFileArchive::CVFileArchive(const std::string& path) : path_(path) {
    Log(LOG_INFO, "Loading archive '%s'\n", path.c_str());
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        Log(LOG_SERIOUS, "CVFileArchive couldn't open archive '%s'\n", path.c_str());
        return;
    }
    FileArchiveSource source(file);
    readTable(source);
    std::fclose(file);
}

CVFileArchive::CVFileArchive(const std::string& path, const void* bytes, size_t size)
    : path_(path) {
    Log(LOG_INFO, "Loading archive '%s'\n", path.c_str());
    bytes_.reset(static_cast<char*>(std::malloc(size + 1)));
    if (!bytes_) return;
    if (size) std::memcpy(bytes_.get(), bytes, size);
    byteCount_ = size;
    MemoryArchiveSource source(bytes_.get(), size);
    readTable(source);
}

void CVFileArchive::readTable(ArchiveSource& source) {
    const char* path = path_.c_str();
    uint32_t magic = 0, version = 0;
    bool magicRead = source.readU32(magic);
    bool versionRead = source.readU32(version);
    if (!magicRead || !versionRead) magic = kArchiveShortMagic;
    if (magic != kArchiveMagic) {
        Log(LOG_SERIOUS, "CVFileArchive invalid archive '%s' [magic] 0x%08X vs 0x%08X\n", path,
            magic, kArchiveMagic);
        return;
    }
    if (version != kArchiveVersion) {
        Log(LOG_SERIOUS, "CVFileArchive wrong version of archive '%s'\n", path);
        return;
    }
    uint32_t count = 0;
    if (!source.readU32(count)) count = 0;
    if (count == 0 || count > kArchiveMaxFiles) {
        Log(LOG_SERIOUS, "CVFileArchive invalid archive '%s' [filecount] %08X\n", path, count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (source.atEnd()) {
            Log(LOG_SERIOUS, "CVFileArchive invalid archive '%s' [feof]\n", path);
            files_.clear();
            return;
        }
        CVFile entry(this);
        if (entry.loadHeader(source)) files_.push_back(entry);
    }
    loaded_ = true;
}

CVFile* CVFileArchive::findEntry(const std::string& name) {
    for (CVFile& entry : files_)
        if (entry.name() == name) return &entry;
    return nullptr;
}

bool CVFileArchive::loadBytes() {
    uint32_t size = osFileSize(path_);
    bytes_.reset();
    byteCount_ = 0;
    uint32_t got = 0;
    char* bytes = osFileLoad(path_, size, &got);
    if (!bytes) return false;
    bytes_.reset(bytes);
    byteCount_ = got;
    return true;
}
