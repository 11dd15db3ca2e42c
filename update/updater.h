// CUpdater: keeps the archives in the base directory in line with the content
// server. A cycle reports what is installed (archives, hardware, play
// statistics, recent warnings), reads the update list that comes back,
// downloads new or damaged archives, mounts them and queues their scenes while
// the visualiser keeps playing, and retires archives that were replaced or
// withdrawn. It is a state machine that advances one state per frame and
// drives one non-blocking CHttp, so no step blocks the frame beyond a host
// name lookup.
//
// Nothing the server sends may damage what is installed or reach outside the
// base directory: package and deletion names must be plain archive file
// names, a download lands in a temporary file that replaces the archive only
// after its size and checksum passed, and every body has a size limit.
//
// The updater knows its owner only through UpdaterHost, so that it is tested
// (and fuzzed) without a visualiser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "update/http.h"

class SettingsAccess;
class TiXmlElement;

// The OpenGL driver strings reported to the server (empty without a context).
struct UpdaterHardware {
    std::string vendor, renderer, version, extensions;
};

// What the updater needs of the program that owns it. Archive paths are full
// paths (base directory + file name); retireArchive takes the file name.
class UpdaterHost {
public:
    virtual ~UpdaterHost() = default;

    virtual SettingsAccess* settings() = 0;
    // The control script's engine: a script error is logged there and gives
    // the empty text or false.
    virtual std::string evalString(const std::string& code) = 0;
    virtual bool runCode(const std::string& code) = 0;
    virtual std::string getGlobalString(const std::string& name,
                                        const std::string& defaultValue) = 0;
    // The settings store's reports and their resets.
    virtual std::string sceneStatsXml() = 0;
    virtual std::string messagesXml() = 0;
    virtual void clearMessages() = 0;
    virtual void clearSceneStats() = 0;
    virtual UpdaterHardware hardware() = 0;
    // Ends with '/'.
    virtual std::string baseDirectory() = 0;

    virtual bool archiveMounted(const std::string& path) = 0;
    // True when the archive is mounted afterwards.
    virtual bool mountArchive(const std::string& path) = 0;
    virtual void unmountArchive(const std::string& path) = 0;
    // Queues the scene lists (scenes/*.xml) of a mounted archive for loading.
    virtual void queueArchiveScenes(const std::string& path) = 0;
    // Takes the archive's scenes out and deletes it now when it is mounted,
    // else at shutdown.
    virtual void retireArchive(const std::string& name) = 0;
    virtual void showOnScreen(const char* text) = 0;
};

// One package of the update list.
struct CUpdaterEntry {
    UpdaterHost* owner = nullptr;
    std::string file;      // archive file name in the base directory
    std::string url;       // "http://" download address
    std::string replaces;  // archive name or "prefix*suffix" pattern it supersedes
    uint32_t crc = 0;      // crc (seed 0) of the whole file, when hasCrc
    bool hasCrc = false;
    uint32_t size = 0;  // 0: any size
    bool downloaded = false;
};

class CUpdater {
public:
    enum State {
        UPDATER_START = 0,
        UPDATER_WAIT_LIST = 1,
        UPDATER_SCAN = 2,
        UPDATER_GET_FILE = 3,
        UPDATER_GET_FILE_WAIT = 4,
        UPDATER_INSTALL = 5,
        UPDATER_IDLE = 6,
    };

    static constexpr const char* kVersion = "1.67";
    static constexpr const char* kOperatingSystem = "LINUX";
    static constexpr const char* kProductName = "Vortalis";
    // The most an update list and an archive may be; larger bodies fail.
    static constexpr size_t kListLimit = size_t(16) << 20;
    static constexpr size_t kArchiveLimit = size_t(1) << 30;
    // Deeper update lists are refused unparsed: the XML parser recurses once
    // per level, and a list needs four.
    static constexpr int kMaxListDepth = 64;

    // Idle; `owner` must outlive the updater.
    explicit CUpdater(UpdaterHost& owner);
    CUpdater(const CUpdater&) = delete;
    CUpdater& operator=(const CUpdater&) = delete;

    // Starts a cycle when idle and a content server is configured (setting
    // updater.host, "host" or "host:port"); without one it stays idle and
    // says so once. A cycle in progress is not disturbed.
    void restart();
    // Once per frame: the client's poll, then one state's work.
    void step();

    State state() const { return state_; }
    // The report sent to the server (also what the start of a cycle posts).
    std::string buildRequest();
    // Reads an update list: downloads to make, deletions to queue, replaced
    // archives retired, the software notice, script and messages. What the
    // scan state does with the client's body.
    void scanList(const std::string& list);

    const std::vector<CUpdaterEntry>& downloads() const { return downloads_; }
    const std::vector<std::string>& deletions() const { return deletions_; }
    CHttp& http() { return http_; }

private:
    void start();
    void scan();
    void getFile();
    void getFileWait();
    void install();

    void readPackage(const TiXmlElement& package);
    void readOldPackage(const TiXmlElement& oldPackage);
    void readSoftware(const TiXmlElement& software);
    // Queues a download unless the archive is installed intact.
    void checkInstalled(const CUpdaterEntry& entry);
    // Retires every other archive that the entry's replaces names.
    void applyReplaces(const CUpdaterEntry& entry);
    // The size and checksum checks on the finished body.
    bool downloadPasses(const CUpdaterEntry& entry);
    // Writes the body beside the archive and renames it into place.
    bool installDownload(const CUpdaterEntry& entry);
    CUpdaterEntry* nextDownload();

    UpdaterHost& owner_;
    CHttp http_;
    State state_ = UPDATER_IDLE;
    std::vector<CUpdaterEntry> downloads_;
    std::vector<std::string> deletions_;
    std::string server_;  // the content server of the running cycle
    size_t downloadLimit_ = 0;
    bool reportedNoServer_ = false;
};

// True for a name that may only mean a file directly in the base directory:
// not empty, no '/' or '\', no "..", not "." and not absolute.
bool updaterPlainFileName(const std::string& name);
// The replaces rule: with a '*', `name` starts with the text before the
// first '*' and ends with the text after it (the two not overlapping);
// without one, `name` equals `pattern`. Case-sensitive.
bool updaterNameMatches(const std::string& pattern, const std::string& name);
// Version order: every 'v' reads as '.', the rest as a decimal number.
bool updaterVersionOlder(const std::string& older, const std::string& newer);
