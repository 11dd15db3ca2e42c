// The archive writer, checked by an independent parse and by the reader.
#include <gtest/gtest.h>

#include <zlib.h>

#include "app/random.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/archive.h"
#include "vfs/archiveWriter.h"
#include "vfs/osFile.h"

namespace {

uint32_t readU32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes.at(at)) | uint32_t(bytes.at(at + 1)) << 8 |
           uint32_t(bytes.at(at + 2)) << 16 | uint32_t(bytes.at(at + 3)) << 24;
}

std::string inflateAll(const std::string& stream, size_t size) {
    std::string out(size, '\0');
    uLongf length = size;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &length,
                         reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
              Z_OK);
    out.resize(length);
    return out;
}

TEST(ArchiveWriter, LayoutFollowsTheFormat) {
    CArchiveWriter writer;
    std::string text = "hello, archive";
    ASSERT_TRUE(writer.add("a/stored.txt", text.data(), text.size(), false));
    ASSERT_TRUE(writer.add("b.bin", text.data(), text.size(), true));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writer.build(bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "QRX51.01");
    EXPECT_EQ(readU32(bytes, 8), 2u);

    size_t at = 12;
    for (const char* name : {"a/stored.txt", "b.bin"}) {
        uint32_t flags = readU32(bytes, at);
        uint32_t nameLength = readU32(bytes, at + 4);
        EXPECT_EQ(std::string(bytes.begin() + at + 8, bytes.begin() + at + 8 + nameLength), name);
        at += 8 + nameLength;
        uint32_t offset = readU32(bytes, at), stored = readU32(bytes, at + 4);
        EXPECT_EQ(readU32(bytes, at + 8), text.size());
        EXPECT_EQ(readU32(bytes, at + 12), referenceCrc(text));
        at += 16;
        ASSERT_LE(size_t(offset) + stored, bytes.size());
        std::string storedBytes(bytes.begin() + offset, bytes.begin() + offset + stored);
        if (flags == 0) {
            EXPECT_EQ(storedBytes, referenceScramble(name, text));
        } else {
            EXPECT_EQ(flags, 1u);
            // Unscramble by scrambling's inverse, computed byte by byte here.
            std::string clear;
            uint8_t k = referenceKey(name);
            for (char c : storedBytes) {
                uint8_t p = uint8_t(c) ^ k;
                clear += char(p);
                k = uint8_t(((k << 1) | (k >> 7)) ^ p);
            }
            EXPECT_EQ(inflateAll(clear, text.size()), text);
        }
    }
}

TEST(ArchiveWriter, WhatItWritesTheReaderLoads) {
    visSeedRandom(21);
    CArchiveWriter writer;
    std::vector<std::pair<std::string, std::string>> contents;
    for (int i = 0; i < 40; ++i) {
        std::string content;
        size_t size = size_t(visRand()) * (i % 3 == 0 ? 3 : 1);
        for (size_t j = 0; j < size; ++j)
            content += char(i % 2 ? visRand() : 'a' + j % 7);
        contents.emplace_back("dir" + std::to_string(i % 4) + "/f" + std::to_string(i), content);
        ASSERT_TRUE(writer.add(contents.back().first, content.data(), content.size(), i % 5 != 0));
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writer.build(bytes));
    LogCapture log;
    CVFileArchive archive("w", bytes.data(), bytes.size());
    ASSERT_TRUE(archive.loaded());
    ASSERT_EQ(archive.files().size(), contents.size());
    for (size_t i = 0; i < contents.size(); ++i) {
        CVFile& entry = archive.files()[i];
        EXPECT_EQ(entry.name(), contents[i].first);
        EXPECT_EQ(entry.flags(), i % 5 != 0 ? 1u : 0u);
        uint32_t length = 0;
        VFileBuffer content(entry.loadFile(&length));
        ASSERT_TRUE(content) << entry.name() << log.all();
        EXPECT_EQ(std::string(content.get(), length), contents[i].second);
    }
}

TEST(ArchiveWriter, RefusesWhatTheFormatCannotHold) {
    CArchiveWriter writer;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(writer.build(bytes));
    EXPECT_FALSE(writer.error().empty());
    EXPECT_FALSE(writer.add("", "x", 1));
    EXPECT_FALSE(writer.add(std::string(2048, 'n'), "x", 1));
    EXPECT_TRUE(writer.add(std::string(2047, 'n'), "x", 1));
    for (int i = 1; i < 65536; ++i)
        ASSERT_TRUE(writer.add("e", "", 0, false));
    EXPECT_EQ(writer.count(), 65536u);
    EXPECT_FALSE(writer.add("one too many", "", 0, false));
    EXPECT_TRUE(writer.build(bytes));
    CVFileArchive archive("full", bytes.data(), bytes.size());
    EXPECT_TRUE(archive.loaded());
    EXPECT_EQ(archive.files().size(), 65536u);
}

TEST(ArchiveWriter, WritesAFileInOneStep) {
    TempDir dir;
    CArchiveWriter writer;
    writer.add("x", "payload", 7);
    ASSERT_TRUE(writer.writeFile(dir.path() + "out.vortapack"));
    EXPECT_FALSE(osFileExists(dir.path() + "out.vortapack.tmp"));
    LogCapture log;
    CVFileArchive archive(dir.path() + "out.vortapack");
    ASSERT_TRUE(archive.loaded());
    EXPECT_FALSE(writer.writeFile(dir.path() + "no/such/dir/out.vortapack"));
    EXPECT_NE(writer.error().find("no/such/dir"), std::string::npos);
}

}  // namespace
