// `vortapack serve` run as a process on a temporary folder, fetched from with
// the visualiser's own HTTP client.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tinyxml.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "update/http.h"
#include "vfs/archiveWriter.h"
#include "vfs/crc.h"

extern char** environ;

namespace {

struct Package {
    std::string url, file, version, size, crc;
};

std::vector<Package> packagesOf(const std::string& xml) {
    std::vector<Package> packages;
    TiXmlDocument document;
    document.Parse(xml.c_str());
    TiXmlElement* list =
        TiXmlHandle(&document).FirstChild("xml").FirstChild("Packages").ToElement();
    for (TiXmlElement* p = list ? list->FirstChildElement("Package") : nullptr; p;
         p = p->NextSiblingElement("Package")) {
        auto text = [p](const char* name) {
            TiXmlElement* child = p->FirstChildElement(name);
            return std::string(child && child->GetText() ? child->GetText() : "");
        };
        packages.push_back({text("Url"), text("File"), text("Version"), text("Size"), text("CRC")});
    }
    return packages;
}

std::string crcText(const std::string& bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X",
                  crc(bytes.data(), static_cast<int>(bytes.size()), 0));
    return text;
}

class ServeTest : public ::testing::Test {
protected:
    ~ServeTest() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Runs vortapack with `args`; stdout and stderr go to files in io.
    pid_t spawn(std::vector<std::string> args) {
        args.insert(args.begin(), VORTAPACK_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        std::string out = io.path() + "stdout", err = io.path() + "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // Starts the server on a free port and reads the port from its first line.
    bool startServer(std::vector<std::string> options) {
        options.insert(options.begin(), {"serve", "--port", "0"});
        options.push_back(content.path());
        pid_ = spawn(options);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
            std::string out = io.read("stdout");
            size_t at = out.find("http://127.0.0.1:"), end = out.find("/\n", at);
            if (at != std::string::npos && end != std::string::npos) {
                host_ = out.substr(at + 7, end - at - 7);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // The exit code once the process ends by itself (bounded), or -1.
    int exitCode() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    int runToEnd(std::vector<std::string> args) {
        pid_ = spawn(std::move(args));
        return exitCode();
    }

    std::string writeArchive(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& entries) {
        CArchiveWriter writer;
        for (const auto& [entry, data] : entries)
            EXPECT_TRUE(writer.add(entry, data.data(), data.size()));
        EXPECT_TRUE(writer.writeFile(content.path() + name)) << writer.error();
        return content.read(name);
    }

    std::string fetch(const std::string& path, const std::string& upload = "") {
        http.setReady();
        if (upload.empty()) {
            http.request(host_, path, "", {});
        } else {
            http.postUpload(host_, path, "", upload);
        }
        EXPECT_TRUE(runUntilDone(http));
        return http.responseText();
    }

    LogCapture log;
    CHttp http{logLevelFromPrefix};
    TempDir content, io;
    pid_t pid_ = -1;
    std::string host_;  // "127.0.0.1:<port>"
};

TEST_F(ServeTest, ListsEachArchiveWithSizeAndChecksumAndServesIt) {
    std::string zeta = writeArchive("zeta.vortapack", {{"scenes/z.xml", std::string(5003, 'z')},
                                                       {"data/zz.bin", "\x01\x80\xff"}});
    std::string alpha = writeArchive("alpha.vortapack",
                                     {{"scenes/alpha.xml", "<Scenes><Scene id=\"a\"/></Scenes>"}});
    content.write("notes.txt", "not an archive");
    mkdir((content.path() + "folder.vortapack").c_str(), 0755);
    ASSERT_TRUE(startServer({"--requests", "4"}));

    std::vector<Package> list = packagesOf(fetch("update/update.php", "<xml>report</xml>"));
    ASSERT_EQ(list.size(), 2u) << http.responseText();
    EXPECT_EQ(list[0].file, "alpha.vortapack");
    EXPECT_EQ(list[0].url, "http://" + host_ + "/files/alpha.vortapack");
    EXPECT_EQ(list[0].size, std::to_string(alpha.size()));
    EXPECT_EQ(list[0].crc, crcText(alpha));
    EXPECT_EQ(list[0].version, "1.67");
    EXPECT_EQ(list[1].file, "zeta.vortapack");
    EXPECT_EQ(list[1].size, std::to_string(zeta.size()));
    EXPECT_EQ(list[1].crc, crcText(zeta));

    // The download goes the way the updater makes it: a POST to the Url.
    http.setReady();
    http.requestUrl(list[1].url, "", "");
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(http.responseSize(), std::stoul(list[1].size));
    EXPECT_EQ(http.responseChecksum(), std::strtoul(list[1].crc.c_str(), nullptr, 0));
    EXPECT_EQ(http.responseText(), zeta);
    EXPECT_EQ(http.header().substr(0, 17), "HTTP/1.0 200 OK\r\n");

    EXPECT_EQ(packagesOf(fetch("updatebeta/update.php")).size(), 2u);
    fetch("files/notes.txt");
    EXPECT_EQ(http.header().substr(0, 13), "HTTP/1.0 404 ");

    EXPECT_EQ(exitCode(), 0);  // the fourth request was the last
    std::string out = io.read("stdout");
    EXPECT_NE(out.find("\"POST /update/update.php HTTP/1.0\" 200 "), std::string::npos) << out;
    EXPECT_NE(
        out.find("\"POST /files/zeta.vortapack HTTP/1.0\" 200 " + std::to_string(zeta.size())),
        std::string::npos)
        << out;
    EXPECT_NE(out.find("\"GET /updatebeta/update.php HTTP/1.0\" 200 "), std::string::npos);
    EXPECT_NE(out.find("\"GET /files/notes.txt HTTP/1.0\" 404 "), std::string::npos);
}

TEST_F(ServeTest, RefusesNamesThatCouldLeaveTheFolder) {
    writeArchive("inside.vortapack", {{"a", "1"}});
    TempDir outside;
    CArchiveWriter secret;
    secret.add("s", "2", 1);
    ASSERT_TRUE(secret.writeFile(outside.path() + "secret.vortapack"));
    std::string relative =
        "../" + outside.path().substr(outside.path().rfind('/', outside.path().size() - 2) + 1);
    ASSERT_TRUE(startServer({"--requests", "4"}));

    for (const std::string& path : std::vector<std::string>{
             "files/" + relative + "secret.vortapack", "files/..inside.vortapack", "files/",
             "files/" + outside.path() + "secret.vortapack"}) {
        EXPECT_EQ(fetch(path), "not found\n") << path;
        EXPECT_EQ(http.header().substr(0, 13), "HTTP/1.0 404 ") << path;
    }
    EXPECT_EQ(exitCode(), 0);
}

TEST_F(ServeTest, StopsOnSigintAndSigterm) {
    for (int stop : {SIGINT, SIGTERM}) {
        ASSERT_TRUE(startServer({}));
        EXPECT_EQ(packagesOf(fetch("update/update.php", "r")).size(), 0u);
        EXPECT_EQ(http.responseText(), "<xml><Packages></Packages></xml>");
        kill(pid_, stop);
        EXPECT_EQ(exitCode(), 0) << stop;
    }
}

TEST_F(ServeTest, RejectsBadUsage) {
    EXPECT_EQ(runToEnd({"serve"}), 2);
    EXPECT_EQ(runToEnd({"serve", "--port", "70000", content.path()}), 2);
    EXPECT_EQ(runToEnd({"serve", "--requests", "0", content.path()}), 2);
    EXPECT_EQ(runToEnd({"list", "--bind", "127.0.0.1", content.path() + "x.vortapack"}), 2);
    EXPECT_EQ(runToEnd({"serve", content.path() + "missing"}), 1);
}

}  // namespace
