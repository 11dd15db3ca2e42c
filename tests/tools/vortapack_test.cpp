// The archive tool, run as a separate process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

#include "app/random.h"
#include "tests/support/temp_dir.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/osFile.h"

extern char** environ;

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Vortapack : public ::testing::Test {
protected:
    Result run(std::vector<std::string> args) {
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
        pid_t pid;
        int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return {-1, "", "spawn failed"};
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    }

    // Every regular file below `root`, by relative path.
    static std::map<std::string, std::string> tree(const std::string& root) {
        std::map<std::string, std::string> files;
        for (const std::string& name : osListDir(root)) {
            if (name == "." || name == "..") continue;
            struct stat status;
            stat((root + name).c_str(), &status);
            if (S_ISDIR(status.st_mode)) {
                for (const auto& [path, content] : tree(root + name + "/"))
                    files[name + "/" + path] = content;
            } else {
                files[name] = readFile(root + name);
            }
        }
        return files;
    }

    TempDir io, dir;
};

TEST_F(Vortapack, RoundTripOfANestedTreeWithBinaryFiles) {
    visSeedRandom(77);
    std::string binary;
    for (int i = 0; i < 300000; ++i)
        binary += char(visRand());
    dir.write("src/scenes/a.xml", "<scenes/>");
    dir.write("src/tex/deep/er/noise.bin", binary);
    dir.write("src/tex/zeros.bin", std::string(70000, '\0'));
    dir.write("src/empty.txt", "");
    dir.write("src/with space.txt", "spaces are fine");
    for (bool store : {false, true}) {
        std::vector<std::string> create{"create", dir.path() + "a.vortapack", dir.path() + "src"};
        if (store) create.insert(create.begin() + 1, "--store");
        Result made = run(create);
        ASSERT_EQ(made.code, 0) << made.err;
        std::string target = dir.path() + (store ? "stored-out" : "out");
        Result extracted = run({"extract", dir.path() + "a.vortapack", target});
        ASSERT_EQ(extracted.code, 0) << extracted.err;
        EXPECT_EQ(tree(target + "/"), tree(dir.path() + "src/"));
        EXPECT_EQ(tree(target + "/").size(), 5u);

        Result listed = run({"list", dir.path() + "a.vortapack"});
        ASSERT_EQ(listed.code, 0);
        std::string flags = store ? "0x00000000 " : "0x00000001 ";
        EXPECT_EQ(listed.out.find(flags), 0u) << listed.out;
        EXPECT_NE(listed.out.find(" tex/deep/er/noise.bin\n"), std::string::npos);
        EXPECT_EQ(run({"verify", dir.path() + "a.vortapack"}).code, 0);
    }
}

TEST_F(Vortapack, ListShowsTheTableFields) {
    HandArchive hand;
    hand.add("one", "12345", false);
    dir.write("h.vortapack", hand.bytes());
    Result listed = run({"list", dir.path() + "h.vortapack"});
    ASSERT_EQ(listed.code, 0);
    char expected[100];
    std::snprintf(expected, sizeof expected, "0x00000000          5          5 0x%08X one\n",
                  referenceCrc("12345"));
    EXPECT_EQ(listed.out, expected);
}

TEST_F(Vortapack, CatPrintsOneEntryAndFailsLoudly) {
    HandArchive hand;
    hand.add("good", std::string("binary\0content", 14), true);
    hand.add("bad", "will not check", false).checksum ^= 4;
    dir.write("h.vortapack", hand.bytes());
    Result good = run({"cat", dir.path() + "h.vortapack", "good"});
    EXPECT_EQ(good.code, 0);
    EXPECT_EQ(good.out, std::string("binary\0content", 14));

    Result bad = run({"cat", dir.path() + "h.vortapack", "bad"});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("CVFile::loadFile CRC check fail"), std::string::npos) << bad.err;

    Result missing = run({"cat", dir.path() + "h.vortapack", "absent"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("absent"), std::string::npos);

    Result noArchive = run({"cat", dir.path() + "none.vortapack", "good"});
    EXPECT_EQ(noArchive.code, 1);
    EXPECT_NE(noArchive.err.find("couldn't open archive"), std::string::npos);
    EXPECT_EQ(run({"verify", dir.path() + "h.vortapack"}).code, 1);
}

TEST_F(Vortapack, VerifyNoticesDroppedHeaders) {
    HandArchive hand;
    hand.add("ok", "fine", false);
    std::string bytes = hand.bytes();
    // A second entry with a zero name length: dropped by the reader, which
    // then finds the end of the table.
    bytes[8] = 2;
    dir.write("h.vortapack", bytes + u32le(0) + u32le(0));
    Result verified = run({"verify", dir.path() + "h.vortapack"});
    EXPECT_EQ(verified.code, 1) << verified.out << verified.err;
    EXPECT_NE(verified.err.find("[fnlength]"), std::string::npos);
}

TEST_F(Vortapack, ExtractRefusesNamesThatLeaveTheDirectory) {
    for (const char* name : {"../x", "/abs", "a/../../x", "..", "dir/"}) {
        HandArchive hand;
        hand.add("harmless", "h", false);
        hand.add(name, "escape", false);
        dir.write("h.vortapack", hand.bytes());
        Result result = run({"extract", dir.path() + "h.vortapack", dir.path() + "out/inner"});
        EXPECT_EQ(result.code, 1) << name;
        EXPECT_NE(result.err.find(std::string("'") + name + "'"), std::string::npos) << result.err;
        EXPECT_FALSE(osFileExists(dir.path() + "out/x")) << name;
        EXPECT_FALSE(osFileExists(dir.path() + "x")) << name;
        EXPECT_FALSE(osFileExists(dir.path() + "out/inner/harmless")) << name;
    }
    EXPECT_FALSE(osFileExists("/abs"));
}

TEST_F(Vortapack, ExtractDoesNotFollowSymbolicLinks) {
    HandArchive hand;
    hand.add("link/file", "payload", false);
    dir.write("h.vortapack", hand.bytes());
    dir.write("out/.keep", "");
    dir.write("elsewhere/.keep", "");
    ASSERT_EQ(symlink((dir.path() + "elsewhere").c_str(), (dir.path() + "out/link").c_str()), 0);
    Result result = run({"extract", dir.path() + "h.vortapack", dir.path() + "out"});
    EXPECT_EQ(result.code, 1);
    EXPECT_FALSE(osFileExists(dir.path() + "elsewhere/file"));
}

TEST_F(Vortapack, UsageErrors) {
    Result help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: vortapack"), std::string::npos);
    for (std::vector<std::string> args : {std::vector<std::string>{},
                                          {"frobnicate"},
                                          {"list"},
                                          {"cat", "a"},
                                          {"create", "out"},
                                          {"--bogus", "list", "a"},
                                          {"extract", "a", "b", "c"},
                                          {"list", "--store", "a"}}) {
        Result result = run(args);
        EXPECT_EQ(result.code, 2) << testing::PrintToString(args);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
}

TEST_F(Vortapack, CreateFailures) {
    Result missing = run({"create", dir.path() + "a.vortapack", dir.path() + "nope"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("nope"), std::string::npos);
    dir.write("one/same.txt", "1");
    dir.write("two/same.txt", "2");
    Result clash =
        run({"create", dir.path() + "b.vortapack", dir.path() + "one", dir.path() + "two"});
    EXPECT_EQ(clash.code, 1);
    EXPECT_NE(clash.err.find("same.txt"), std::string::npos);
    EXPECT_FALSE(osFileExists(dir.path() + "b.vortapack"));
    // A single file is packed under its own name.
    Result single = run({"create", dir.path() + "c.vortapack", dir.path() + "one/same.txt"});
    ASSERT_EQ(single.code, 0) << single.err;
    EXPECT_EQ(run({"cat", dir.path() + "c.vortapack", "same.txt"}).out, "1");
}

}  // namespace
