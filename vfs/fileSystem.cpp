// The virtual file system: see fileSystem.h.
#include "vfs/fileSystem.h"

#include <cstring>
#include <mutex>

#include "app/log.h"
#include "vfs/builtinFiles.h"

namespace {

const char* const kArchiveSuffix = ".vortapack";

CVFileSystem* theFileSystem = nullptr;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool vfileInDirectory(const std::string& name, const std::string& directory) {
    return name.compare(0, directory.size(), directory) == 0 &&
           name.find('/', directory.size()) == std::string::npos;
}

void CVFileSystem::create(const std::string& baseDirectory) {
    VIS_ASSERT(theFileSystem == nullptr);
    VIS_ASSERT(!baseDirectory.empty() && baseDirectory.back() == '/');
    theFileSystem = new CVFileSystem(baseDirectory);
    for (const std::string& name : osListDir(baseDirectory))
        if (endsWith(name, kArchiveSuffix)) theFileSystem->addArchive(baseDirectory + name);
}

void CVFileSystem::destroy() {
    VIS_ASSERT(theFileSystem != nullptr);
    delete theFileSystem;
    theFileSystem = nullptr;
}

CVFileSystem& CVFileSystem::get() {
    if (!theFileSystem) Log(LOG_FATAL, "CVFileSystem not initialised\n");
    return *theFileSystem;
}

CVFileSystem* CVFileSystem::instance() {
    return theFileSystem;
}

bool CVFileSystem::hasArchiveLocked(const std::string& path) const {
    for (const auto& archive : archives_)
        if (archive->path() == path) return true;
    return false;
}

namespace {

// Opens an archive and reads its bytes into memory; null when it is not valid.
std::unique_ptr<CVFileArchive> openArchive(const std::string& path) {
    auto archive = std::make_unique<CVFileArchive>(path);
    if (!archive->loaded()) return nullptr;
    archive->loadBytes();
    return archive;
}

}  // namespace

void CVFileSystem::addArchive(const std::string& path) {
    {
        std::shared_lock<std::shared_mutex> lock(mutex_);
        if (hasArchiveLocked(path)) {
            Log(LOG_WARNING, "Archive %s has already been added!\n", path.c_str());
            return;
        }
    }
    // Reading happens outside the lock so that loads on other threads go on.
    auto archive = openArchive(path);
    if (!archive) return;
    std::unique_lock<std::shared_mutex> lock(mutex_);
    if (!hasArchiveLocked(path)) archives_.push_back(std::move(archive));
}

void CVFileSystem::removeArchive(const std::string& path) {
    std::unique_ptr<CVFileArchive> removed;
    std::unique_lock<std::shared_mutex> lock(mutex_);
    for (auto it = archives_.begin(); it != archives_.end(); ++it) {
        if ((*it)->path() == path) {
            removed = std::move(*it);
            archives_.erase(it);
            return;
        }
    }
}

// The new list is assembled before it replaces the old one, so that a load
// on the loader thread never sees the archives missing in between.
void CVFileSystem::reloadArchives() {
    std::vector<std::string> paths = archivePaths();
    for (const std::string& path : paths)
        Log(LOG_INFO, "Removing archive %s\n", path.c_str());
    std::vector<std::unique_ptr<CVFileArchive>> reloaded;
    for (const std::string& path : paths) {
        Log(LOG_INFO, "Reloading archive %s\n", path.c_str());
        if (auto archive = openArchive(path)) reloaded.push_back(std::move(archive));
    }
    std::unique_lock<std::shared_mutex> lock(mutex_);
    archives_.swap(reloaded);
}

CVFileArchive* CVFileSystem::findArchive(const std::string& path) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    for (const auto& archive : archives_)
        if (archive->path() == path) return archive.get();
    return nullptr;
}

void CVFileSystem::listArchiveFiles(const CVFileArchive* archive, const std::string& directory,
                                    const std::string& suffix, std::vector<std::string>& result) {
    if (!archive) return;
    std::shared_lock<std::shared_mutex> lock(mutex_);
    for (const CVFile& entry : archive->files())
        if (endsWith(entry.name(), suffix) && vfileInDirectory(entry.name(), directory))
            result.push_back(entry.name());
}

std::vector<std::string> CVFileSystem::archivePaths() {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& archive : archives_)
        paths.push_back(archive->path());
    return paths;
}

void CVFileSystem::addFile(const std::string& name) {
    if (osIsAbsolutePath(name)) return;
    uint32_t size = osFileSize(baseDirectory_ + name);
    std::unique_lock<std::shared_mutex> lock(mutex_);
    for (auto it = diskFiles_.begin(); it != diskFiles_.end();)
        it = it->name() == name ? diskFiles_.erase(it) : it + 1;
    diskFiles_.emplace_back(&baseDirectory_, name, size);
}

CVFile* CVFileSystem::findFileLocked(const std::string& name) {
    for (auto archive = archives_.rbegin(); archive != archives_.rend(); ++archive)
        if (CVFile* entry = (*archive)->findEntry(name)) return entry;
    for (CVFile& file : diskFiles_)
        if (file.name() == name) return &file;
    return nullptr;
}

CVFile* CVFileSystem::findFile(const std::string& name) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    return findFileLocked(name);
}

std::vector<std::string> CVFileSystem::listFiles(const std::string& directory) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const CVFile& file : diskFiles_)
        if (vfileInDirectory(file.name(), directory)) names.push_back(file.name());
    for (const auto& archive : archives_)
        for (const CVFile& entry : archive->files())
            if (vfileInDirectory(entry.name(), directory)) names.push_back(entry.name());
    return names;
}

char* CVFileSystem::loadFile(const std::string& name, uint32_t* length) {
    if (length) *length = 0;
    std::shared_lock<std::shared_mutex> lock(mutex_);
    CVFile* file = findFileLocked(name);
    if (!file) {
        Log(LOG_SERIOUS, "vfileLoad: File '%s' not found\n", name.c_str());
        return nullptr;
    }
    return file->loadFile(length);
}

uint32_t CVFileSystem::fileSize(const std::string& name) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (const CVFile* file = findFileLocked(name)) return file->size();
    Log(LOG_SERIOUS, "vfileSize: File '%s' not found\n", name.c_str());
    return 0;
}

char* vfileLoad(const std::string& name, uint32_t* length) {
    if (length) *length = 0;
    if (const BuiltinFile* builtin = builtinFileFind(name)) {
        char* copy = static_cast<char*>(std::malloc(size_t(builtin->size) + 1));
        if (!copy) return nullptr;
        std::memcpy(copy, builtin->data, builtin->size);
        copy[builtin->size] = 0;
        if (length) *length = builtin->size;
        return copy;
    }
    return CVFileSystem::get().loadFile(name, length);
}

uint32_t vfileSize(const std::string& name) {
    if (const BuiltinFile* builtin = builtinFileFind(name)) return builtin->size;
    return CVFileSystem::get().fileSize(name);
}
