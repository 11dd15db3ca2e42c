// The update cycle, one state per frame. Archives only ever change by rename:
// a download is written to "<file>.part" beside its archive and moved over it
// once it passed its checks, with the archive unmounted around the move, so a
// download that breaks off or arrives damaged leaves the installed archive as
// it was.
#include "update/updater.h"

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "app/xmlEscape.h"
#include "app/xmlParse.h"
#include "vfs/crc.h"
#include "vfs/osFile.h"

namespace {

const char* const kArchiveSuffix = ".vortapack";
const char* const kPartSuffix = ".part";
const char* const kNoConnection = "Unable to connect to server...";

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The text of `parent`'s first child element `name`, or "".
std::string childText(const TiXmlElement& parent, const char* name) {
    const TiXmlElement* child = parent.FirstChildElement(name);
    const char* text = child ? child->GetText() : nullptr;
    return text ? text : "";
}

// "0x" hexadecimal, a leading 0 octal, else decimal; beyond 32 bits saturates.
uint32_t parseUnsigned(const std::string& text) {
    unsigned long long value = std::strtoull(text.c_str(), nullptr, 0);
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

// The deepest element nesting of `text`, counted the way the XML parser
// reads it, stopping early once past `limit`. Comments, CDATA, declarations
// and quoted attribute values are skipped so that their brackets do not count.
int nestingDepth(const std::string& text, int limit) {
    int depth = 0, deepest = 0;
    size_t at = 0;
    auto skipPast = [&](const char* end) {
        size_t found = text.find(end, at);
        at = found == std::string::npos ? text.size() : found + std::strlen(end);
    };
    while ((at = text.find('<', at)) != std::string::npos) {
        if (text.compare(at, 4, "<!--") == 0) {
            skipPast("-->");
        } else if (text.compare(at, 9, "<![CDATA[") == 0) {
            skipPast("]]>");
        } else if (text.compare(at, 2, "<!") == 0 || text.compare(at, 2, "<?") == 0) {
            skipPast(">");
        } else if (text.compare(at, 2, "</") == 0) {
            depth = std::max(depth - 1, 0);
            skipPast(">");
        } else {
            char quote = 0;
            size_t end = at + 1;
            for (; end < text.size(); ++end) {
                char c = text[end];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            bool empty = end < text.size() && text[end - 1] == '/';
            if (!empty && ++depth > deepest) deepest = depth;
            if (deepest > limit) return deepest;
            at = end;
        }
    }
    return deepest;
}

// crc (seed 0) of a whole file, read in pieces; false when it cannot be read.
bool fileCrc(const std::string& path, uint32_t* sum) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<char> buffer(1 << 16);
    uint32_t value = 0;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
        value = crc(buffer.data(), static_cast<int>(got), value);
    bool ok = !std::ferror(file);
    std::fclose(file);
    *sum = value;
    return ok;
}

}  // namespace

bool updaterPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
           !osIsAbsolutePath(name);
}

bool updaterNameMatches(const std::string& pattern, const std::string& name) {
    size_t star = pattern.find('*');
    if (star == std::string::npos) return name == pattern;
    std::string prefix = pattern.substr(0, star);
    std::string suffix = pattern.substr(star + 1);
    return name.size() >= prefix.size() + suffix.size() && name.compare(0, star, prefix) == 0 &&
           endsWith(name, suffix);
}

bool updaterVersionOlder(const std::string& older, const std::string& newer) {
    auto number = [](std::string version) {
        std::replace(version.begin(), version.end(), 'v', '.');
        return std::strtod(version.c_str(), nullptr);
    };
    return number(older) < number(newer);
}

CUpdater::CUpdater(UpdaterHost& owner) : owner_(owner), http_(logLevelFromPrefix) {}

void CUpdater::restart() {
    if (state_ != UPDATER_IDLE) {
        Log(LOG_WARNING, "CUpdater: Restart requested but not finished yet. Waiting...\n");
        return;
    }
    server_ = owner_.settings()->getString("updater.host", "");
    if (server_.empty()) {
        if (!reportedNoServer_)
            Log(LOG_INFO,
                "CUpdater: No content server configured (updater.host); updates are off\n");
        reportedNoServer_ = true;
        return;
    }
    state_ = UPDATER_START;
    Log(LOG_INFO, "CUpdater: Restarted.\n");
}

void CUpdater::step() {
    http_.poll();
    switch (state_) {
        case UPDATER_START:
            start();
            break;
        case UPDATER_WAIT_LIST:
            if (http_.isDone()) state_ = UPDATER_SCAN;
            break;
        case UPDATER_SCAN:
            scan();
            break;
        case UPDATER_GET_FILE:
            getFile();
            break;
        case UPDATER_GET_FILE_WAIT:
            getFileWait();
            break;
        case UPDATER_INSTALL:
            install();
            break;
        case UPDATER_IDLE:
            break;
    }
}

std::string CUpdater::buildRequest() {
    std::string text = "<xml>";
    text += std::string("<Version>") + kVersion + "</Version>";
    text += std::string("<OS>") + kOperatingSystem + "</OS>";
    text += "<JavaScript>" + xmlEscape(owner_.evalString("getUpdaterInfo()")) + "</JavaScript>";
    std::string device = owner_.getGlobalString("DEVICE_UID", "");
    if (!device.empty()) text += "<DeviceUID>" + device + "</DeviceUID>";
    UpdaterHardware hardware = owner_.hardware();
    text += "<Hardware>";
    text += "    <Vendor>" + xmlEscape(hardware.vendor) + "</Vendor>";
    text += "    <Renderer>" + xmlEscape(hardware.renderer) + "</Renderer>";
    text += "    <Version>" + xmlEscape(hardware.version) + "</Version>";
    text += "    <Extensions>" + xmlEscape(hardware.extensions) + "</Extensions>";
    text += "</Hardware>";
    text += "<VortaPacks>";
    std::string base = owner_.baseDirectory();
    for (const std::string& name : osListDir(base)) {
        if (!endsWith(name, kArchiveSuffix) || !osFileExists(base + name)) continue;
        text += "<VortaPack size=\"" + std::to_string(osFileSize(base + name)) + "\">" + name +
                "</VortaPack>";
    }
    text += "</VortaPacks>";
    text += owner_.sceneStatsXml();
    text += owner_.messagesXml();
    text += "</xml>";
    return text;
}

void CUpdater::start() {
    // At least a second: the client reads 0 as "never", and a cycle that
    // never ends would refuse every later restart.
    long long seconds = std::max(owner_.settings()->getInt("updater.http_timeout", 60), 1);
    http_.setTimeout(static_cast<int>(std::min<long long>(seconds * 1000, INT_MAX)));
    downloads_.clear();
    deletions_.clear();
    std::string request = buildRequest();
    owner_.clearMessages();
    const char* path =
        owner_.settings()->getInt("BETA", 0) != 0 ? "updatebeta/update.php" : "update/update.php";
    http_.setBodyLimit(kListLimit);
    http_.postUpload(server_, path, "", request);
    state_ = UPDATER_WAIT_LIST;
}

void CUpdater::scan() {
    std::string list;
    if (http_.bodyCapped())
        Log(LOG_WARNING, "CUpdater: Update list larger than %u bytes, ignored\n",
            static_cast<unsigned>(kListLimit));
    else
        list = http_.responseText();
    scanList(list);
    http_.setReady();
    state_ = UPDATER_GET_FILE;
}

void CUpdater::scanList(const std::string& list) {
    Log(LOG_INFO, "CUpdater: Scanning update list...\n");
    TiXmlDocument document;
    const TiXmlElement* xml = nullptr;
    if (nestingDepth(list, kMaxListDepth) > kMaxListDepth) {
        Log(LOG_INFO, "CUpdater: Update list nested deeper than %d levels\n", kMaxListDepth);
    } else {
        parseXmlText(document, list);
        if (document.Error() && !list.empty())
            Log(LOG_INFO, "CUpdater: Update list is not well-formed: %s\n", document.ErrorDesc());
        if (!document.Error()) xml = document.FirstChildElement("xml");
    }
    if (!xml) {
        Log(LOG_WARNING, "CUpdater: No <xml> tag found in update list\n");
        owner_.showOnScreen(kNoConnection);
    } else {
        if (const TiXmlElement* packages = xml->FirstChildElement("Packages"))
            for (const TiXmlElement* package = packages->FirstChildElement("Package"); package;
                 package = package->NextSiblingElement("Package"))
                readPackage(*package);
        if (const TiXmlElement* old = xml->FirstChildElement("OldPackages"))
            for (const TiXmlElement* package = old->FirstChildElement("OldPackage"); package;
                 package = package->NextSiblingElement("OldPackage"))
                readOldPackage(*package);
        if (const TiXmlElement* software = xml->FirstChildElement("Software"))
            readSoftware(*software);
        if (const TiXmlElement* messages = xml->FirstChildElement("Messages"))
            for (const TiXmlElement* message = messages->FirstChildElement("Message"); message;
                 message = message->NextSiblingElement("Message")) {
                const char* text = message->GetText();
                if (text && *text) owner_.showOnScreen(text);
            }
        owner_.clearSceneStats();
    }
    Log(LOG_INFO, "CUpdater: Scanning finished.\n");
}

void CUpdater::readPackage(const TiXmlElement& package) {
    CUpdaterEntry entry;
    entry.owner = &owner_;
    entry.url = childText(package, "Url");
    entry.file = childText(package, "File");
    Log(LOG_INFO, "Package %s\n", entry.file.c_str());
    bool rejected = true;
    if (!updaterPlainFileName(entry.file))
        Log(LOG_SERIOUS, "CUpdater: Package file '%s' is not a plain file name\n",
            entry.file.c_str());
    else if (!endsWith(entry.file, kArchiveSuffix))
        Log(LOG_SERIOUS, "Update file instructed us to download non-archive file '%s'\n",
            entry.file.c_str());
    else
        rejected = false;
    std::string version = childText(package, "Version");
    if (!version.empty() && updaterVersionOlder(kVersion, version)) {
        Log(LOG_INFO, "Version %s too high\n", version.c_str());
        rejected = true;
    }
    entry.replaces = childText(package, "Replaces");
    entry.size = parseUnsigned(childText(package, "Size"));
    std::string checksum = childText(package, "CRC");
    entry.hasCrc = !checksum.empty();
    entry.crc = parseUnsigned(checksum);
    if (rejected || entry.url.empty()) return;
    checkInstalled(entry);
}

void CUpdater::checkInstalled(const CUpdaterEntry& entry) {
    std::string path = owner_.baseDirectory() + entry.file;
    if (osFileExists(path)) {
        uint32_t size = osFileSize(path);
        uint32_t sum = 0;
        if (entry.size != 0 && size != entry.size) {
            Log(LOG_SERIOUS,
                "CUpdater: Package '%s' already exists but is the wrong size (%u vs %u)\n",
                entry.file.c_str(), size, entry.size);
        } else if (entry.hasCrc && (!fileCrc(path, &sum) || sum != entry.crc)) {
            Log(LOG_SERIOUS,
                "CUpdater: Package '%s' already exists but has the wrong CRC (0x%08X vs 0x%08X)\n",
                entry.file.c_str(), sum, entry.crc);
        } else {
            Log(LOG_INFO, "CUpdater: Package '%s' already exists\n", entry.file.c_str());
            applyReplaces(entry);
            return;
        }
    }
    Log(LOG_INFO, "CUpdater: Download Package: '%s' '%s'\n", entry.url.c_str(), entry.file.c_str());
    downloads_.push_back(entry);
}

void CUpdater::readOldPackage(const TiXmlElement& oldPackage) {
    std::string file = childText(oldPackage, "File");
    if (!updaterPlainFileName(file)) {
        Log(LOG_SERIOUS, "CUpdater: Old package file '%s' is not a plain file name\n",
            file.c_str());
    } else if (!endsWith(file, kArchiveSuffix)) {
        Log(LOG_SERIOUS, "CUpdater: Update file instructed us to delete non-vortapack file '%s'\n",
            file.c_str());
    } else if (osFileExists(owner_.baseDirectory() + file)) {
        deletions_.push_back(file);
    }
}

void CUpdater::readSoftware(const TiXmlElement& software) {
    std::string version = childText(software, "Version");
    if (!version.empty() && updaterVersionOlder(kVersion, version)) {
        std::string notice = "A new version (" + version + ") of " + kProductName +
                             " is available from " + server_ + "!";
        owner_.showOnScreen(notice.c_str());
    }
    std::string code = childText(software, "JavaScript");
    if (!code.empty()) owner_.runCode(code);
}

void CUpdater::applyReplaces(const CUpdaterEntry& entry) {
    if (entry.replaces.empty()) return;
    // Only archives: a pattern such as "*" must not reach settings.js or the log.
    for (const std::string& name : osListDir(owner_.baseDirectory())) {
        if (name == entry.file || !endsWith(name, kArchiveSuffix) || !updaterPlainFileName(name) ||
            !updaterNameMatches(entry.replaces, name))
            continue;
        Log(LOG_INFO, "Queueing %s for deletion\n", name.c_str());
        owner_.retireArchive(name);
    }
}

CUpdaterEntry* CUpdater::nextDownload() {
    for (CUpdaterEntry& entry : downloads_)
        if (!entry.downloaded) return &entry;
    return nullptr;
}

void CUpdater::getFile() {
    CUpdaterEntry* entry = nextDownload();
    if (!entry) {
        state_ = UPDATER_INSTALL;
        return;
    }
    Log(LOG_INFO, "CUpdater: UPDATER_GET_FILE %s\n", entry->url.c_str());
    downloadLimit_ =
        entry->size != 0 ? std::min<size_t>(entry->size, kArchiveLimit) : kArchiveLimit;
    http_.setBodyLimit(downloadLimit_);
    http_.requestUrl(entry->url, "", "");
    if (!http_.isBusy()) {
        // The client refused the address (not http://): there is nothing to
        // wait for.
        Log(LOG_SERIOUS, "CUpdater: Cannot download '%s' from '%s'\n", entry->file.c_str(),
            entry->url.c_str());
        downloads_.erase(downloads_.begin() + (entry - downloads_.data()));
        return;
    }
    state_ = UPDATER_GET_FILE_WAIT;
}

void CUpdater::getFileWait() {
    if (!http_.isDone()) return;
    CUpdaterEntry* entry = nextDownload();
    if (!entry) {
        Log(LOG_WARNING, "CUpdater: UPDATER_GET_FILE_WAIT no entry!!\n");
        return;
    }
    if (downloadPasses(*entry) && installDownload(*entry))
        entry->downloaded = true;
    else
        downloads_.erase(downloads_.begin() + (entry - downloads_.data()));
    http_.setReady();
    state_ = UPDATER_GET_FILE;
}

bool CUpdater::downloadPasses(const CUpdaterEntry& entry) {
    if (http_.bodyCapped()) {
        Log(LOG_SERIOUS, "CUpdater: Downloaded archive %s is larger than %u bytes\n",
            entry.file.c_str(), static_cast<unsigned>(downloadLimit_));
        return false;
    }
    uint32_t received = static_cast<uint32_t>(http_.responseSize());
    if (entry.size != 0 && received != entry.size) {
        Log(LOG_SERIOUS, "CUpdater: Downloaded archive %s isn't the right size (%u vs %u)\n",
            entry.file.c_str(), received, entry.size);
        return false;
    }
    uint32_t sum = entry.hasCrc ? http_.responseChecksum() : 0;
    if (entry.hasCrc && sum != entry.crc) {
        Log(LOG_SERIOUS,
            "CUpdater: Downloaded archive %s doesn't have correct CRC (0x%08X vs 0x%08X)\n",
            entry.file.c_str(), sum, entry.crc);
        return false;
    }
    return true;
}

bool CUpdater::installDownload(const CUpdaterEntry& entry) {
    std::string path = owner_.baseDirectory() + entry.file;
    std::string part = path + kPartSuffix;
    if (!http_.saveResponse(part)) {
        std::remove(part.c_str());
        return false;
    }
    // The mounted archive must never change under the file system's feet.
    bool mounted = owner_.archiveMounted(path);
    if (mounted) owner_.unmountArchive(path);
    bool moved = std::rename(part.c_str(), path.c_str()) == 0;
    if (!moved) {
        Log(LOG_SERIOUS, "CUpdater: Cannot replace '%s': %s\n", path.c_str(), std::strerror(errno));
        std::remove(part.c_str());
    }
    if (mounted) owner_.mountArchive(path);
    return moved;
}

void CUpdater::install() {
    std::string base = owner_.baseDirectory();
    for (const CUpdaterEntry& entry : downloads_) {
        if (!entry.downloaded)
            Log(LOG_WARNING,
                "CUpdater: All CUpdaterEntrys should now be downloaded - but %s isn't\n",
                entry.file.c_str());
        if (!endsWith(entry.file, kArchiveSuffix)) continue;
        std::string path = base + entry.file;
        owner_.unmountArchive(path);
        owner_.mountArchive(path);
        if (owner_.archiveMounted(path)) {
            applyReplaces(entry);
            owner_.queueArchiveScenes(path);
        } else {
            Log(LOG_WARNING, "CUpdater: No archive %s found!!!\n", entry.file.c_str());
        }
    }
    for (const std::string& name : deletions_) {
        Log(LOG_INFO, "CUpdater: Queueing '%s' for deletion\n", name.c_str());
        owner_.retireArchive(name);
    }
    deletions_.clear();
    downloads_.clear();
    state_ = UPDATER_IDLE;
    owner_.runCode("if (onUpdaterDownloaded!=undefined) onUpdaterDownloaded();");
}
