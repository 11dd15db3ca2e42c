// Loading every entry of a mounted archive, against plain zlib inflate of the
// same compressed streams in the same run.
//
// A few hundred entries of about 50 MB in all, half text-like (compressible)
// and half noise (stored by deflate), are packed into a temporary archive,
// mounted through CVFileSystem and loaded with vfileLoad. The peer inflates
// the identical zlib streams into freshly allocated buffers. The ratio of the
// two times is the cost of everything the file system adds on top of inflate
// (lookup, descrambling, checksum, allocation).
#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/random.h"
#include "vfs/archiveWriter.h"
#include "vfs/fileSystem.h"

namespace {

constexpr int kLevel = 6;
constexpr int kRounds = 7;

struct Entry {
    std::string name;
    std::string content;
    std::string stream;  // zlib stream of the content, as the writer makes it
};

std::string textLike(size_t size) {
    static const char* const words[] = {"scene ",   "beat ",   "fade ", "<Scene id=\"", "\"/>\n",
                                        "texture ", "shader ", "0.5 ",  "vec3(",        "); "};
    std::string out;
    while (out.size() < size) {
        out += words[visRand() % 10];
        if (visRand() % 4 == 0) out += std::to_string(visRand());
    }
    out.resize(size);
    return out;
}

std::string noise(size_t size) {
    std::string out(size, '\0');
    for (char& c : out)
        c = char(visRand() >> 4);
    return out;
}

std::vector<Entry> makeEntries() {
    visSeedRandom(1234);
    std::vector<Entry> entries;
    size_t total = 0;
    for (int i = 0; total < 50u * 1024 * 1024; ++i) {
        size_t size = 20000 + size_t(visRand()) * 9;  // about 20 KB to 315 KB
        Entry entry;
        entry.name = (i % 2 ? "tex/noise" : "scenes/text") + std::to_string(i) + ".bin";
        entry.content = i % 2 ? noise(size) : textLike(size);
        uLongf packed = compressBound(size);
        entry.stream.resize(packed);
        compress2(reinterpret_cast<Bytef*>(&entry.stream[0]), &packed,
                  reinterpret_cast<const Bytef*>(entry.content.data()), size, kLevel);
        entry.stream.resize(packed);
        total += size;
        entries.push_back(std::move(entry));
    }
    return entries;
}

template <typename F>
double seconds(F pass) {
    auto start = std::chrono::steady_clock::now();
    pass();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    char pattern[] = "/tmp/vortalis-vfs-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string dir = std::string(pattern) + "/";
    std::string archivePath = dir + "bench.vortapack";

    std::vector<Entry> entries = makeEntries();
    size_t contentBytes = 0, streamBytes = 0;
    CArchiveWriter writer;
    writer.setCompressionLevel(kLevel);
    for (const Entry& entry : entries) {
        writer.add(entry.name, entry.content.data(), entry.content.size(), true);
        contentBytes += entry.content.size();
        streamBytes += entry.stream.size();
    }
    if (!writer.writeFile(archivePath)) {
        std::fprintf(stderr, "cannot write %s: %s\n", archivePath.c_str(), writer.error().c_str());
        return 1;
    }

    auto mountStart = std::chrono::steady_clock::now();
    CVFileSystem::create(dir);
    std::chrono::duration<double> mount = std::chrono::steady_clock::now() - mountStart;

    size_t failures = 0;
    auto loadAll = [&] {
        for (const Entry& entry : entries) {
            uint32_t length = 0;
            char* content = vfileLoad(entry.name, &length);
            if (!content || length != entry.content.size()) ++failures;
            vfileFree(content);
        }
    };
    auto inflateAll = [&] {
        for (const Entry& entry : entries) {
            size_t length = entry.content.size();
            char* out = static_cast<char*>(std::malloc(length + 1));
            z_stream stream;
            std::memset(&stream, 0, sizeof stream);
            inflateInit(&stream);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(entry.stream.data()));
            stream.avail_in = uInt(entry.stream.size());
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = uInt(length);
            if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.total_out != length)
                ++failures;
            inflateEnd(&stream);
            out[length] = 0;
            std::free(out);
        }
    };
    // Rounds alternate so that both sides meet the same machine load; the best
    // round of each counts.
    double vfs = 1e9, inflateOnly = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        vfs = std::min(vfs, seconds(loadAll));
        inflateOnly = std::min(inflateOnly, seconds(inflateAll));
    }
    CVFileSystem::destroy();
    std::remove(archivePath.c_str());
    std::remove(pattern);

    double mb = contentBytes / 1e6;
    std::printf("archive: %zu entries, %.1f MB content, %.1f MB stored, mounted in %.1f ms\n",
                entries.size(), mb, streamBytes / 1e6, mount.count() * 1e3);
    std::printf("vfileLoad of every entry: %8.1f ms  %8.1f MB/s\n", vfs * 1e3, mb / vfs);
    std::printf("zlib inflate (peer):      %8.1f ms  %8.1f MB/s\n", inflateOnly * 1e3,
                mb / inflateOnly);
    std::printf("ratio vfileLoad / inflate: %.2f\n", vfs / inflateOnly);
    if (failures) std::printf("FAILED loads: %zu\n", failures);
    return failures ? 1 : 0;
}
