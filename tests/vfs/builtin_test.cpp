// The two images carried inside the program.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "vfs/builtinFiles.h"
#include "vfs/fileSystem.h"

namespace {

uint32_t bigEndian(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct Expected {
    const char* name;
    const char* source;
    uint32_t side;
};

const Expected kImages[] = {
    {"tex/UI/font.png", VORTALIS_SOURCE_DIR "/content/builtin/font.png", 512},
    {"tex/UI/logo.png", VORTALIS_SOURCE_DIR "/content/builtin/logo.png", 256},
};

TEST(Builtin, ImagesLoadWithoutAFileSystem) {
    ASSERT_EQ(CVFileSystem::instance(), nullptr);
    for (const Expected& image : kImages) {
        const BuiltinFile* builtin = builtinFileFind(image.name);
        ASSERT_NE(builtin, nullptr) << image.name;
        EXPECT_EQ(vfileSize(image.name), builtin->size);
        uint32_t length = 0;
        VFileBuffer content(vfileLoad(image.name, &length));
        ASSERT_TRUE(content);
        ASSERT_EQ(length, builtin->size);
        EXPECT_EQ(std::memcmp(content.get(), builtin->data, length), 0);
        EXPECT_EQ(content.get()[length], '\0');
    }
}

TEST(Builtin, ImagesArePngsOfTheExpectedShape) {
    for (const Expected& image : kImages) {
        const BuiltinFile* builtin = builtinFileFind(image.name);
        ASSERT_NE(builtin, nullptr);
        ASSERT_GT(builtin->size, 33u);
        const unsigned char* d = builtin->data;
        EXPECT_EQ(std::memcmp(d, "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(std::memcmp(d + 12, "IHDR", 4), 0);
        EXPECT_EQ(bigEndian(d + 16), image.side);
        EXPECT_EQ(bigEndian(d + 20), image.side);
        EXPECT_EQ(d[24], 8) << "bit depth";
        EXPECT_EQ(d[25], 6) << "RGBA";
    }
}

// When the source images exist, the program carries exactly their bytes.
TEST(Builtin, EmbeddedBytesEqualTheSourceImages) {
    for (const Expected& image : kImages) {
        std::ifstream in(image.source, std::ios::binary);
        if (!in) GTEST_SKIP() << image.source << " not present; a stand-in is embedded";
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const BuiltinFile* builtin = builtinFileFind(image.name);
        ASSERT_EQ(bytes.size(), builtin->size);
        EXPECT_EQ(std::memcmp(bytes.data(), builtin->data, bytes.size()), 0);
    }
}

TEST(Builtin, MatchingIsExact) {
    EXPECT_EQ(builtinFileFind("tex/ui/font.png"), nullptr);
    EXPECT_EQ(builtinFileFind("tex/UI/font.png "), nullptr);
    EXPECT_EQ(builtinFileFind("/tex/UI/font.png"), nullptr);
}

}  // namespace
