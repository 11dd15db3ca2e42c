// Runs the real program under a display (Xvfb in CI) on base directories of
// the test's own: a control script that ends the run, and an empty folder
// ended from outside as a screensaver host ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"
#include "vfs/archiveWriter.h"

namespace {

bool displayRequired() {
    const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    return required && std::string(required) == "1";
}

// Starts the program on `base`; its output goes to base/output.txt.
pid_t startProgram(const std::string& base) {
    pid_t child = fork();
    if (child == 0) {
        setenv("VORTALIS_BASE_DIR", base.c_str(), 1);
        std::string output = base + "output.txt";
        if (!freopen(output.c_str(), "w", stdout) || !freopen(output.c_str(), "a", stderr))
            _exit(126);
        execl(VORTALIS_PROGRAM, VORTALIS_PROGRAM, static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// The exit code, or -1 when the program did not end within `seconds`
// (it is then killed).
int waitForExit(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 20; i++) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

void writeArchive(const std::string& path, const std::string& name, const std::string& content) {
    CArchiveWriter writer;
    ASSERT_TRUE(writer.add(name, content.data(), content.size()));
    ASSERT_TRUE(writer.writeFile(path)) << writer.error();
}

class ProgramGl : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !displayRequired()) GTEST_SKIP() << "no display";
    }
};

}  // namespace

TEST_F(ProgramGl, ScriptExitEndsTheRunAndTheSettingsKeepTheWindow) {
    TempDir base;
    base.write("settings.js",
               "var settings = { \"window\" : { \"left\" : 13, \"top\" : 29, "
               "\"width\" : 211, \"height\" : 97 } };");
    writeArchive(base.path() + "control.vortapack", "data/device.js",
                 "var n = 0; function onInit() {} "
                 "function onFrame() { n++; if (n == 4) { print(\"frames \" + n); exit(); } }");
    pid_t child = startProgram(base.path());
    int code = waitForExit(child, 60);
    EXPECT_EQ(code, 0) << base.read("output.txt");
    std::string log = base.read("log.txt");
    EXPECT_NE(log.find("JS: frames 4"), std::string::npos) << log;
    std::string settings = base.read("settings.js");
    EXPECT_NE(settings.find("\"width\" : 211"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"height\" : 97"), std::string::npos) << settings;
}

TEST_F(ProgramGl, AnEmptyFolderRunsUntilTheHostEndsIt) {
    TempDir base;
    pid_t child = startProgram(base.path());
    bool started = false;
    for (int i = 0; i < 600 && !started; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        started = base.read("log.txt").find("Initialisation done") != std::string::npos;
    }
    ASSERT_TRUE(started) << base.read("output.txt");
    // Still running on the idle screen, saying where it looked.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WNOHANG), 0);
    EXPECT_NE(base.read("log.txt").find("No content found in " + base.path()), std::string::npos);
    // A screensaver host ends it with SIGTERM: an orderly shutdown.
    kill(child, SIGTERM);
    EXPECT_EQ(waitForExit(child, 30), 0) << base.read("output.txt");
    EXPECT_NE(base.read("settings.js").find("\"window\""), std::string::npos);
}
