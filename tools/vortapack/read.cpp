// vortapack list, cat, extract and verify: reading through CVFileArchive and
// CVFile exactly as the visualiser does (whole archive in memory, every entry
// descrambled, inflated and checked on load).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>

#include "app/log.h"
#include "tools/vortapack/vortapack.h"
#include "vfs/archive.h"

namespace {

int problems = 0;

int failed(const std::string& message) {
    std::fprintf(stderr, "vortapack: %s\n", message.c_str());
    return kExitFailure;
}

// The archive as the file system mounts it, or null (the reason is logged).
std::unique_ptr<CVFileArchive> openArchive(const std::string& path) {
    auto archive = std::make_unique<CVFileArchive>(path);
    if (!archive->loaded()) return nullptr;
    archive->loadBytes();
    return archive;
}

std::vector<std::string> splitPath(const std::string& name) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1)
        parts.push_back(name.substr(start, slash - start));
    parts.push_back(name.substr(start));
    return parts;
}

// Names that could reach outside the target directory, or that are no file
// name at all, are refused.
bool safeName(const std::string& name) {
    if (name.empty() || osIsAbsolutePath(name) || name.find('\0') != std::string::npos)
        return false;
    std::vector<std::string> parts = splitPath(name);
    if (parts.back().empty() || parts.back() == ".") return false;
    for (const std::string& part : parts)
        if (part == "..") return false;
    return true;
}

// Creates the file below the directory `root` component by component, never
// following a symbolic link, so nothing is written outside `root`.
bool writeBelow(int root, const std::string& name, const char* data, size_t size) {
    std::vector<std::string> parts = splitPath(name);
    int dir = dup(root);
    for (size_t i = 0; i + 1 < parts.size() && dir >= 0; ++i) {
        if (parts[i].empty() || parts[i] == ".") continue;
        if (mkdirat(dir, parts[i].c_str(), 0755) != 0 && errno != EEXIST) {
            close(dir);
            return false;
        }
        int next = openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        close(dir);
        dir = next;
    }
    if (dir < 0) return false;
    int file = openat(dir, parts.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    close(dir);
    if (file < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        ssize_t wrote = write(file, data + done, size - done);
        ok = wrote > 0;
        if (ok) done += size_t(wrote);
    }
    return close(file) == 0 && ok;
}

bool makeDirectories(const std::string& path) {
    std::string sofar;
    for (const std::string& part : splitPath(path)) {
        sofar += part + "/";
        if (!part.empty() && mkdir(sofar.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

void packCountMessage(int level) {
    if (level == LOG_WARNING || level == LOG_FATAL || level == LOG_SERIOUS) ++problems;
}

int packProblemsLogged() {
    return problems;
}

int packList(const std::string& path) {
    auto archive = openArchive(path);
    if (!archive) return kExitFailure;
    for (const CVFile& entry : archive->files())
        std::printf("0x%08X %10u %10u 0x%08X %s\n", entry.flags(), entry.storedSize(), entry.size(),
                    entry.checksum(), entry.name().c_str());
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

int packCat(const std::string& path, const std::string& name) {
    auto archive = openArchive(path);
    if (!archive) return kExitFailure;
    CVFile* entry = archive->findEntry(name);
    if (!entry) return failed("no entry '" + name + "' in '" + path + "'");
    uint32_t length = 0;
    VFileBuffer content(entry->loadFile(&length));
    if (!content) return kExitFailure;
    bool written = std::fwrite(content.get(), 1, length, stdout) == length;
    return written && std::fflush(stdout) == 0 ? kExitOk : failed("cannot write to stdout");
}

int packExtract(const std::string& path, const std::string& directory) {
    auto archive = openArchive(path);
    if (!archive) return kExitFailure;
    bool safe = true;
    for (const CVFile& entry : archive->files()) {
        if (!safeName(entry.name())) {
            failed("refusing unsafe entry name '" + entry.name() + "'");
            safe = false;
        }
    }
    if (!safe) return failed("nothing extracted");
    if (!makeDirectories(directory)) return failed("cannot create '" + directory + "'");
    int root = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (root < 0) return failed("cannot open '" + directory + "'");
    int status = kExitOk;
    std::set<std::string> done;
    for (CVFile& entry : archive->files()) {
        // The file system serves the first of equal names; so does extraction.
        if (!done.insert(entry.name()).second) continue;
        uint32_t length = 0;
        VFileBuffer content(entry.loadFile(&length));
        if (!content) {
            status = failed("cannot load '" + entry.name() + "'");
        } else if (!writeBelow(root, entry.name(), content.get(), length)) {
            status = failed("cannot write '" + entry.name() + "' below '" + directory + "'");
        }
    }
    close(root);
    return status;
}

int packVerify(const std::string& path) {
    int before = packProblemsLogged();
    auto archive = openArchive(path);
    if (!archive) return kExitFailure;
    size_t bad = 0;
    for (CVFile& entry : archive->files()) {
        VFileBuffer content(entry.loadFile());
        if (!content) {
            std::fprintf(stderr, "vortapack: FAILED %s\n", entry.name().c_str());
            ++bad;
        }
    }
    std::printf("%zu entries, %zu failed\n", archive->files().size(), bad);
    // Damaged headers are dropped and size fields corrected with a message only.
    bool clean = packProblemsLogged() == before;
    if (bad == 0 && !clean) return failed("the archive has damaged headers or sizes");
    return bad == 0 ? kExitOk : kExitFailure;
}
