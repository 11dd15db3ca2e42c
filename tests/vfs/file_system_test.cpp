// The virtual file system: mounting, precedence, listings, disk files.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <optional>
#include <thread>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/fileSystem.h"

namespace {

using Contents = std::vector<std::pair<std::string, std::string>>;

class FileSystem : public ::testing::Test {
protected:
    ~FileSystem() override {
        if (CVFileSystem::instance()) CVFileSystem::destroy();
    }
    // Writes an archive with these entries (alternately stored and compressed).
    std::string archive(const std::string& file, const Contents& contents) {
        HandArchive hand;
        bool compressed = false;
        for (const auto& [name, content] : contents)
            hand.add(name, content, compressed = !compressed);
        dir.write(file, hand.bytes());
        return dir.path() + file;
    }
    CVFileSystem& create() {
        CVFileSystem::create(dir.path());
        return CVFileSystem::get();
    }
    static std::optional<std::string> load(const std::string& name) {
        uint32_t length = 777;
        char* content = vfileLoad(name, &length);
        if (!content) {
            EXPECT_EQ(length, 0u);
            return std::nullopt;
        }
        EXPECT_EQ(content[length], '\0');
        std::string result(content, length);
        vfileFree(content);
        return result;
    }

    TempDir dir;
    LogCapture log;
};

TEST_F(FileSystem, CreateMountsEveryArchiveInTheBaseDirectoryInNameOrder) {
    archive("b.vortapack", {{"x", "from b"}});
    archive("a.vortapack", {{"x", "from a"}, {"only-a", "a"}});
    archive("c.vortapack.old", {{"x", "not an archive by name"}});
    archive("d.VORTAPACK", {{"x", "suffix is case-sensitive"}});
    dir.write("broken.vortapack", "QRX5");
    CVFileSystem& fs = create();
    EXPECT_EQ(fs.archivePaths(),
              (std::vector<std::string>{dir.path() + "a.vortapack", dir.path() + "b.vortapack"}));
    EXPECT_EQ(load("x"), "from b");
    EXPECT_EQ(load("only-a"), "a");
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "broken.vortapack' [magic]"));
}

TEST_F(FileSystem, LifecycleAssertions) {
    EXPECT_THROW(CVFileSystem::get(), VisException);
    EXPECT_TRUE(log.contains(LOG_FATAL, "CVFileSystem not initialised\n"));
    EXPECT_THROW(vfileLoad("x"), VisException);
    EXPECT_THROW(vfileSize("x"), VisException);
    EXPECT_THROW(CVFileSystem::destroy(), VisException);
    EXPECT_THROW(CVFileSystem::create("no/slash"), VisException);
    EXPECT_THROW(CVFileSystem::create(""), VisException);
    EXPECT_EQ(CVFileSystem::instance(), nullptr);
    log.clear();
    create();
    EXPECT_THROW(CVFileSystem::create(dir.path()), VisException);
    EXPECT_TRUE(log.contains(LOG_FATAL, "ASSERT FAILED AT "));
    EXPECT_TRUE(log.contains(LOG_FATAL, "fileSystem"));
    CVFileSystem::destroy();
    EXPECT_EQ(CVFileSystem::instance(), nullptr);
}

TEST_F(FileSystem, TheNewestArchiveWinsUntilItIsRemoved) {
    std::string first = archive("one.pack", {{"scenes/a.xml", "old"}});
    std::string second = archive("two.pack", {{"pad", ""}, {"scenes/a.xml", "new"}});
    CVFileSystem& fs = create();
    fs.addArchive(first);
    fs.addArchive(second);
    EXPECT_EQ(load("scenes/a.xml"), "new");
    EXPECT_EQ(fs.findFile("scenes/a.xml")->archive(), fs.findArchive(second));
    fs.removeArchive(second);
    EXPECT_EQ(load("scenes/a.xml"), "old");
    EXPECT_EQ(fs.findArchive(second), nullptr);
    fs.removeArchive(second);  // nothing left to remove: no effect
    fs.removeArchive(first);
    EXPECT_EQ(load("scenes/a.xml"), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "vfileLoad: File 'scenes/a.xml' not found\n"));
}

TEST_F(FileSystem, RemovingKeepsTheOrderOfTheOthers) {
    std::string a = archive("a.pack", {{"n", "a"}});
    std::string b = archive("b.pack", {{"n", "b"}});
    std::string c = archive("c.pack", {{"n", "c"}});
    CVFileSystem& fs = create();
    for (const auto& path : {a, b, c})
        fs.addArchive(path);
    fs.removeArchive(b);
    EXPECT_EQ(fs.archivePaths(), (std::vector<std::string>{a, c}));
    EXPECT_EQ(load("n"), "c");
    fs.removeArchive(c);
    EXPECT_EQ(load("n"), "a");
}

TEST_F(FileSystem, AnArchiveComesBeforeADiskFile) {
    dir.write("data/x.js", "from disk");
    std::string path = archive("a.pack", {{"data/x.js", "from archive"}});
    CVFileSystem& fs = create();
    fs.addFile("data/x.js");
    EXPECT_EQ(load("data/x.js"), "from disk");
    fs.addArchive(path);
    EXPECT_EQ(load("data/x.js"), "from archive");
    EXPECT_EQ(fs.findFile("data/x.js")->archive(), fs.findArchive(path));
}

TEST_F(FileSystem, NamesAreNotNormalised) {
    std::string path = archive("a.pack", {{"scenes/a.xml", "x"}});
    CVFileSystem& fs = create();
    fs.addArchive(path);
    for (const char* name : {"Scenes/a.xml", "scenes\\a.xml", "./scenes/a.xml",
                             "scenes/../scenes/a.xml", "/scenes/a.xml", "scenes/a.xm"}) {
        EXPECT_EQ(fs.findFile(name), nullptr) << name;
    }
    // A file under the base directory that is neither mounted nor registered is not found.
    dir.write("loose.txt", "x");
    EXPECT_EQ(load("loose.txt"), std::nullopt);
}

TEST_F(FileSystem, AddingAMountedPathAgainChangesNothingUntilReload) {
    std::string path = archive("a.pack", {{"f", "version 1"}});
    std::string other = archive("b.pack", {{"g", "g"}});
    CVFileSystem& fs = create();
    fs.addArchive(path);
    fs.addArchive(other);
    archive("a.pack", {{"f", "version 2"}});
    fs.addArchive(path);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Archive " + path + " has already been added!\n"));
    EXPECT_EQ(fs.archivePaths().size(), 2u);
    EXPECT_EQ(load("f"), "version 1");

    log.clear();
    fs.reloadArchives();
    EXPECT_EQ(load("f"), "version 2");
    EXPECT_EQ(fs.archivePaths(), (std::vector<std::string>{path, other}));
    const auto& lines = log.lines();
    std::vector<std::string> infos;
    for (const auto& line : lines)
        if (line.level == LOG_INFO && line.text.rfind("Re", 0) == 0) infos.push_back(line.text);
    EXPECT_EQ(infos, (std::vector<std::string>{
                         "Removing archive " + path + "\n", "Removing archive " + other + "\n",
                         "Reloading archive " + path + "\n", "Reloading archive " + other + "\n"}));
}

TEST_F(FileSystem, ReloadDropsArchivesThatHaveGoneBad) {
    std::string path = archive("a.pack", {{"f", "x"}});
    std::string other = archive("b.pack", {{"g", "y"}});
    CVFileSystem& fs = create();
    fs.addArchive(path);
    fs.addArchive(other);
    dir.write("a.pack", "garbage!");
    fs.reloadArchives();
    EXPECT_EQ(fs.archivePaths(), (std::vector<std::string>{other}));
    EXPECT_EQ(load("g"), "y");
}

TEST_F(FileSystem, AnInvalidArchiveLeavesTheListUnchanged) {
    dir.write("bad.pack", "QRX51.00" + u32le(1));
    CVFileSystem& fs = create();
    fs.addArchive(dir.path() + "bad.pack");
    fs.addArchive(dir.path() + "missing.pack");
    EXPECT_TRUE(fs.archivePaths().empty());
    EXPECT_EQ(fs.findArchive(dir.path() + "bad.pack"), nullptr);
}

TEST_F(FileSystem, ListFilesOnTwoArchivesAndDiskFiles) {
    std::string older = archive(
        "1.pack",
        {{"scenes/a.xml", "1"}, {"scenes/sub/b.xml", "1"}, {"scenes/", "dir-named"}, {"top", "t"}});
    std::string newer = archive("2.pack", {{"scenes/a.xml", "2"}, {"scenes/c.js", "2"}});
    dir.write("scenes/disk.xml", "d");
    CVFileSystem& fs = create();
    fs.addArchive(older);
    fs.addArchive(newer);
    fs.addFile("scenes/disk.xml");
    EXPECT_EQ(fs.listFiles("scenes/"),
              (std::vector<std::string>{"scenes/disk.xml", "scenes/a.xml", "scenes/",
                                        "scenes/a.xml", "scenes/c.js"}));
    EXPECT_EQ(fs.listFiles(""), (std::vector<std::string>{"top"}));
    EXPECT_TRUE(fs.listFiles("tex/").empty());

    std::vector<std::string> scenes{"kept"};
    fs.listArchiveFiles(fs.findArchive(older), "scenes/", ".xml", scenes);
    EXPECT_EQ(scenes, (std::vector<std::string>{"kept", "scenes/a.xml"}));
    scenes.clear();
    fs.listArchiveFiles(fs.findArchive(newer), "scenes/", "", scenes);
    EXPECT_EQ(scenes, (std::vector<std::string>{"scenes/a.xml", "scenes/c.js"}));
}

TEST(VfileInDirectory, Rules) {
    EXPECT_TRUE(vfileInDirectory("scenes/a.xml", "scenes/"));
    EXPECT_FALSE(vfileInDirectory("scenes/sub/b.xml", "scenes/"));
    EXPECT_TRUE(vfileInDirectory("scenes/", "scenes/"));
    EXPECT_FALSE(vfileInDirectory("scene", "scenes/"));
    EXPECT_FALSE(vfileInDirectory("tex/scenes/a", "scenes/"));
    EXPECT_TRUE(vfileInDirectory("a.xml", ""));
    EXPECT_FALSE(vfileInDirectory("a/b", ""));
    // Byte prefix only: a directory without a slash matches longer names.
    EXPECT_TRUE(vfileInDirectory("scenesX.xml", "scenes"));
}

TEST_F(FileSystem, AGrownDiskFileLoadsAtItsNewSize) {
    dir.write("data/script.js", "short");
    CVFileSystem& fs = create();
    fs.addFile("data/script.js");
    EXPECT_EQ(vfileSize("data/script.js"), 5u);
    dir.write("data/script.js", "considerably longer");
    EXPECT_EQ(vfileSize("data/script.js"), 5u);  // the disk is not asked again
    EXPECT_FALSE(log.contains("has changed"));
    EXPECT_EQ(load("data/script.js"), "considerably longer");
    EXPECT_TRUE(log.contains(LOG_WARNING,
                             "CVFile::loadFile - file size has changed for 'data/script.js'\n"));
    EXPECT_EQ(vfileSize("data/script.js"), 19u);
    log.clear();
    EXPECT_EQ(load("data/script.js"), "considerably longer");
    EXPECT_FALSE(log.contains("has changed"));
}

TEST_F(FileSystem, DiskFileRegistration) {
    dir.write("a.txt", "first");
    CVFileSystem& fs = create();
    fs.addFile("a.txt");
    fs.addFile("a.txt");
    EXPECT_EQ(fs.listFiles(""), (std::vector<std::string>{"a.txt"}));
    fs.addFile("missing.txt");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Cannot stat file! '" + dir.path() + "missing.txt'"));
    EXPECT_EQ(vfileSize("missing.txt"), 0u);
    EXPECT_EQ(load("missing.txt"), std::nullopt);
    fs.addFile(dir.path() + "a.txt");
    fs.addFile("/etc/hostname");
    EXPECT_EQ(fs.findFile(dir.path() + "a.txt"), nullptr);
    EXPECT_EQ(fs.findFile("/etc/hostname"), nullptr);
}

TEST_F(FileSystem, NotFoundIsReportedAndSurvived) {
    create();
    EXPECT_EQ(load("nothing"), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "vfileLoad: File 'nothing' not found\n"));
    EXPECT_EQ(vfileSize("nothing"), 0u);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "vfileSize: File 'nothing' not found\n"));
    EXPECT_EQ(vfileLoad("nothing"), nullptr);  // the length is optional
}

TEST_F(FileSystem, SizeOfAnUncompressedMismatchIsCorrectedByTheLoad) {
    HandArchive hand;
    hand.add("f", "12345", false).size = 9;
    dir.write("a.pack", hand.bytes());
    CVFileSystem& fs = create();
    fs.addArchive(dir.path() + "a.pack");
    EXPECT_EQ(vfileSize("f"), 9u);
    EXPECT_EQ(load("f"), "12345");
    EXPECT_EQ(vfileSize("f"), 5u);
}

// The texture loader thread reads while the main thread mounts and unmounts.
TEST_F(FileSystem, LoadsOnAnotherThreadSurviveArchiveChanges) {
    std::string big(200000, 'z');
    std::string stable = archive("stable.pack", {{"tex/s.png", big}});
    std::string moving = archive("moving.pack", {{"tex/m.png", "moving"}, {"tex/s.png", big}});
    CVFileSystem& fs = create();
    fs.addArchive(stable);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, loads{0};
    std::thread loader([&] {
        while (!stop) {
            uint32_t length = 0;
            char* content = vfileLoad("tex/s.png", &length);
            if (!content || std::string(content, length) != big) ++wrong;
            vfileFree(content);
            content = vfileLoad("tex/m.png", &length);
            if (content && std::string(content, length) != "moving") ++wrong;
            vfileFree(content);
            ++loads;
        }
    });
    for (int i = 0; i < 100; ++i) {
        fs.addArchive(moving);
        if (i % 10 == 0) fs.reloadArchives();
        fs.removeArchive(moving);
    }
    while (loads < 20)
        std::this_thread::yield();
    stop = true;
    loader.join();
    EXPECT_EQ(wrong, 0);
}

// Loads correct the size field (uncompressed mismatch, grown disk file) while
// another thread reads it.
TEST_F(FileSystem, SizeCorrectionsDoNotRaceWithReaders) {
    HandArchive hand;
    hand.add("mismatch", "12345", false).size = 50;
    dir.write("a.pack", hand.bytes());
    dir.write("grown.txt", "1");
    CVFileSystem& fs = create();
    fs.addArchive(dir.path() + "a.pack");
    fs.addFile("grown.txt");
    dir.write("grown.txt", "123");
    std::atomic<int> wrong{0};
    std::thread loader([&] {
        for (int i = 0; i < 200; ++i) {
            if (load("mismatch") != "12345") ++wrong;
            if (load("grown.txt") != "123") ++wrong;
        }
    });
    for (int i = 0; i < 200; ++i) {
        uint32_t size = vfileSize("mismatch");
        if (size != 50 && size != 5) ++wrong;
        size = vfileSize("grown.txt");
        if (size != 1 && size != 3) ++wrong;
    }
    loader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(vfileSize("mismatch"), 5u);
    EXPECT_EQ(vfileSize("grown.txt"), 3u);
}

}  // namespace
