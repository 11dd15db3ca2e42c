// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, ending in '/'.
    const std::string& path() const { return path_; }
    // Writes `content` to path() + name, creating parent directories.
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;

private:
    std::string path_;
};
