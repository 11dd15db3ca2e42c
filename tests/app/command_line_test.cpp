#include <gtest/gtest.h>

#include <vector>

#include "app/commandLine.h"

namespace {

LaunchOptions parseArgs(std::vector<const char*> args) {
    args.insert(args.begin(), "vortalis");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTokens, CutsAtSingleSpacesIntoThreeTruncatedTokens) {
    EXPECT_TRUE(commandLineTokens("").empty());
    EXPECT_EQ(commandLineTokens("/s"), std::vector<std::string>{"/s"});
    EXPECT_EQ(commandLineTokens("/s  /c"), (std::vector<std::string>{"/s", "", "/c"}));
    EXPECT_EQ(commandLineTokens("a b c d e"), (std::vector<std::string>{"a", "b", "c"}));
    std::string longToken = "/" + std::string(100, 'x');
    ASSERT_EQ(commandLineTokens(longToken).size(), 1u);
    EXPECT_EQ(commandLineTokens(longToken)[0].size(), 63u);
}

TEST(CommandLineTokens, JoinsArgumentsWithSingleSpaces) {
    const char* argv[] = {"vortalis", "/p", "1234"};
    EXPECT_EQ(joinArguments(3, argv), "/p 1234");
    EXPECT_EQ(joinArguments(1, argv), "");
}

TEST(CommandLineSwitches, EmptyLineRunsWindowed) {
    LaunchOptions options = parseArgs({});
    EXPECT_EQ(options.mode, LaunchMode::Visualiser);
    EXPECT_FALSE(options.fullScreen);
}

TEST(CommandLineSwitches, RepeatedFullScreenSwitchesRun) {
    for (auto args : {std::vector<const char*>{"/s", "/s"}, {"/S"}, {"/s1"}}) {
        LaunchOptions options = parseArgs(args);
        EXPECT_EQ(options.mode, LaunchMode::Visualiser);
        EXPECT_TRUE(options.fullScreen);
    }
}

TEST(CommandLineSwitches, UnknownOrMalformedTokensExitWithOne) {
    for (auto args : {std::vector<const char*>{"/s", "/x"},
                      {"s"},
                      {"/"},
                      {"/s", "", "/s"},
                      {"1234"},
                      {"/s", "/s", "/s", "/x"}}) {
        LaunchOptions options = parseArgs(args);
        if (args.size() == 4) {
            // Only three tokens are examined, so the fourth never counts.
            EXPECT_EQ(options.mode, LaunchMode::Visualiser);
            continue;
        }
        EXPECT_EQ(options.mode, LaunchMode::Refuse) << args[0];
        EXPECT_EQ(launchExitCode(options), 1);
    }
}

TEST(CommandLineSwitches, PreviewIsRefusedAndConfigureAcceptsHostForm) {
    EXPECT_EQ(launchExitCode(parseArgs({"/p", "1234"})), 1);
    EXPECT_EQ(launchExitCode(parseArgs({"/P"})), 1);
    EXPECT_EQ(parseArgs({"/c:1234"}).mode, LaunchMode::Configure);
    EXPECT_EQ(parseArgs({"/C"}).mode, LaunchMode::Configure);
    EXPECT_EQ(parseArgs({"/s", "/c"}).mode, LaunchMode::Configure);
}

TEST(CommandLineOptions, OwnOptionsNeverCollideWithSwitches) {
    EXPECT_EQ(parseArgs({"--help"}).mode, LaunchMode::Help);
    EXPECT_EQ(parseArgs({"--version"}).mode, LaunchMode::Version);
    LaunchOptions verbose = parseArgs({"--verbose", "--fullscreen"});
    EXPECT_EQ(verbose.mode, LaunchMode::Visualiser);
    EXPECT_TRUE(verbose.verbose);
    EXPECT_TRUE(verbose.fullScreen);
    LaunchOptions unknown = parseArgs({"--frobnicate"});
    EXPECT_EQ(launchExitCode(unknown), 1);
    EXPECT_NE(unknown.error.find("--frobnicate"), std::string::npos);
}

}  // namespace
