// The one virtual file system: built-in images, mounted archives and loose
// disk files registered by name, served under virtual paths such as
// "scenes/a.xml".
//
// Precedence: built-in images, then archives from the newest to the oldest
// (first matching entry in table order), then registered disk files in
// registration order. Names are compared byte for byte; nothing is normalised.
//
// Threads: every change (archives added, removed or reloaded, disk files
// registered) happens on the main thread; vfileLoad and vfileSize may also be
// called from the texture loader thread. The archive list and the disk file
// list are guarded by a reader-writer lock: loads hold it shared for the whole
// lookup and decode, changes hold it exclusively. Records returned by findFile
// and findArchive are valid only until the next change. Messages about a load
// are logged with the lock held, so a log observer must not change the file
// system.
//
// Buffers returned by vfileLoad are malloc'd and belong to the caller, who
// releases them with free() or vfileFree().
#pragma once

#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "vfs/archive.h"
#include "vfs/osFile.h"

class CVFileSystem {
public:
    // Makes the file system on `baseDirectory` (must end with '/') and mounts
    // every "*.vortapack" file found in it, in name order. A second creation or
    // a bad base directory is a failed assertion (fatal).
    static void create(const std::string& baseDirectory);
    // Deletes it; destroying when none exists is a failed assertion (fatal).
    static void destroy();
    // The file system; fatal "CVFileSystem not initialised" when there is none.
    static CVFileSystem& get();
    // The file system or null, without complaint.
    static CVFileSystem* instance();

    const std::string& baseDirectory() const { return baseDirectory_; }

    // Mounts the archive at `path` (a full path, its identity), newest last.
    // Already mounted: warning, nothing changes. Invalid: not mounted.
    void addArchive(const std::string& path);
    // Unmounts the first archive with exactly this path; the file is untouched.
    void removeArchive(const std::string& path);
    // Unmounts every archive and mounts the same paths again in the same order
    // (those that no longer open are dropped). Loads on other threads see the
    // old list until the new one is complete.
    void reloadArchives();
    CVFileArchive* findArchive(const std::string& path);
    // Appends the names of `archive`'s entries (table order) that end with
    // `suffix` and lie directly in `directory`.
    void listArchiveFiles(const CVFileArchive* archive, const std::string& directory,
                          const std::string& suffix, std::vector<std::string>& result);
    // Paths of all archives, oldest first.
    std::vector<std::string> archivePaths();

    // Registers the disk file baseDirectory + name under `name`, replacing
    // earlier registrations of that name. Absolute names are not registered.
    void addFile(const std::string& name);

    // The record that serves `name` (built-ins excluded), or null.
    CVFile* findFile(const std::string& name);
    // Names lying directly in `directory`: disk files first, then archives
    // oldest first, each in its own order; duplicates are kept.
    std::vector<std::string> listFiles(const std::string& directory);

    // The bodies of vfileLoad and vfileSize for names that are not built in.
    char* loadFile(const std::string& name, uint32_t* length);
    uint32_t fileSize(const std::string& name);

private:
    explicit CVFileSystem(const std::string& baseDirectory) : baseDirectory_(baseDirectory) {}
    CVFile* findFileLocked(const std::string& name);
    bool hasArchiveLocked(const std::string& path) const;

    std::string baseDirectory_;
    std::shared_mutex mutex_;
    std::vector<std::unique_ptr<CVFileArchive>> archives_;
    std::vector<CVFile> diskFiles_;
};

// True when `name` lies directly in `directory`: it starts with `directory`
// and has no '/' after it.
bool vfileInDirectory(const std::string& name, const std::string& directory);

// The content of virtual file `name` followed by one 0 byte, and its length in
// `*length` (when given; 0 on failure). Not found or unreadable: null.
char* vfileLoad(const std::string& name, uint32_t* length = nullptr);
// The content length of `name`, or 0 (with a message) when it is not found.
uint32_t vfileSize(const std::string& name);
