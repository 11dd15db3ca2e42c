// Disk file functions: see osFile.h.
#include "vfs/osFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/log.h"

namespace {

// stdio happily opens directories on Linux; the rest of the system expects
// that only files open, so a directory counts as "cannot open".
FILE* openFile(const std::string& path, const char* mode) {
    FILE* file = std::fopen(path.c_str(), mode);
    if (!file) return nullptr;
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

char* osFileLoad(const std::string& path, uint32_t length, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    FILE* file = openFile(path, "rb");
    if (!file) {
        Log(LOG_WARNING, "osFileLoad: Unable to open file! '%s'\n", path.c_str());
        return nullptr;
    }
    char* buffer = static_cast<char*>(std::malloc(size_t(length) + 1));
    if (!buffer) {
        std::fclose(file);
        Log(LOG_WARNING, "osFileLoad: Unable to allocate %u bytes for '%s'\n", length,
            path.c_str());
        return nullptr;
    }
    size_t got = std::fread(buffer, 1, length, file);
    std::fclose(file);
    if (got < length)
        Log(LOG_WARNING, "osFileLoad: Unable to read entire file! %d vs. %d in '%s'\n",
            static_cast<int>(got), static_cast<int>(length), path.c_str());
    std::memset(buffer + got, 0, size_t(length) + 1 - got);
    if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
    return buffer;
}

uint32_t osFileSize(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        Log(LOG_WARNING, "Cannot stat file! '%s'\n", path.c_str());
        return 0;
    }
    if (status.st_size > static_cast<off_t>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<uint32_t>(status.st_size);
}

bool osFileExists(const std::string& path) {
    FILE* file = openFile(path, "r");
    if (!file) return false;
    std::fclose(file);
    return true;
}

std::vector<std::string> osListDir(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool osIsAbsolutePath(const std::string& path) {
    if (path.find(":/") == 1 || path.find(":\\") == 1) return true;
    return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

bool osFileWriteSynced(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            break;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    bool ok = left == 0 && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}
