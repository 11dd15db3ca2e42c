// Arbitrary bytes as the content server's update list, read by the updater's
// scan against a base directory of a few archives. Nothing is mounted or
// deleted: the host records what the updater asks for, and the target stops
// at the first request that could reach outside the base directory or touch
// anything but an archive.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "update/updater.h"

namespace {

// Longer lists only repeat what shorter ones reach, more slowly.
constexpr size_t kMaxInput = 16384;

bool archiveName(const std::string& name) {
    return updaterPlainFileName(name) && name.size() >= 10 &&
           name.compare(name.size() - 10, 10, ".vortapack") == 0;
}

class RecordingHost : public UpdaterHost {
public:
    RecordingHost() {
        // In memory when /dev/shm is there: the scan reads the archives for
        // their checksums on every input.
        std::filesystem::path temp = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (temp / "updatelist-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) abort();
        base_ = pattern + "/";
        write("intact.vortapack", "QRX5 intact archive bytes");
        write("old1.vortapack", "QRX5 old one");
        write("old22.vortapack", "QRX5 old two, longer");
        write("bold.vortapack", "QRX5 bold");
        write("notes.txt", "not an archive");
    }
    ~RecordingHost() override {
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

    SettingsAccess* settings() override { return &settings_; }
    std::string evalString(const std::string&) override { return "fuzz"; }
    bool runCode(const std::string& code) override { return !code.empty(); }
    std::string getGlobalString(const std::string&, const std::string& fallback) override {
        return fallback;
    }
    std::string sceneStatsXml() override { return ""; }
    std::string messagesXml() override { return "<Messages></Messages>"; }
    void clearMessages() override {}
    void clearSceneStats() override {}
    UpdaterHardware hardware() override { return {}; }
    std::string baseDirectory() override { return base_; }
    bool archiveMounted(const std::string&) override { return false; }
    bool mountArchive(const std::string& path) override { return check(path); }
    void unmountArchive(const std::string& path) override { check(path); }
    void queueArchiveScenes(const std::string& path) override { check(path); }
    void retireArchive(const std::string& name) override {
        if (!archiveName(name) || !std::filesystem::exists(base_ + name)) abort();
    }
    void showOnScreen(const char* text) override {
        if (!text) abort();
    }

private:
    void write(const std::string& name, const std::string& content) {
        std::ofstream(base_ + name, std::ios::binary) << content;
    }
    bool check(const std::string& path) {
        if (path.compare(0, base_.size(), base_) != 0 || !archiveName(path.substr(base_.size())))
            abort();
        return false;
    }

    std::string base_;
    MemorySettings settings_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (logSetEnabled(false), true);
    (void)quiet;
    static RecordingHost host;
    if (size > kMaxInput) return 0;
    CUpdater updater(host);
    updater.scanList(std::string(reinterpret_cast<const char*>(data), size));
    for (const CUpdaterEntry& entry : updater.downloads())
        if (!archiveName(entry.file) || entry.url.empty() || entry.owner != &host) abort();
    for (const std::string& name : updater.deletions())
        if (!archiveName(name)) abort();
    return 0;
}
