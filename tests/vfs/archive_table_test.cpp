// Reading an archive's header and entry table from hand-made bytes.
#include <gtest/gtest.h>

#include <memory>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/archive.h"

namespace {

class ArchiveTable : public ::testing::Test {
protected:
    std::unique_ptr<CVFileArchive> open(const std::string& bytes) {
        dir.write("t.vortapack", bytes);
        return std::make_unique<CVFileArchive>(dir.path() + "t.vortapack");
    }
    std::string path() const { return dir.path() + "t.vortapack"; }

    // One well-formed header: flags 0, name, then offset, stored size, size, checksum.
    static std::string header(const std::string& name) {
        return u32le(0) + u32le(uint32_t(name.size())) + name + u32le(0) + u32le(0) + u32le(0) +
               u32le(0);
    }
    static std::string start(uint32_t count) {
        return u32le(0x35585251) + u32le(0x31302E31) + u32le(count);
    }

    TempDir dir;
    LogCapture log;
};

TEST_F(ArchiveTable, ShortFilesReportTheSentinelMagic) {
    std::string valid = start(1);
    for (size_t length = 0; length < 8; ++length) {
        log.clear();
        auto archive = open(valid.substr(0, length));
        EXPECT_FALSE(archive->loaded());
        EXPECT_TRUE(log.contains(LOG_SERIOUS, "[magic] 0x1500DEAD vs 0x35585251")) << length;
    }
}

TEST_F(ArchiveTable, WrongMagicIsReportedWithTheValueRead) {
    auto archive = open(u32le(0x12345678) + u32le(0x31302E31) + u32le(1) + header("a"));
    EXPECT_FALSE(archive->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFileArchive invalid archive '" + path() +
                                              "' [magic] 0x12345678 vs 0x35585251\n"));
}

TEST_F(ArchiveTable, OtherVersionsAreRejectedWithTheVersionMessage) {
    auto archive = open(u32le(0x35585251) + std::string("1.00") + u32le(1) + header("a"));
    EXPECT_FALSE(archive->loaded());
    EXPECT_TRUE(
        log.contains(LOG_SERIOUS, "CVFileArchive wrong version of archive '" + path() + "'"));
    EXPECT_FALSE(log.contains("[magic]"));
}

TEST_F(ArchiveTable, MissingFileIsReported) {
    CVFileArchive archive(dir.path() + "absent.vortapack");
    EXPECT_FALSE(archive.loaded());
    EXPECT_TRUE(log.contains(LOG_INFO, "Loading archive '" + dir.path() + "absent.vortapack'"));
    EXPECT_TRUE(log.contains(
        LOG_SERIOUS, "CVFileArchive couldn't open archive '" + dir.path() + "absent.vortapack'"));
}

TEST_F(ArchiveTable, FileCountBounds) {
    EXPECT_FALSE(open(start(0) + header("a"))->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "[filecount] 00000000"));
    EXPECT_FALSE(open(start(65537) + header("a"))->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "[filecount] 00010001"));
    // A missing count reads as 0.
    log.clear();
    EXPECT_FALSE(open(start(1).substr(0, 10))->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "[filecount] 00000000"));

    std::string many = start(65536);
    for (int i = 0; i < 65536; ++i)
        many += header("f" + std::to_string(i));
    auto archive = open(many + "tail");
    EXPECT_TRUE(archive->loaded());
    ASSERT_EQ(archive->files().size(), 65536u);
    EXPECT_EQ(archive->files()[65535].name(), "f65535");
}

TEST_F(ArchiveTable, NameLengthBounds) {
    // A refused length leaves the reader right after the length field, which is
    // where the next header starts here.
    std::string longest(2047, 'n');
    std::string bytes = start(4) + header(longest) + u32le(0) + u32le(0) + u32le(0) + u32le(2048) +
                        header("after") + "pad";
    auto archive = open(bytes);
    ASSERT_TRUE(archive->loaded());
    ASSERT_EQ(archive->files().size(), 2u);
    EXPECT_EQ(archive->files()[0].name(), longest);
    EXPECT_EQ(archive->files()[1].name(), "after");
    EXPECT_EQ(log.count("CVFile::loadHeader invalid archive [fnlength]"), 2u);
}

TEST_F(ArchiveTable, ADamagedHeaderDropsOnlyThatEntry) {
    // Entry 2 declares a zero name length; the reader resumes right after that
    // length field, where entry 3's header begins.
    std::string bytes = start(3) + header("one") + u32le(0) + u32le(0) + header("three") + "pad";
    auto archive = open(bytes);
    ASSERT_TRUE(archive->loaded());
    ASSERT_EQ(archive->files().size(), 2u);
    EXPECT_EQ(archive->files()[0].name(), "one");
    EXPECT_EQ(archive->files()[1].name(), "three");
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "[fnlength]"));
}

TEST_F(ArchiveTable, RunningOutOfDataRejectsTheArchive) {
    // Two entries missing: the first short read drops an entry, the next
    // iteration finds the end of the file.
    auto archive = open(start(3) + header("one"));
    EXPECT_FALSE(archive->loaded());
    EXPECT_TRUE(archive->files().empty());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "[fileFlags]"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFileArchive invalid archive '" + path() + "' [feof]"));
}

TEST_F(ArchiveTable, EndOfFileIsOnlySeenAfterAShortRead) {
    // The table ends exactly at the end of the file with one entry missing: its
    // flags read comes up short and drops it, and the loop is over.
    auto archive = open(start(2) + header("one"));
    EXPECT_TRUE(archive->loaded());
    EXPECT_EQ(archive->files().size(), 1u);
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadHeader invalid archive [fileFlags]"));
    EXPECT_FALSE(log.contains("[feof]"));
}

TEST_F(ArchiveTable, TruncatedNameAndFields) {
    EXPECT_FALSE(open(start(2) + u32le(0) + u32le(10) + "abc")->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadHeader invalid archive [feof]\n"));
    log.clear();
    EXPECT_FALSE(open(start(2) + u32le(0) + u32le(3) + "abc" + u32le(1) + "xy")->loaded());
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CVFile::loadHeader invalid archive [feof2]\n"));
}

TEST_F(ArchiveTable, HeaderFieldsAndKeyAreRead) {
    std::string bytes = start(1) + u32le(0xFFFFFFFF) + u32le(2) + "ab" + u32le(1000) + u32le(20) +
                        u32le(30) + u32le(0xDEADBEEF);
    auto archive = open(bytes);
    ASSERT_TRUE(archive->loaded());
    const CVFile& entry = archive->files().at(0);
    EXPECT_TRUE(entry.valid());
    EXPECT_EQ(entry.flags(), 0xFFFFFFFFu);
    EXPECT_EQ(entry.offset(), 1000u);
    EXPECT_EQ(entry.storedSize(), 20u);
    EXPECT_EQ(entry.size(), 30u);
    EXPECT_EQ(entry.checksum(), 0xDEADBEEFu);
    EXPECT_EQ(entry.key(), 0xA0);
    EXPECT_EQ(entry.archive(), archive.get());
}

TEST_F(ArchiveTable, MemoryAndFileReadersAgree) {
    HandArchive hand;
    hand.add("a", "alpha", false);
    hand.add("b/c", "gamma", true);
    std::string bytes = hand.bytes();
    for (size_t cut : {bytes.size(), size_t(40), size_t(13), size_t(5)}) {
        std::string part = bytes.substr(0, cut);
        auto fromFile = open(part);
        CVFileArchive fromMemory("mem", part.data(), part.size());
        EXPECT_EQ(fromFile->loaded(), fromMemory.loaded()) << cut;
        EXPECT_EQ(fromFile->files().size(), fromMemory.files().size()) << cut;
    }
}

}  // namespace
