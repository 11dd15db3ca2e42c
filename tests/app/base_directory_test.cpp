#include <gtest/gtest.h>

#include <filesystem>

#include "app/baseDirectory.h"
#include "tests/support/temp_dir.h"

namespace {

BaseDirectoryInputs inputsIn(const TempDir& dir) {
    BaseDirectoryInputs inputs;
    inputs.executablePath = "/usr/bin/vortalis";
    inputs.buildDir = dir.path() + "build";
    inputs.buildContentDir = dir.path() + "build/content";
    inputs.installedDataDir = "/usr/share/vortalis";
    return inputs;
}

TEST(BaseDirectory, NormalisesSeparatorsAndFinalSlash) {
    EXPECT_EQ(normaliseDirectory("C:\\Program Files\\Vortalis"), "C:/Program Files/Vortalis/");
    EXPECT_EQ(normaliseDirectory("/a/b/"), "/a/b/");
    EXPECT_EQ(normaliseDirectory(""), "/");
}

TEST(BaseDirectory, OverrideWinsOverEverything) {
    TempDir dir;
    BaseDirectoryInputs inputs = inputsIn(dir);
    inputs.overrideDir = "/srv/vortalis";
    inputs.home = dir.path().c_str();
    EXPECT_EQ(settleBaseDirectory(inputs), "/srv/vortalis/");
}

TEST(BaseDirectory, UserFolderCountsOnlyWhenItExists) {
    TempDir dir;
    BaseDirectoryInputs inputs = inputsIn(dir);
    std::string home = dir.path() + "home";
    inputs.home = home.c_str();
    // Without the folder the installed data directory serves; the user data
    // folder itself is created on the way.
    EXPECT_EQ(settleBaseDirectory(inputs), "/usr/share/vortalis/");
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.local/share"));
    std::filesystem::create_directories(home + "/.local/share/VortalisScreensaver");
    EXPECT_EQ(settleBaseDirectory(inputs), home + "/.local/share/VortalisScreensaver/");
}

TEST(BaseDirectory, XdgDataHomeComesBeforeHome) {
    TempDir dir;
    BaseDirectoryInputs inputs = inputsIn(dir);
    std::string xdg = dir.path() + "xdg";
    std::filesystem::create_directories(xdg + "/VortalisScreensaver");
    inputs.xdgDataHome = xdg.c_str();
    inputs.home = "/nonexistent-home";
    EXPECT_EQ(settleBaseDirectory(inputs), xdg + "/VortalisScreensaver/");
}

TEST(BaseDirectory, ProgramInItsBuildTreeUsesTheBuiltContent) {
    TempDir dir;
    BaseDirectoryInputs inputs = inputsIn(dir);
    inputs.executablePath = dir.path() + "build/app/vortalis";
    EXPECT_EQ(settleBaseDirectory(inputs), dir.path() + "build/content/");
    // A sibling folder whose name merely starts like the build tree does not count.
    inputs.executablePath = dir.path() + "build-other/app/vortalis";
    EXPECT_EQ(settleBaseDirectory(inputs), "/usr/share/vortalis/");
}

}  // namespace
