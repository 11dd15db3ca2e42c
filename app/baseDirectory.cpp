#include "app/baseDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>

namespace {

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string normaliseDirectory(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

std::string userDataFolder(const BaseDirectoryInputs& inputs) {
    std::string folder;
    if (inputs.xdgDataHome && inputs.xdgDataHome[0])
        folder = inputs.xdgDataHome;
    else if (inputs.home && inputs.home[0])
        folder = std::string(inputs.home) + "/.local/share";
    if (folder.empty()) return folder;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return normaliseDirectory(folder);
}

std::string settleBaseDirectory(const BaseDirectoryInputs& inputs) {
    if (inputs.overrideDir && inputs.overrideDir[0]) return normaliseDirectory(inputs.overrideDir);
    std::string user = userDataFolder(inputs);
    if (!user.empty() && isDirectory(user + "VortalisScreensaver"))
        return normaliseDirectory(user + "VortalisScreensaver");
    if (startsWith(inputs.executablePath, normaliseDirectory(inputs.buildDir)))
        return normaliseDirectory(inputs.buildContentDir);
    return normaliseDirectory(inputs.installedDataDir);
}

BaseDirectoryInputs processBaseDirectoryInputs() {
    BaseDirectoryInputs inputs;
    inputs.overrideDir = std::getenv("VORTALIS_BASE_DIR");
    inputs.xdgDataHome = std::getenv("XDG_DATA_HOME");
    inputs.home = std::getenv("HOME");
    char exe[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) inputs.executablePath.assign(exe, static_cast<size_t>(length));
    inputs.buildDir = VORTALIS_BUILD_DIR;
    inputs.buildContentDir = VORTALIS_BUILD_CONTENT_DIR;
    inputs.installedDataDir = VORTALIS_INSTALL_DATA_DIR;
    return inputs;
}
