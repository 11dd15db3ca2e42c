// The updater inside a headless visualiser, against a content server on
// 127.0.0.1 in the test's own thread: the report it sends, how it reads an
// update list, what it installs and retires, and how every hostile answer
// leaves the installed archives as they were. The visualiser's clock is the
// tests' fake one, so time-outs pass only when a test moves time on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/settingsAccess.h"
#include "script/settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "tests/vis/vis_world.h"
#include "update/updater.h"
#include "vfs/archiveWriter.h"
#include "vfs/crc.h"
#include "vfs/fileSystem.h"
#include "vm/assembler.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

const char* const kControlScript = R"(
function onInit() {}
var frames = 0, downloaded = 0;
function onFrame() { frames++; }
function onUpdaterDownloaded() { downloaded++; }
function getUpdaterInfo() { return "theme <heat> & \"pop\" 'x'"; }
)";

std::string archiveOf(const std::map<std::string, std::string>& files) {
    CArchiveWriter writer;
    for (const auto& [name, content] : files)
        EXPECT_TRUE(writer.add(name, content.data(), content.size(), false)) << writer.error();
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(writer.build(bytes)) << writer.error();
    return std::string(bytes.begin(), bytes.end());
}

// An archive whose list scenes/<list>.xml registers one printing scene per id.
std::string sceneArchive(const std::string& list, const std::vector<std::string>& ids) {
    std::map<std::string, std::string> files;
    std::string xml = "<SceneList>";
    for (const std::string& id : ids) {
        AsmResult image = vmAssemble(printingScene(id), id + ".vsa");
        std::vector<uint8_t> bytes = vmImageBytes(image.words);
        files["scenes/" + id + ".vsi"] = std::string(bytes.begin(), bytes.end());
        xml += "<Scene id=\"" + id + "\"><Filename>" + id + ".vsi</Filename></Scene>";
    }
    files["scenes/" + list + ".xml"] = xml + "</SceneList>";
    return archiveOf(files);
}

uint32_t crcOf(const std::string& bytes) {
    return crc(bytes.data(), static_cast<int>(bytes.size()), 0);
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string hexSize(size_t size) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zx", size);
    return text;
}

std::string sizeAndCrc(const std::string& bytes) {
    return "<Size>" + std::to_string(bytes.size()) + "</Size><CRC>" + hex(crcOf(bytes)) + "</CRC>";
}

std::string package(const std::string& file, const std::string& url, const std::string& more = "") {
    return "<Package><Url>" + url + "</Url><File>" + file + "</File>" + more + "</Package>";
}

std::string urlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// How the server answers one path.
enum class Answer { Whole, Half, Stall, Endless, Nothing };

struct Reply {
    Answer answer = Answer::Whole;
    std::string body;
};

// The server's side: replies by path, and what was asked for.
class Content {
public:
    void reply(const std::string& path, const std::string& body, Answer answer = Answer::Whole) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[path] = {answer, body};
    }
    std::string fileUrl(const std::string& host, const std::string& file) const {
        return "http://" + host + "/files/" + file;
    }
    int count(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const auto& [asked, body] : asked_)
            n += asked == path;
        return n;
    }
    // The decoded "upload" parameter of the n-th request.
    std::string upload(size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string& body = asked_.at(n).second;
        EXPECT_EQ(body.compare(0, 7, "upload="), 0) << body;
        return urlDecode(body.substr(7));
    }
    std::string path(size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_.at(n).first;
    }
    bool stalling() const { return stalling_; }

    void handle(int fd, const std::string& request) {
        size_t start = request.find(' ') + 2;
        std::string path = request.substr(start, request.find(' ', start) - start);
        size_t blank = request.find("\r\n\r\n");
        std::string body = blank == std::string::npos ? "" : request.substr(blank + 4);
        if (body.size() >= 2) body.resize(body.size() - 2);  // the client's closing CR LF
        Reply reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            asked_.emplace_back(path, body);
            auto found = replies_.find(path);
            reply = found != replies_.end() ? found->second : Reply{Answer::Whole, "no such file"};
        }
        const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
        switch (reply.answer) {
            case Answer::Whole:
                LoopbackServer::sendText(fd, head + reply.body);
                break;
            case Answer::Half:
                LoopbackServer::sendText(fd, head + reply.body.substr(0, reply.body.size() / 2));
                break;
            case Answer::Stall:
                LoopbackServer::sendText(fd, head + reply.body.substr(0, 33));
                stalling_ = true;
                LoopbackServer::waitForClose(fd);
                stalling_ = false;
                break;
            case Answer::Endless: {
                std::string chunk(40000, 'E');
                while (LoopbackServer::sendText(fd, chunk)) {
                }
                break;
            }
            case Answer::Nothing:
                ::shutdown(fd, SHUT_WR);
                break;
        }
    }

private:
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<std::pair<std::string, std::string>> asked_;
    std::atomic<bool> stalling_{false};
};

class UpdaterTest : public ::testing::Test {
protected:
    // A server for exactly `connections` requests (the list and each download).
    void serve(int connections) {
        server = std::make_unique<LoopbackServer>(
            [this](int fd, const std::string& request) { content.handle(fd, request); },
            connections);
    }
    std::string url(const std::string& file) { return content.fileUrl(server->host(), file); }

    // The visualiser with `settings` inside settings.js (server first), the
    // archives already in the base directory mounted and their scenes loaded.
    CVisMain& start(const std::string& settings = "", const std::string& updater = "",
                    const char* startupScript = nullptr) {
        world.controlScript(kControlScript);
        world.file("data/utils.js", "var utilities = 3;");
        world.file(
            "scenes/main.xml",
            "<SceneList>" + world.scene("resident", printingScene("resident")) + "</SceneList>");
        std::string host = server ? server->host() : "";
        world.base.write("settings.js", "var settings = { \"updater\" : { \"host\" : \"" + host +
                                            "\"" + updater + " }" + settings + " };");
        CVisMain& vis = world.start(nullptr, VIS_DEVICE_MODE, startupScript);
        while (vis.loading())
            world.frames(1);
        return vis;
    }

    // Restarts the updater and steps frames `milliseconds` apart until it is
    // idle again; the number of frames, or -1 when it never got there.
    int cycle(uint32_t milliseconds = 1) {
        world.vis->requestUpdaterRestart();
        for (int frame = 1; frame < 20000; ++frame) {
            world.frames(1, milliseconds);
            if (world.vis->updater().state() == CUpdater::UPDATER_IDLE) return frame;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return -1;
    }
    // Lets the queued scene lists load.
    void settle() {
        while (world.vis->loading())
            world.frames(1);
    }

    std::string installed(const std::string& name) { return world.base.read(name); }
    bool exists(const std::string& name) { return fs::exists(world.base.path() + name); }
    bool mounted(const std::string& name) {
        return CVFileSystem::get().findArchive(world.base.path() + name) != nullptr;
    }
    bool registered(const std::string& id) { return world.vis->registry().find(id) != nullptr; }
    int shown(const std::string& text) {
        int count = 0;
        for (const auto& message : world.vis->osd().messages())
            count += message.text == text;
        return count;
    }
    // Leftovers of downloads: nothing but the base directory's own files.
    std::vector<std::string> partFiles() {
        std::vector<std::string> parts;
        for (const std::string& name : osListDir(world.base.path()))
            if (name.find(".part") != std::string::npos) parts.push_back(name);
        return parts;
    }

    LogCapture log;
    Content content;
    std::unique_ptr<LoopbackServer> server;
    VisWorld world;
};

TEST_F(UpdaterTest, ReportsTheInstallationInFifteenPiecesThenClearsMessagesAndStatistics) {
    serve(1);
    std::string mid = archiveOf({{"a/x.txt", "mid-x"}});
    std::string last = archiveOf({{"b/yy.txt", std::string(517, 'y')}});
    world.base.write("mid.vortapack", mid);
    world.base.write("zz.vortapack", last);
    world.base.write("readme.txt", "not an archive");
    content.reply("update/update.php", "<xml></xml>");
    CVisMain& vis = start(
        ", \"scenes\" : { \"alpha&1\" : { \"time\" : 2.5, \"frames\" : 9 } }"
        ", \"messages\" : { \"0\" : \"warn:disk <full>\" }",
        "", "var DEVICE_UID = \"DEV-0042-zq\";");
    std::string contentSize =
        std::to_string(fs::file_size(world.base.path() + "content.vortapack"));
    ASSERT_GT(cycle(), 0) << log.all();

    ASSERT_EQ(content.path(0), "update/update.php");
    std::string expected =
        "<xml><Version>1.67</Version><OS>LINUX</OS>"
        "<JavaScript>theme &lt;heat&gt; &amp; &quot;pop&quot; &apos;x&apos;</JavaScript>"
        "<DeviceUID>DEV-0042-zq</DeviceUID>"
        "<Hardware>    <Vendor></Vendor>    <Renderer></Renderer>    <Version></Version>"
        "    <Extensions></Extensions></Hardware>"
        "<VortaPacks><VortaPack size=\"" +
        contentSize + "\">content.vortapack</VortaPack><VortaPack size=\"" +
        std::to_string(mid.size()) + "\">mid.vortapack</VortaPack><VortaPack size=\"" +
        std::to_string(last.size()) +
        "\">zz.vortapack</VortaPack></VortaPacks>"
        "<Scenes><Scene id=\"alpha&amp;1\" time=\"2.500000\" frames=\"9\"/></Scenes>"
        "<Messages><Message>warn:disk &lt;full&gt;</Message></Messages></xml>";
    EXPECT_EQ(content.upload(0), expected);
    EXPECT_EQ(vis.messagesXml(), "<Messages></Messages>");
    EXPECT_EQ(vis.sceneStatsXml(), "<Scenes></Scenes>");
    EXPECT_TRUE(log.contains(LOG_INFO, "CUpdater: Restarted."));
}

TEST_F(UpdaterTest, WithoutADeviceIdTheReportSkipsItAndTheBetaChannelHasItsOwnPath) {
    serve(1);
    content.reply("updatebeta/update.php", "<xml></xml>");
    CVisMain& vis = start(", \"BETA\" : 3");
    ASSERT_GT(cycle(), 0) << log.all();
    ASSERT_EQ(content.path(0), "updatebeta/update.php");
    std::string size = std::to_string(fs::file_size(world.base.path() + "content.vortapack"));
    EXPECT_EQ(content.upload(0),
              "<xml><Version>1.67</Version><OS>LINUX</OS>"
              "<JavaScript>theme &lt;heat&gt; &amp; &quot;pop&quot; &apos;x&apos;</JavaScript>"
              "<Hardware>    <Vendor></Vendor>    <Renderer></Renderer>    <Version></Version>"
              "    <Extensions></Extensions></Hardware>"
              "<VortaPacks><VortaPack size=\"" +
                  size +
                  "\">content.vortapack</VortaPack></VortaPacks>"
                  "<Messages></Messages></xml>");
    EXPECT_EQ(vis.updater().state(), CUpdater::UPDATER_IDLE);
}

TEST_F(UpdaterTest, PackagesAreCheckedForVersionNameAndAddressAndTheSameFileComesTwice) {
    serve(5);
    std::string even = sceneArchive("even", {"evenA", "evenB"});
    std::string prior = sceneArchive("prior", {"priorC"});
    std::string twice = sceneArchive("twice", {"twiceD"});
    std::string high = sceneArchive("high", {"highE"});
    content.reply("files/even.vortapack", even);
    content.reply("files/prior.vortapack", prior);
    content.reply("files/twice.vortapack", twice);
    content.reply("files/high.vortapack", high);
    content.reply("files/notes.txt", "plain notes");
    content.reply("update/update.php",
                  "<xml><Packages>" +
                      package("high.vortapack", url("high.vortapack"),
                              "<Version>1.68</Version>" + sizeAndCrc(high)) +
                      package("even.vortapack", url("even.vortapack"),
                              "<Version>1.67</Version>" + sizeAndCrc(even)) +
                      package("prior.vortapack", url("prior.vortapack"), "<Version>1.6</Version>") +
                      package("notes.txt", url("notes.txt")) +
                      package("twice.vortapack", url("twice.vortapack"), sizeAndCrc(twice)) +
                      package("secure.vortapack", "https://127.0.0.1:9/files/secure.vortapack") +
                      package("twice.vortapack", url("twice.vortapack"),
                              "<CRC>" + hex(crcOf(twice)) + "</CRC>") +
                      package("nourl.vortapack", "") + "</Packages></xml>");
    CVisMain& vis = start();
    int before = vis.registry().count();

    vis.requestUpdaterRestart();
    world.frames(1);
    vis.requestUpdaterRestart();  // refused while the cycle runs
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "CUpdater: Restart requested but not finished yet. Waiting..."));
    ASSERT_GT(cycle(), 0) << log.all();
    settle();

    EXPECT_TRUE(log.contains(LOG_INFO, "Version 1.68 too high"));
    EXPECT_FALSE(log.contains("Version 1.67 too high"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "Update file instructed us to download non-archive file 'notes.txt'"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Cannot download 'secure.vortapack' from "
                             "'https://127.0.0.1:9/files/secure.vortapack'"));
    EXPECT_EQ(content.count("files/high.vortapack"), 0);
    EXPECT_EQ(content.count("files/notes.txt"), 0);
    EXPECT_EQ(content.count("files/even.vortapack"), 1);
    EXPECT_EQ(content.count("files/prior.vortapack"), 1);
    EXPECT_EQ(content.count("files/twice.vortapack"), 2);
    EXPECT_FALSE(exists("high.vortapack"));
    EXPECT_FALSE(exists("notes.txt"));
    EXPECT_FALSE(exists("nourl.vortapack"));
    EXPECT_EQ(installed("even.vortapack"), even);
    EXPECT_EQ(installed("prior.vortapack"), prior);
    EXPECT_EQ(installed("twice.vortapack"), twice);
    // Mounted and read in the same run.
    EXPECT_EQ(vis.registry().count(), before + 4);
    for (const char* id : {"evenA", "evenB", "priorC", "twiceD"})
        EXPECT_TRUE(registered(id)) << id;
    EXPECT_FALSE(registered("highE"));
    EXPECT_EQ(world.eval("downloaded"), "1");
    EXPECT_TRUE(partFiles().empty());
}

TEST_F(UpdaterTest, InstalledArchivesAreKeptOrFetchedAgainByTheirSizeAndChecksum) {
    serve(3);
    std::string intact = sceneArchive("intact", {"intactA"});
    std::string gone = sceneArchive("gone", {"goneB"});
    std::string sizedOld = sceneArchive("sized", {"sizedC"});
    std::string sizedNew = sceneArchive("sized", {"sizedD", "sizedE"});
    std::string summedOld = sceneArchive("summed", {"sumF1"});
    std::string summedNew = sceneArchive("summed", {"sumG2"});
    ASSERT_EQ(summedOld.size(), summedNew.size());
    world.base.write("intact.vortapack", intact);
    world.base.write("gone.vortapack", gone);
    world.base.write("sized.vortapack", sizedOld);
    world.base.write("summed.vortapack", summedOld);
    content.reply("files/sized.vortapack", sizedNew);
    content.reply("files/summed.vortapack", summedNew);
    content.reply("update/update.php",
                  "<xml><Packages>" +
                      package("intact.vortapack", url("intact.vortapack"),
                              "<Size>" + std::to_string(intact.size()) +
                                  "</Size><Replaces>gone.vortapack</Replaces>") +
                      package("sized.vortapack", url("sized.vortapack"), sizeAndCrc(sizedNew)) +
                      package("summed.vortapack", url("summed.vortapack"), sizeAndCrc(summedNew)) +
                      "</Packages></xml>");
    start();
    ASSERT_TRUE(registered("goneB"));
    auto inode = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat((world.base.path() + name).c_str(), &status), 0);
        return status.st_ino;
    };
    ino_t sizedBefore = inode("sized.vortapack");
    ASSERT_GT(cycle(), 0) << log.all();
    settle();

    EXPECT_TRUE(log.contains(LOG_INFO, "CUpdater: Package 'intact.vortapack' already exists"));
    EXPECT_EQ(content.count("files/intact.vortapack"), 0);
    EXPECT_EQ(installed("intact.vortapack"), intact);
    // The replaces rule of an archive already in place runs during the scan,
    // before any download starts.
    EXPECT_FALSE(exists("gone.vortapack"));
    EXPECT_FALSE(registered("goneB"));
    size_t retired = 0, firstDownload = 0;
    for (size_t i = 0; i < log.lines().size(); ++i) {
        if (log.lines()[i].text.find("Queueing gone.vortapack for deletion") == 0) retired = i;
        if (!firstDownload && log.lines()[i].text.find("UPDATER_GET_FILE") != std::string::npos)
            firstDownload = i;
    }
    EXPECT_GT(retired, 0u);
    EXPECT_LT(retired, firstDownload);

    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Package 'sized.vortapack' already exists but is the wrong "
                             "size (" +
                                 std::to_string(sizedOld.size()) + " vs " +
                                 std::to_string(sizedNew.size()) + ")"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Package 'summed.vortapack' already exists but has the "
                             "wrong CRC (" +
                                 hex(crcOf(summedOld)) + " vs " + hex(crcOf(summedNew)) + ")"));
    EXPECT_EQ(installed("sized.vortapack"), sizedNew);
    // Replaced by a new file, not written over in place.
    EXPECT_NE(inode("sized.vortapack"), sizedBefore);
    EXPECT_EQ(installed("summed.vortapack"), summedNew);
    EXPECT_TRUE(mounted("sized.vortapack"));
    for (const char* id : {"intactA", "sizedD", "sizedE", "sumG2"})
        EXPECT_TRUE(registered(id)) << id;
}

TEST_F(UpdaterTest, OldPackagesAndReplacedArchivesAreRetiredAndTheServerSpeaksOnScreen) {
    serve(2);
    world.base.write("old1.vortapack", sceneArchive("old1", {"oldA"}));
    world.base.write("old22.vortapack", sceneArchive("old22", {"oldB"}));
    world.base.write("bold.vortapack", sceneArchive("bold", {"boldC"}));
    world.base.write("withdrawn.vortapack", sceneArchive("withdrawn", {"retD"}));
    world.base.write("old.txt", "an old note");
    std::string oldest = sceneArchive("oldest", {"newE", "newF"});
    content.reply("files/oldest.vortapack", oldest);
    content.reply(
        "update/update.php",
        "<xml><Packages>" +
            package("oldest.vortapack", url("oldest.vortapack"),
                    "<Replaces>old*.vortapack</Replaces><Size>" + hexSize(oldest.size()) +
                        "</Size><CRC>" + hex(crcOf(oldest)) + "</CRC>") +
            "</Packages><OldPackages>"
            "<OldPackage><File>withdrawn.vortapack</File></OldPackage>"
            "<OldPackage><File>absent.vortapack</File></OldPackage>"
            "<OldPackage><File>settings.js</File></OldPackage>"
            "<OldPackage><File>../content.vortapack</File></OldPackage>"
            "</OldPackages>"
            "<Software><Version>1.9</Version><JavaScript>softwareRan = 'yes-73';</JavaScript>"
            "</Software>"
            "<Messages><Message>Rain &lt;tonight&gt;</Message><Message></Message></Messages>"
            "</xml>");
    CVisMain& vis = start();
    for (const char* id : {"oldA", "oldB", "boldC", "retD"})
        ASSERT_TRUE(registered(id)) << id;
    ASSERT_GT(cycle(), 0) << log.all();

    // The frame that installed retired the rest at once, scenes included.
    EXPECT_FALSE(exists("old1.vortapack"));
    EXPECT_FALSE(exists("old22.vortapack"));
    EXPECT_FALSE(exists("withdrawn.vortapack"));
    EXPECT_FALSE(registered("oldA"));
    EXPECT_FALSE(registered("oldB"));
    EXPECT_FALSE(registered("retD"));
    EXPECT_EQ(world.eval("downloaded"), "1");
    // The new archive's one list is read in that same frame.
    EXPECT_TRUE(registered("newE"));
    EXPECT_TRUE(registered("newF"));
    EXPECT_TRUE(registered("boldC"));
    EXPECT_EQ(installed("oldest.vortapack"), oldest);
    EXPECT_EQ(installed("old.txt"), "an old note");
    EXPECT_TRUE(exists("bold.vortapack"));
    EXPECT_TRUE(exists("settings.js"));
    EXPECT_TRUE(exists("content.vortapack"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Queueing old22.vortapack for deletion"));
    EXPECT_FALSE(log.contains("Queueing oldest.vortapack"));
    EXPECT_TRUE(log.contains(LOG_INFO, "CUpdater: Queueing 'withdrawn.vortapack' for deletion"));
    EXPECT_FALSE(log.contains("absent.vortapack' for deletion"));
    EXPECT_TRUE(log.contains(
        LOG_SERIOUS,
        "CUpdater: Update file instructed us to delete non-vortapack file 'settings.js'"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "'../content.vortapack' is not a plain file name"));

    EXPECT_EQ(shown("A new version (1.9) of Vortalis is available from " + server->host() + "!"),
              1);
    EXPECT_EQ(shown("Rain <tonight>"), 1);
    EXPECT_EQ(vis.osd().messages().size(), 2u);  // the empty message is not shown
    EXPECT_EQ(world.eval("softwareRan"), "yes-73");
}

TEST_F(UpdaterTest, NamesThatLeaveTheBaseDirectoryAreRefusedUnfetched) {
    serve(1);
    TempDir elsewhere;
    std::string escape = "escape-" + std::to_string(getpid()) + "-71.vortapack";
    std::string archive = sceneArchive("evil", {"evilA"});
    std::vector<std::string> names = {"../" + escape,
                                      elsewhere.path() + "abs.vortapack",
                                      "",
                                      "..",
                                      "dir/in.vortapack",
                                      "back\\slash.vortapack",
                                      ".",
                                      "x..y.vortapack"};
    std::string packages;
    for (const std::string& name : names)
        packages += package(name, url("evil.vortapack"), sizeAndCrc(archive));
    content.reply("files/evil.vortapack", archive);
    content.reply("update/update.php", "<xml><Packages>" + packages + "</Packages></xml>");
    start();
    std::vector<std::string> before = osListDir(world.base.path());
    ASSERT_GT(cycle(), 0) << log.all();

    EXPECT_EQ(content.count("files/evil.vortapack"), 0);
    EXPECT_EQ(log.count("is not a plain file name"), names.size()) << log.all();
    EXPECT_FALSE(fs::exists(fs::path(world.base.path()).parent_path().parent_path() / escape));
    EXPECT_EQ(osListDir(elsewhere.path()), (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(osListDir(world.base.path()), before);
    EXPECT_FALSE(registered("evilA"));
}

TEST_F(UpdaterTest, ABadDownloadNeverTouchesTheInstalledArchive) {
    // One cycle per hostile answer, on the same installed archive.
    serve(2 * 6);
    std::string old = sceneArchive("keep", {"keeperA"});
    std::string fresh = sceneArchive("keep", {"keeperB", "keeperC"});
    world.base.write("keep.vortapack", old);
    content.reply("update/update.php",
                  "<xml><Packages>" +
                      package("keep.vortapack", url("keep.vortapack"), sizeAndCrc(fresh)) +
                      "</Packages></xml>");
    CVisMain& vis = start("", ", \"http_timeout\" : 7");
    auto intact = [&](const char* which) {
        SCOPED_TRACE(which);
        EXPECT_EQ(installed("keep.vortapack"), old);
        EXPECT_TRUE(mounted("keep.vortapack"));
        EXPECT_TRUE(registered("keeperA"));
        EXPECT_FALSE(registered("keeperB"));
        EXPECT_TRUE(partFiles().empty());
    };

    std::string shortBody = fresh.substr(0, fresh.size() - 7);
    content.reply("files/keep.vortapack", shortBody);
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Downloaded archive keep.vortapack isn't the "
                             "right size (" +
                                 std::to_string(shortBody.size()) + " vs " +
                                 std::to_string(fresh.size()) + ")"));
    intact("short");

    std::string damaged = fresh;
    damaged[damaged.size() / 3] ^= 0x5A;
    content.reply("files/keep.vortapack", damaged);
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Downloaded archive keep.vortapack doesn't "
                             "have correct CRC (" +
                                 hex(crcOf(damaged)) + " vs " + hex(crcOf(fresh)) + ")"));
    intact("damaged");

    content.reply("files/keep.vortapack", fresh, Answer::Half);
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "isn't the right size (" + std::to_string(fresh.size() / 2) + " vs "));
    intact("half");

    content.reply("files/keep.vortapack", "", Answer::Endless);
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CUpdater: Downloaded archive keep.vortapack is larger "
                             "than " +
                                 std::to_string(fresh.size()) + " bytes"));
    intact("endless");

    // A server that stops answering: the frames go on and the client gives
    // up once the time-out passes without a byte.
    content.reply("files/keep.vortapack", fresh, Answer::Stall);
    vis.requestUpdaterRestart();
    int frames = 0;
    while (!content.stalling() && frames < 20000) {
        world.frames(1, 1);
        ++frames;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(content.stalling());
    int framesBefore = std::stoi(world.eval("frames"));
    int stalled = 0;
    while (vis.updater().state() != CUpdater::UPDATER_IDLE && stalled < 1000) {
        world.frames(1, 900);
        ++stalled;
    }
    EXPECT_EQ(vis.updater().state(), CUpdater::UPDATER_IDLE);
    EXPECT_GT(stalled, 7);
    EXPECT_EQ(std::stoi(world.eval("frames")), framesBefore + stalled);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Connection Timed out in RECEIVE"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "isn't the right size (33 vs "));
    intact("stalled");

    // A good download that cannot be written leaves the archive alone too.
    world.base.write("keep.vortapack.part/blocker", "in the way");
    content.reply("files/keep.vortapack", fresh);
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(
        LOG_WARNING, "Cannot write to file '" + world.base.path() + "keep.vortapack.part'"));
    EXPECT_EQ(installed("keep.vortapack"), old);
    EXPECT_TRUE(registered("keeperA"));
    EXPECT_EQ(world.eval("downloaded"), "6");
}

TEST_F(UpdaterTest, AListThatIsNotAnUpdateListChangesNothingButReportsTheConnection) {
    serve(5);
    world.base.write("kept.vortapack", sceneArchive("kept", {"keptA"}));
    CVisMain& vis = start(", \"scenes\" : { \"keptA\" : { \"time\" : 4.25, \"frames\" : 17 } }");
    std::string statistics = vis.sceneStatsXml();
    ASSERT_NE(statistics, "<Scenes></Scenes>");

    struct Case {
        const char* name;
        std::string list;
        Answer answer;
    };
    std::string deep;
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    const Case cases[] = {
        {"empty", "", Answer::Nothing},
        {"malformed",
         "<xml><Packages>" + package("kept.vortapack", url("kept.vortapack"), "<Size>3</Size>") +
             "</Package>",
         Answer::Whole},
        {"endless", "", Answer::Endless},
        {"deep", "<xml>" + deep, Answer::Whole},
        // UTF-8 text ending inside a three-byte character; what follows the 0
        // byte stands for the memory after the list, which the parser must not
        // read on into.
        {"cut character",
         std::string("<?xml version=\"1.0\"?><xml><Messages><Message>\xe6>") + '\0' +
             "</Message></Messages></xml>",
         Answer::Whole},
    };
    int failures = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        log.clear();
        content.reply("update/update.php", test.list, test.answer);
        ASSERT_GT(cycle(), 0) << log.all();
        EXPECT_EQ(log.count("CUpdater: No <xml> tag found in update list"), 1u);
        EXPECT_TRUE(log.contains(LOG_WARNING, "CUpdater: No <xml> tag found in update list"));
        EXPECT_EQ(shown("Unable to connect to server..."), ++failures);
        EXPECT_FALSE(log.contains("UPDATER_GET_FILE "));
        EXPECT_EQ(vis.sceneStatsXml(), statistics);
        EXPECT_TRUE(registered("keptA"));
        if (test.answer == Answer::Endless) {
            EXPECT_TRUE(log.contains(LOG_WARNING,
                                     "CUpdater: Update list larger than 16777216 bytes, ignored"));
        }
    }
    EXPECT_EQ(content.count("files/kept.vortapack"), 0);

    // Nobody listens at all.
    log.clear();
    vis.settingsStore().setString("updater.host", "127.0.0.1:" + std::to_string(unusedPort()));
    ASSERT_GT(cycle(), 0) << log.all();
    EXPECT_TRUE(log.contains(LOG_WARNING, "Http: connect failed"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "CUpdater: No <xml> tag found in update list"));
    EXPECT_EQ(world.eval("downloaded"), "6");
}

TEST_F(UpdaterTest, WithoutAContentServerTheUpdaterStaysIdleAndSaysSoOnce) {
    CVisMain& vis = start();
    vis.requestUpdaterRestart();
    world.frames(3);
    vis.requestUpdaterRestart();
    world.frames(2);
    EXPECT_EQ(vis.updater().state(), CUpdater::UPDATER_IDLE);
    EXPECT_EQ(log.count("No content server configured"), 1u) << log.all();
    EXPECT_TRUE(log.contains(LOG_INFO, "No content server configured"));
    EXPECT_FALSE(log.contains("CUpdater: Restarted."));
    EXPECT_EQ(world.eval("downloaded"), "0");
}

#ifdef VORTAPACK_PATH
// The whole road with the content server people run themselves: the list it
// writes is one the updater reads, and what it serves is installed and played.
TEST_F(UpdaterTest, ArchivesServedByVortapackServeAreInstalledAndLoaded) {
    TempDir served, io;
    std::string fresh = sceneArchive("served", {"servedA", "servedB"});
    served.write("served.vortapack", fresh);
    std::string program = VORTAPACK_PATH, command = "serve", port = "--port", any = "0",
                requests = "--requests", two = "2", folder = served.path();
    char* argv[] = {&program[0],  &command[0], &port[0],   &any[0],
                    &requests[0], &two[0],     &folder[0], nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string out = io.path() + "stdout";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::string host;
    for (int tries = 0; tries < 2000 && host.empty(); ++tries) {
        std::string line = io.read("stdout");
        size_t at = line.find("http://127.0.0.1:"), end = line.find("/\n", at);
        if (at != std::string::npos && end != std::string::npos)
            host = line.substr(at + 7, end - at - 7);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(host.empty());

    world.base.write("served.vortapack", archiveOf({{"scenes/stale.xml", "<SceneList/>"}}));
    CVisMain& vis = start();
    vis.settingsStore().setString("updater.host", host);
    int before = vis.registry().count();
    int frames = cycle();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    ASSERT_GT(frames, 0) << log.all();
    settle();

    EXPECT_EQ(installed("served.vortapack"), fresh);
    EXPECT_TRUE(registered("servedA"));
    EXPECT_TRUE(registered("servedB"));
    EXPECT_EQ(vis.registry().count(), before + 2);
    EXPECT_EQ(world.eval("downloaded"), "1");
}
#endif

// The report's hardware pieces come from the host as they are and are escaped.
class HardwareHost : public UpdaterHost {
public:
    explicit HardwareHost(const std::string& base) : base_(base) {}
    SettingsAccess* settings() override { return &settings_; }
    std::string evalString(const std::string&) override { return "info-5"; }
    bool runCode(const std::string&) override { return true; }
    std::string getGlobalString(const std::string&, const std::string& fallback) override {
        return fallback;
    }
    std::string sceneStatsXml() override { return "<S/>"; }
    std::string messagesXml() override { return "<M/>"; }
    void clearMessages() override {}
    void clearSceneStats() override {}
    UpdaterHardware hardware() override {
        return {"Ace & Co", "<R9 'x'>", "4.6 \"core\"", "GL_A GL_B>"};
    }
    std::string baseDirectory() override { return base_; }
    bool archiveMounted(const std::string&) override { return false; }
    bool mountArchive(const std::string&) override { return false; }
    void unmountArchive(const std::string&) override {}
    void queueArchiveScenes(const std::string&) override {}
    void retireArchive(const std::string&) override {}
    void showOnScreen(const char*) override {}

private:
    MemorySettings settings_;
    std::string base_;
};

TEST(UpdaterRequest, HardwareStringsAreEscapedInTheirOwnPieces) {
    TempDir base;
    HardwareHost host(base.path());
    CUpdater updater(host);
    EXPECT_EQ(updater.buildRequest(),
              "<xml><Version>1.67</Version><OS>LINUX</OS><JavaScript>info-5</JavaScript>"
              "<Hardware>    <Vendor>Ace &amp; Co</Vendor>    <Renderer>&lt;R9 &apos;x&apos;&gt;"
              "</Renderer>    <Version>4.6 &quot;core&quot;</Version>    <Extensions>GL_A "
              "GL_B&gt;</Extensions></Hardware><VortaPacks></VortaPacks><S/><M/></xml>");
}

TEST(UpdaterNames, PlainNamesPatternsAndVersions) {
    EXPECT_TRUE(updaterPlainFileName("a.vortapack"));
    EXPECT_TRUE(updaterPlainFileName(".vortapack"));
    for (const char* bad : {"", ".", "..", "../a", "a/b", "a\\b", "a..b", "/a", "C:\\a"})
        EXPECT_FALSE(updaterPlainFileName(bad)) << bad;

    EXPECT_TRUE(updaterNameMatches("old*.vortapack", "old1.vortapack"));
    EXPECT_TRUE(updaterNameMatches("old*.vortapack", "old.vortapack"));
    EXPECT_FALSE(updaterNameMatches("old*.vortapack", "bold.vortapack"));
    EXPECT_FALSE(updaterNameMatches("old*.vortapack", "Old1.vortapack"));
    EXPECT_FALSE(updaterNameMatches("ab*ba", "aba"));  // the two ends may not overlap
    EXPECT_TRUE(updaterNameMatches("x.vortapack", "x.vortapack"));
    EXPECT_FALSE(updaterNameMatches("x.vortapack", "xx.vortapack"));

    EXPECT_TRUE(updaterVersionOlder("1.67", "1.68"));
    EXPECT_FALSE(updaterVersionOlder("1.67", "1.67"));
    EXPECT_FALSE(updaterVersionOlder("1.67", "1.6"));
    EXPECT_TRUE(updaterVersionOlder("1.10", "1.9"));
    EXPECT_TRUE(updaterVersionOlder("0.1", "v2"));
}

}  // namespace
