// Loading entries of hand-made archives, from memory and from the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/log.h"
#include "app/random.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/archive.h"

namespace {

std::string binaryContent(size_t count, unsigned seed) {
    visSeedRandom(seed);
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += char(visRand() >> 3);
    return out;
}

// Parameter: whether the archive's bytes are held in memory (as the file
// system does) or every load goes back to the file.
class ArchiveLoad : public ::testing::TestWithParam<bool> {
protected:
    CVFileArchive& mount(const std::string& bytes) {
        dir.write("t.vortapack", bytes);
        archive = std::make_unique<CVFileArchive>(dir.path() + "t.vortapack");
        EXPECT_TRUE(archive->loaded());
        if (GetParam()) {
            EXPECT_TRUE(archive->loadBytes());
        }
        return *archive;
    }
    std::optional<std::string> load(const std::string& name) {
        CVFile* entry = archive->findEntry(name);
        if (!entry) return std::nullopt;
        uint32_t length = 12345;
        char* content = entry->loadFile(&length);
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
    std::unique_ptr<CVFileArchive> archive;
};

TEST_P(ArchiveLoad, EntriesInOddOrderWithGapsLoadExactly) {
    HandArchive hand;
    std::string text = "<scenes><Scene id=\"a\"/></scenes>";
    std::string binary = binaryContent(70000, 3);
    hand.add("scenes/a.xml", text, false);
    hand.add("tex/b.bin", binary, true);
    hand.add("empty-stored", "", false);
    hand.add("empty-packed", "", true);
    hand.add("shaders/s.glsl", std::string(5000, 'q'), true);
    mount(hand.bytes({4, 2, 0, 3, 1}, 7));
    EXPECT_EQ(load("scenes/a.xml"), text);
    EXPECT_EQ(load("tex/b.bin"), binary);
    EXPECT_EQ(load("empty-stored"), "");
    EXPECT_EQ(load("empty-packed"), "");
    EXPECT_EQ(load("shaders/s.glsl"), std::string(5000, 'q'));
    EXPECT_FALSE(log.contains(LOG_SERIOUS, "")) << log.all();
    // Loads keep no state: a second round gives the same.
    EXPECT_EQ(load("tex/b.bin"), binary);
}

TEST_P(ArchiveLoad, StoredBytesMayLieAnywhereAfterTheTable) {
    HandArchive hand;
    hand.add("x", "same content", false);
    hand.add("y", "same content", false);
    std::string bytes = hand.bytes({0}, 0);
    // "y" is laid out by hand at the very end, after bytes nobody refers to.
    bytes += "unreferenced";
    hand.entries[1].fixedOffset = true;
    hand.entries[1].offset = uint32_t(bytes.size());
    bytes = hand.bytes({0}, 0) + "unreferenced" + hand.entries[1].stored;
    mount(bytes);
    EXPECT_EQ(load("x"), "same content");
    EXPECT_EQ(load("y"), "same content");
}

TEST_P(ArchiveLoad, FlagBitsOtherThanCompressionAreIgnored) {
    HandArchive hand;
    hand.add("plain", "plain text", false).flags = 0xFFFFFFFE;
    hand.add("packed", "packed text packed text", true).flags = 0x80000001;
    mount(hand.bytes());
    EXPECT_EQ(load("plain"), "plain text");
    EXPECT_EQ(load("packed"), "packed text packed text");
}

TEST_P(ArchiveLoad, UncompressedSizeMismatchTakesTheStoredSize) {
    HandArchive hand;
    hand.add("x.txt", "hello", false).size = 100;
    mount(hand.bytes());
    EXPECT_EQ(load("x.txt"), "hello");
    EXPECT_TRUE(log.contains(LOG_SERIOUS,
                             "CVFile::loadFile archived size doesn't match for uncompressed file "
                             "x.txt - 100 v 5\n"));
    EXPECT_EQ(archive->findEntry("x.txt")->size(), 5u);
    log.clear();
    EXPECT_EQ(load("x.txt"), "hello");
    EXPECT_FALSE(log.contains("doesn't match"));
}

TEST_P(ArchiveLoad, AnyChangedStoredByteFailsTheChecksum) {
    std::string content = binaryContent(3000, 9);
    for (bool compressed : {false, true}) {
        HandArchive hand;
        hand.add("e", content, compressed);
        size_t storedSize = hand.entries[0].stored.size();
        for (size_t position : {size_t(0), storedSize / 2, storedSize - 1}) {
            HandArchive damaged = hand;
            damaged.entries[0].stored[position] ^= 0x20;
            log.clear();
            mount(damaged.bytes());
            EXPECT_EQ(load("e"), std::nullopt) << compressed << " " << position;
            EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadFile CRC check fail\n"));
            // The entry stays and a later load tries again.
            EXPECT_NE(archive->findEntry("e"), nullptr);
        }
    }
}

TEST_P(ArchiveLoad, AWrongChecksumFails) {
    HandArchive hand;
    hand.add("e", "content", true).checksum ^= 1;
    mount(hand.bytes());
    EXPECT_EQ(load("e"), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CRC check fail"));
}

TEST_P(ArchiveLoad, DataOutsideTheArchiveIsAShortRead) {
    HandArchive hand;
    hand.add("inside", "fine", false);
    HandEntry& beyond = hand.add("beyond", "0123456789", false);
    beyond.fixedOffset = true;
    beyond.offset = 0xFFFFFF00;
    HandEntry& crossing = hand.add("crossing", "0123456789", false);
    crossing.fixedStoredSize = true;
    crossing.storedSize = 0xFFFFFFF0;
    hand.add("huge", "x", true).size = 0xFFFFFFF0;
    mount(hand.bytes({0, 2, 3}));
    EXPECT_EQ(load("beyond"), std::nullopt);
    EXPECT_TRUE(log.contains(
        LOG_WARNING, "CVFile::loadFile archive not long enough (expected 10 bytes, got 0)"));
    EXPECT_EQ(load("crossing"), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_WARNING, "archive not long enough"));
    EXPECT_EQ(load("huge"), std::nullopt);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadFile compressed file size mismatch"));
    EXPECT_EQ(load("inside"), "fine");
}

TEST_P(ArchiveLoad, AnEntryEndingAtTheLastByteIsComplete) {
    HandArchive hand;
    hand.add("first", "abc", false);
    hand.add("last", "the very end", true);
    mount(hand.bytes());
    EXPECT_EQ(load("last"), "the very end");
    HandArchive cut = hand;
    std::string bytes = cut.bytes();
    mount(bytes.substr(0, bytes.size() - 1));
    EXPECT_EQ(load("last"), std::nullopt);
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "got " + std::to_string(hand.entries[1].stored.size() - 1)));
}

// A stream that inflates to more or fewer bytes than the size field fails,
// even when the checksum matches the bytes that fit.
TEST_P(ArchiveLoad, CompressedEntriesMustInflateToExactlyTheirSize) {
    std::string content = "0123456789abcdefghij";
    HandArchive hand;
    HandEntry& longer = hand.add("longer", content, true);
    longer.size = 10;
    longer.checksum = referenceCrc(content.substr(0, 10));
    hand.add("shorter", content, true).size = 30;
    HandEntry& garbage = hand.add("garbage", "", true);
    garbage.stored = referenceScramble("garbage", "this is not a zlib stream");
    garbage.size = 4;
    mount(hand.bytes());
    for (const char* name : {"longer", "shorter", "garbage"}) {
        log.clear();
        EXPECT_EQ(load(name), std::nullopt) << name;
        EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadFile compressed file size mismatch"))
            << name;
    }
}

TEST_P(ArchiveLoad, TheFirstOfTwoEqualNamesIsFound) {
    HandArchive hand;
    hand.add("dup", "first", false);
    hand.add("dup", "second", false);
    mount(hand.bytes());
    EXPECT_EQ(load("dup"), "first");
}

INSTANTIATE_TEST_SUITE_P(MemoryOrFile, ArchiveLoad, ::testing::Bool());

TEST(ArchiveLoadFromFile, AVanishedArchiveFileIsFatal) {
    TempDir dir;
    HandArchive hand;
    hand.add("x", "y", false);
    dir.write("t.vortapack", hand.bytes());
    CVFileArchive archive(dir.path() + "t.vortapack");
    ASSERT_TRUE(archive.loaded());
    std::remove((dir.path() + "t.vortapack").c_str());
    LogCapture log;
    EXPECT_THROW(archive.findEntry("x")->loadFile(), VisException);
    EXPECT_TRUE(log.contains(LOG_FATAL, "CVFile::loadFile couldn't open archive"));
}

TEST(ArchiveLoadFromFile, BytesInMemoryServeAfterTheFileIsGone) {
    TempDir dir;
    HandArchive hand;
    hand.add("x", "kept", true);
    dir.write("t.vortapack", hand.bytes());
    CVFileArchive archive(dir.path() + "t.vortapack");
    ASSERT_TRUE(archive.loadBytes());
    std::remove((dir.path() + "t.vortapack").c_str());
    char* content = archive.findEntry("x")->loadFile();
    ASSERT_NE(content, nullptr);
    EXPECT_STREQ(content, "kept");
    vfileFree(content);
}

}  // namespace
