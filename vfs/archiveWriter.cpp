// Archive writing: see archiveWriter.h.
#include "vfs/archiveWriter.h"

#include <zlib.h>

#include <cstdio>

#include "vfs/archive.h"
#include "vfs/crc.h"
#include "vfs/scramble.h"

namespace {

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back((value >> shift) & 0xFF);
}

uint32_t checksumOf(const uint8_t* data, size_t size) {
    uint32_t h = 0;
    const size_t piece = size_t(1) << 30;  // crc takes an int length
    for (size_t done = 0; done < size; done += piece)
        h = crc(data + done, static_cast<int>(size - done < piece ? size - done : piece), h);
    return h;
}

}  // namespace

bool CArchiveWriter::fail(const std::string& reason) {
    error_ = reason;
    return false;
}

bool CArchiveWriter::add(const std::string& name, const void* data, size_t size, bool compress) {
    if (name.empty() || name.size() > kArchiveMaxNameLength)
        return fail("entry name must be 1 to 2047 bytes: '" + name + "'");
    if (entries_.size() >= kArchiveMaxFiles) return fail("an archive holds at most 65536 entries");
    if (size > UINT32_MAX) return fail("entry too large: '" + name + "'");
    const auto* bytes = static_cast<const uint8_t*>(data);
    Entry entry{name, 0, static_cast<uint32_t>(size), checksumOf(bytes, size), {}};
    std::vector<uint8_t> clear;
    if (compress) {
        uLongf packedSize = compressBound(size);
        clear.resize(packedSize);
        if (compress2(clear.data(), &packedSize, bytes, size, level_) != Z_OK)
            return fail("cannot compress '" + name + "'");
        clear.resize(packedSize);
        if (packedSize > UINT32_MAX) return fail("entry too large: '" + name + "'");
        entry.flags = kArchiveFlagCompressed;
        bytes = clear.data();
        size = packedSize;
    }
    entry.stored.resize(size);
    uint8_t key = nameKey(name.data(), name.size());
    scramble(bytes, entry.stored.data(), size, key);
    entries_.push_back(std::move(entry));
    return true;
}

bool CArchiveWriter::build(std::vector<uint8_t>& out) {
    if (entries_.empty()) return fail("an archive needs at least one entry");
    uint64_t offset = 12;
    for (const Entry& entry : entries_)
        offset += 24 + entry.name.size();
    uint64_t total = offset;
    for (const Entry& entry : entries_)
        total += entry.stored.size();
    if (total > UINT32_MAX) return fail("archive would exceed 4 GiB");
    out.clear();
    out.reserve(total);
    putU32(out, kArchiveMagic);
    putU32(out, kArchiveVersion);
    putU32(out, static_cast<uint32_t>(entries_.size()));
    for (const Entry& entry : entries_) {
        putU32(out, entry.flags);
        putU32(out, static_cast<uint32_t>(entry.name.size()));
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        putU32(out, static_cast<uint32_t>(offset));
        putU32(out, static_cast<uint32_t>(entry.stored.size()));
        putU32(out, entry.size);
        putU32(out, entry.checksum);
        offset += entry.stored.size();
    }
    for (const Entry& entry : entries_)
        out.insert(out.end(), entry.stored.begin(), entry.stored.end());
    return true;
}

bool CArchiveWriter::writeFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!build(bytes)) return false;
    std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return fail("cannot create '" + temporary + "'");
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return fail("cannot write '" + path + "'");
    }
    return true;
}
