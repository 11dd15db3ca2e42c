// The disk file functions.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "vfs/osFile.h"

namespace {

TEST(OsFile, LoadReadsTheRequestedLengthAndTerminates) {
    TempDir dir;
    dir.write("f.bin", std::string("ab\0cd", 5));
    uint32_t got = 0;
    VFileBuffer whole(osFileLoad(dir.path() + "f.bin", 5, &got));
    ASSERT_TRUE(whole);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(whole.get(), 6), std::string("ab\0cd\0", 6));
    VFileBuffer part(osFileLoad(dir.path() + "f.bin", 2));
    EXPECT_EQ(std::string(part.get(), 3), std::string("ab\0", 3));
}

TEST(OsFile, AShortReadWarnsAndZeroFillsTheRest) {
    TempDir dir;
    dir.write("f.txt", "abc");
    LogCapture log;
    uint32_t got = 0;
    VFileBuffer buffer(osFileLoad(dir.path() + "f.txt", 8, &got));
    ASSERT_TRUE(buffer);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(std::string(buffer.get(), 9), std::string("abc\0\0\0\0\0\0", 9));
    EXPECT_TRUE(log.contains(LOG_WARNING, "osFileLoad: Unable to read entire file! 3 vs. 8 in '" +
                                              dir.path() + "f.txt'\n"));
}

TEST(OsFile, MissingFilesAndDirectoriesDoNotLoad) {
    TempDir dir;
    LogCapture log;
    uint32_t got = 99;
    EXPECT_EQ(osFileLoad(dir.path() + "none", 4, &got), nullptr);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "osFileLoad: Unable to open file! '" + dir.path() + "none'"));
    EXPECT_EQ(osFileLoad(dir.path(), 4), nullptr);
    EXPECT_FALSE(osFileExists(dir.path()));
    EXPECT_FALSE(osFileExists(dir.path() + "none"));
    dir.write("yes", "");
    EXPECT_TRUE(osFileExists(dir.path() + "yes"));
}

TEST(OsFile, SizeComesFromTheOperatingSystem) {
    TempDir dir;
    dir.write("f", std::string(1234, 'x'));
    EXPECT_EQ(osFileSize(dir.path() + "f"), 1234u);
    LogCapture log;
    EXPECT_EQ(osFileSize(dir.path() + "g"), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Cannot stat file! '" + dir.path() + "g'\n"));
}

TEST(OsFile, ListDirIncludesDotsAndSubdirectoriesInOrder) {
    TempDir dir;
    EXPECT_EQ(osListDir(dir.path()), (std::vector<std::string>{".", ".."}));
    dir.write("b.vortapack", "");
    dir.write("a.txt", "");
    dir.write("sub/inner", "");
    EXPECT_EQ(osListDir(dir.path()),
              (std::vector<std::string>{".", "..", "a.txt", "b.vortapack", "sub"}));
    EXPECT_TRUE(osListDir(dir.path() + "nowhere/").empty());
}

TEST(OsFile, AbsolutePaths) {
    for (const char* path : {"/usr", "\\share", "C:/x", "c:\\x", "/"})
        EXPECT_TRUE(osIsAbsolutePath(path)) << path;
    for (const char* path : {"", "scenes/a.xml", "C:x", "ab:/x", "./x", "x/C:/y"})
        EXPECT_FALSE(osIsAbsolutePath(path)) << path;
}

}  // namespace
