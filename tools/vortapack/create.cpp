// vortapack create: gathering files and writing them through CArchiveWriter.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "tools/vortapack/vortapack.h"
#include "vfs/archiveWriter.h"
#include "vfs/osFile.h"

namespace {

struct Source {
    std::string path;  // on disk
    dev_t device;
    ino_t inode;
};
using Sources = std::map<std::string, Source>;  // entry name -> file

bool fail(const std::string& message) {
    std::fprintf(stderr, "vortapack: %s\n", message.c_str());
    return false;
}

int failed(const std::string& message) {
    fail(message);
    return kExitFailure;
}

bool addSource(Sources& sources, const std::string& name, const std::string& path,
               const struct stat& status) {
    if (!sources.emplace(name, Source{path, status.st_dev, status.st_ino}).second)
        return fail("two inputs give the entry name '" + name + "'");
    return true;
}

// Walks `directory` (ending in '/'); `prefix` is the entry name of it. Each
// directory is entered once, so symbolic link loops end.
bool walk(Sources& sources, const std::string& directory, const std::string& prefix,
          std::set<std::pair<dev_t, ino_t>>& seen) {
    for (const std::string& child : osListDir(directory)) {
        if (child == "." || child == "..") continue;
        std::string path = directory + child;
        struct stat status;
        if (stat(path.c_str(), &status) != 0) return fail("cannot read '" + path + "'");
        if (S_ISDIR(status.st_mode)) {
            if (!seen.insert({status.st_dev, status.st_ino}).second) continue;
            if (!walk(sources, path + "/", prefix + child + "/", seen)) return false;
        } else if (S_ISREG(status.st_mode)) {
            if (!addSource(sources, prefix + child, path, status)) return false;
        }
    }
    return true;
}

bool gather(Sources& sources, const std::string& input) {
    struct stat status;
    if (stat(input.c_str(), &status) != 0) return fail("cannot find '" + input + "'");
    if (S_ISDIR(status.st_mode)) {
        std::set<std::pair<dev_t, ino_t>> seen{{status.st_dev, status.st_ino}};
        std::string directory = input.back() == '/' ? input : input + "/";
        return walk(sources, directory, "", seen);
    }
    std::string name = input.substr(input.find_last_of('/') + 1);
    return addSource(sources, name, input, status);
}

bool readWhole(const std::string& path, std::string& content) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    content.clear();
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

}  // namespace

int packCreate(const std::string& output, const std::vector<std::string>& inputs, bool store) {
    Sources sources;
    for (const std::string& input : inputs)
        if (!gather(sources, input)) return kExitFailure;
    // An earlier archive at the output path is never packed into the new one.
    struct stat existing;
    if (stat(output.c_str(), &existing) == 0)
        for (auto it = sources.begin(); it != sources.end();)
            it = it->second.device == existing.st_dev && it->second.inode == existing.st_ino
                     ? sources.erase(it)
                     : std::next(it);
    if (sources.empty()) return failed("nothing to pack");

    CArchiveWriter writer;
    std::string content;
    for (const auto& [name, source] : sources) {
        if (!readWhole(source.path, content)) return failed("cannot read '" + source.path + "'");
        if (!writer.add(name, content.data(), content.size(), !store))
            return failed(writer.error());
    }
    if (!writer.writeFile(output)) return failed(writer.error());
    return kExitOk;
}
