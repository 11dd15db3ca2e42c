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

TEST(CommandLineHosts, RootAndWindowIdNameTheHostsWindow) {
    LaunchOptions root = parseArgs({"-root"});
    EXPECT_EQ(root.mode, LaunchMode::Visualiser);
    EXPECT_EQ(root.host, HostKind::Root);
    LaunchOptions hex = parseArgs({"--verbose", "-window-id", "0x2a0001f"});
    EXPECT_EQ(hex.host, HostKind::Window);
    EXPECT_EQ(hex.hostWindow, 0x2a0001fu);
    EXPECT_TRUE(hex.verbose);
    EXPECT_EQ(parseArgs({"--window-id", "44040223"}).hostWindow, 44040223u);
    for (auto args : {std::vector<const char*>{"-window-id"},
                      {"-window-id", "0x"},
                      {"-window-id", "12ab"},
                      {"-window-id", "0"},
                      {"-window-id", "4294967296"},
                      {"-window-id", "-5"}}) {
        LaunchOptions refused = parseArgs(args);
        EXPECT_EQ(refused.mode, LaunchMode::Refuse) << args.back();
        EXPECT_EQ(launchExitCode(refused), 1) << args.back();
    }
}

TEST(CommandLineHosts, WindowIdsAreDecimalOrHexadecimal) {
    uint32_t id = 0;
    EXPECT_TRUE(parseWindowId("0XABCdef", &id));
    EXPECT_EQ(id, 0xabcdefu);
    EXPECT_TRUE(parseWindowId("0100", &id));
    EXPECT_EQ(id, 100u);
    EXPECT_TRUE(parseWindowId("4294967295", &id));
    EXPECT_EQ(id, 4294967295u);
    for (const char* bad : {"", "x12", "0x", "0x1g", " 12", "12 ", "+12", "0x100000000"})
        EXPECT_FALSE(parseWindowId(bad, &id)) << "'" << bad << "'";
}

TEST(CommandLineHosts, XscreensaverWindowNamesTheWindowUnlessWindowIdDid) {
    LaunchOptions plain = parseArgs({});
    EXPECT_EQ(applyHostEnvironment(plain, "0x1e00007"), "");
    EXPECT_EQ(plain.host, HostKind::Window);
    EXPECT_EQ(plain.hostWindow, 0x1e00007u);

    // xscreensaver passes -root and means its own window.
    LaunchOptions root = parseArgs({"-root"});
    applyHostEnvironment(root, "31457287");
    EXPECT_EQ(root.host, HostKind::Window);
    EXPECT_EQ(root.hostWindow, 31457287u);

    LaunchOptions explicitId = parseArgs({"-window-id", "0x600009"});
    applyHostEnvironment(explicitId, "0x1e00007");
    EXPECT_EQ(explicitId.hostWindow, 0x600009u);

    LaunchOptions garbage = parseArgs({"-root"});
    EXPECT_NE(applyHostEnvironment(garbage, "window"), "");
    EXPECT_EQ(garbage.host, HostKind::Root);

    // Only the visualiser draws in a host's window.
    for (auto args : {std::vector<const char*>{"/c"}, {"--render", "out", "--frames", "3"}}) {
        LaunchOptions other = parseArgs(args);
        LaunchMode mode = other.mode;
        EXPECT_EQ(applyHostEnvironment(other, "0x1e00007"), "");
        EXPECT_EQ(other.mode, mode);
        EXPECT_EQ(other.host, HostKind::None);
    }
    LaunchOptions none = parseArgs({});
    applyHostEnvironment(none, nullptr);
    EXPECT_EQ(none.host, HostKind::None);
}

TEST(CommandLineRender, ReadsEveryRenderOption) {
    LaunchOptions options =
        parseArgs({"--render", "/tmp/frames", "--frames", "250", "--fps", "29.97", "--size",
                   "1920x1080", "--audio", "song.wav", "--scene", "pulse", "--verbose"});
    ASSERT_EQ(options.mode, LaunchMode::Render) << options.error;
    EXPECT_EQ(options.render.directory, "/tmp/frames");
    EXPECT_EQ(options.render.frames, 250);
    EXPECT_DOUBLE_EQ(options.render.framesPerSecond, 29.97);
    EXPECT_EQ(options.render.width, 1920);
    EXPECT_EQ(options.render.height, 1080);
    EXPECT_EQ(options.render.audioFile, "song.wav");
    EXPECT_EQ(options.render.sceneId, "pulse");
    EXPECT_TRUE(options.verbose);

    LaunchOptions defaults = parseArgs({"--frames", "3", "--render", "out"});
    ASSERT_EQ(defaults.mode, LaunchMode::Render);
    EXPECT_DOUBLE_EQ(defaults.render.framesPerSecond, 60.0);
    EXPECT_EQ(defaults.render.width, 1280);
    EXPECT_EQ(defaults.render.height, 720);
    EXPECT_TRUE(defaults.render.audioFile.empty());
    EXPECT_TRUE(defaults.render.sceneId.empty());
}

TEST(CommandLineRender, MisuseExitsWithTwo) {
    for (auto args : {std::vector<const char*>{"--render", "out"},
                      {"--frames", "3"},
                      {"--scene", "pulse"},
                      {"--render"},
                      {"--render", "out", "--frames", "3.5"},
                      {"--render", "out", "--frames", "100000"},
                      {"--render", "out", "--frames", "3", "--fps", "1"},
                      {"--render", "out", "--frames", "3", "--fps", "fast"},
                      {"--render", "out", "--frames", "3", "--size", "640x"},
                      {"--render", "out", "--frames", "3", "--size", "0x480"},
                      {"--render", "out", "--frames", "3", "--size", "16385x2"},
                      {"--render", "out", "--frames", "3", "--audio"},
                      {"--render", "out", "--frames", "3", "--fullscreen"},
                      {"--render", "out", "--frames", "3", "-window-id", "77"}}) {
        LaunchOptions options = parseArgs(args);
        std::string line;
        for (const char* arg : args)
            line += std::string(arg) + " ";
        EXPECT_EQ(options.mode, LaunchMode::Refuse) << line;
        EXPECT_EQ(launchExitCode(options), 2) << line;
        EXPECT_FALSE(options.error.empty()) << line;
    }
}

}  // namespace
