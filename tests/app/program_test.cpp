// Runs the real program binary to check what its exit codes and output say.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

struct RunResult {
    int exitCode;
    std::string output;
};

RunResult runProgram(const std::string& base, const std::string& arguments,
                     const std::string& environment = "") {
    std::string command = environment + " VORTALIS_BASE_DIR='" + base +
                          "' '" VORTALIS_PROGRAM "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t got;
    while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), got);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(Program, RefusedSwitchesExitWithOneAndTouchNothing) {
    TempDir base;
    EXPECT_EQ(runProgram(base.path(), "/s /x").exitCode, 1);
    EXPECT_EQ(runProgram(base.path(), "/p 1234").exitCode, 1);
    EXPECT_EQ(runProgram(base.path(), "--no-such-option").exitCode, 1);
    EXPECT_EQ(base.read("log.txt"), "");
}

TEST(Program, ConfigureSwitchWithoutADisplaySaysSoAndWritesNothing) {
    TempDir base;
    const std::string settings = "var settings = { \"fakesound\" : { \"bpm\" : 300 } };";
    base.write("settings.js", settings);
    for (const char* arguments : {"/c:1234", "/c"}) {
        RunResult result = runProgram(base.path(), arguments, "env -u DISPLAY -u WAYLAND_DISPLAY");
        EXPECT_EQ(result.exitCode, 2) << arguments << ": " << result.output;
        EXPECT_NE(result.output.find("no display to draw on"), std::string::npos) << result.output;
    }
    EXPECT_EQ(base.read("settings.js"), settings);
    EXPECT_EQ(access((base.path() + "deviceid.js").c_str(), F_OK), -1);
}

TEST(Program, HelpAndVersion) {
    TempDir base;
    RunResult help = runProgram(base.path(), "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Usage: vortalis"), std::string::npos);
    RunResult version = runProgram(base.path(), "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.output.find("Vortalis Visualizer Version 1.67 [64 bit]"), std::string::npos)
        << version.output;
}

TEST(Program, WithoutADisplayItSaysSoAndFails) {
    TempDir base;
    RunResult result = runProgram(base.path(), "", "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(result.exitCode, 2) << result.output;
    EXPECT_NE(result.output.find("no display to draw on"), std::string::npos) << result.output;
}

TEST(Program, MisusedRenderOptionsExitWithTwoBeforeOpeningAnything) {
    TempDir base;
    for (const char* arguments :
         {"--render out", "--frames 7", "--render out --frames 0",
          "--render out --frames 7 --size 640", "--render out --frames 7 --fps 0.5",
          "--render out --frames 7 -root", "--render --frames 7"}) {
        RunResult result = runProgram(base.path(), arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments << ": " << result.output;
        EXPECT_NE(result.output.find("vortalis: "), std::string::npos) << arguments;
    }
    EXPECT_EQ(access((base.path() + "out").c_str(), F_OK), -1);
    EXPECT_EQ(base.read("log.txt"), "");
}

TEST(Program, AWavFileThatCannotBePlayedIsAMisuse) {
    TempDir base;
    base.write("noise.wav", "RIFF, but not really");
    RunResult result =
        runProgram(base.path(), "--render " + base.path() + "out --frames 3 --audio " +
                                    base.path() + "noise.wav");
    EXPECT_EQ(result.exitCode, 2) << result.output;
    EXPECT_NE(result.output.find("cannot play " + base.path() + "noise.wav"), std::string::npos)
        << result.output;
}

TEST(Program, AWindowIdThatIsNoNumberIsRefused) {
    TempDir base;
    RunResult result = runProgram(base.path(), "-window-id 0xfeedzz");
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("'0xfeedzz' is not an X window id"), std::string::npos)
        << result.output;
}

}  // namespace
