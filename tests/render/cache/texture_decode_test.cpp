// The direct RGBA decoders against the image file decoders: the same pixels
// for the files they take, and every other file left to the image file
// decoders with their results and messages.
#include <gtest/gtest.h>
#include <png.h>

#include "render/cache/textureDecode.h"
#include "render/imageFile.h"
#include "tests/render/cache/cache_test_support.h"
#include "tests/support/log_capture.h"

namespace {

const uint8_t* bytesOf(const std::string& file) {
    return reinterpret_cast<const uint8_t*>(file.data());
}

// What the image file decoders give, widened to RGBA.
Image expectedRgba(const std::string& file, bool png) {
    std::unique_ptr<Image> image = png ? imageDecodePng(bytesOf(file), file.size(), "expected")
                                       : imageDecodeJpeg(bytesOf(file), file.size());
    EXPECT_NE(image, nullptr);
    if (!image) return Image();
    imageAddAlpha(image.get());
    return *image;
}

TEST(TextureDecode, DirectDecodersGiveTheImageFileDecodersPixelsAsRgba) {
    struct Case {
        const char* what;
        std::string file;
        bool png;
    };
    const Case cases[] = {
        {"RGB PNG", pngWithAlpha(gradientImage(13, 7, false), false), true},
        {"RGBA PNG, interlaced", pngWithAlpha(gradientImage(9, 14, true), true), true},
        {"RGB PNG, interlaced", pngWithAlpha(gradientImage(17, 5, false), true), true},
        {"colour JPEG", jpegFile(gradientImage(23, 11, false)), false},
        {"grey JPEG", jpegFile(gradientImage(10, 19, false), true), false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels;
        std::unique_ptr<Image> direct =
            c.png ? textureDecodePngRgba(bytesOf(c.file), c.file.size(), &pixels)
                  : textureDecodeJpegRgba(bytesOf(c.file), c.file.size(), &pixels);
        ASSERT_NE(direct, nullptr) << c.what;
        Image expected = expectedRgba(c.file, c.png);
        EXPECT_TRUE(direct->hasAlpha) << c.what;
        EXPECT_EQ(direct->width, expected.width) << c.what;
        EXPECT_EQ(direct->height, expected.height) << c.what;
        EXPECT_EQ(direct->pixels, expected.pixels) << c.what;
    }
}

TEST(TextureDecode, OtherFilesAreLeftToTheImageFileDecodersWithTheirMessages) {
    LogCapture log;
    const std::vector<uint8_t> grey = {10, 20, 30, 40, 50, 60};
    const std::string png = pngWithAlpha(gradientImage(6, 4, false), false);
    struct Case {
        const char* name;
        std::string file;
    };
    const Case cases[] = {
        {"tex/grey.png", pngOfType(3, 2, PNG_COLOR_TYPE_GRAY, 8, grey)},
        {"tex/greyalpha.png", pngOfType(3, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, grey)},
        {"tex/palette.png", pngOfType(2, 3, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 3, 1, 2})},
        {"tex/deep.png", pngOfType(1, 1, PNG_COLOR_TYPE_RGB, 16, grey)},
        {"tex/cut.png", png.substr(0, png.size() / 2)},
        {"tex/cut.jpg", jpegFile(gradientImage(16, 16, false)).substr(0, 300)},
        {"tex/NOTPNG.PNG", "definitely not a png file"},
    };
    CacheTestFiles files;
    for (const Case& c : cases) {
        files.put(c.name, c.file);
        std::vector<uint8_t> pixels;
        bool isPng = std::string(c.name).find(".jpg") == std::string::npos;
        const std::unique_ptr<Image> direct =
            isPng ? textureDecodePngRgba(bytesOf(c.file), c.file.size(), &pixels)
                  : textureDecodeJpegRgba(bytesOf(c.file), c.file.size(), &pixels);
        EXPECT_EQ(direct, nullptr) << c.name;
        EXPECT_EQ(log.all(), "") << c.name;

        std::unique_ptr<Image> viaCache = textureDecode(c.name, true, {});
        std::string cacheLog = log.all();
        log.clear();
        std::unique_ptr<Image> plain = imageLoad(c.name);
        EXPECT_EQ(cacheLog, log.all()) << c.name;
        log.clear();
        ASSERT_EQ(viaCache == nullptr, plain == nullptr) << c.name;
        if (!plain) continue;
        EXPECT_EQ(viaCache->hasAlpha, plain->hasAlpha) << c.name;
        EXPECT_EQ(viaCache->pixels, plain->pixels) << c.name;
    }
    EXPECT_EQ(textureDecode("tex/grey.bmp", true, {}), nullptr);
    EXPECT_EQ(textureDecode("tex/missing.png", true, {}), nullptr);
}

TEST(TextureDecode, DecodesIntoTheSpareMemoryItIsGiven) {
    struct Case {
        const char* name;
        std::string file;
        bool png;
    };
    const Case cases[] = {
        {"tex/a.PNG", pngWithAlpha(gradientImage(30, 20, false), false), true},
        {"tex/b.jpeg", jpegFile(gradientImage(20, 30, false)), false},
    };
    CacheTestFiles files;
    for (const Case& c : cases) {
        files.put(c.name, c.file);
        std::vector<uint8_t> spare(30 * 20 * 4 + 16);
        const uint8_t* memory = spare.data();
        std::unique_ptr<Image> image = textureDecode(c.name, true, std::move(spare));
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->pixels.data(), memory) << c.name;
        EXPECT_EQ(image->pixels, expectedRgba(c.file, c.png).pixels) << c.name;
    }
    // Without four channels the file comes out as it is.
    std::unique_ptr<Image> rgb = textureDecode("tex/a.PNG", false, {});
    ASSERT_NE(rgb, nullptr);
    EXPECT_FALSE(rgb->hasAlpha);
    EXPECT_EQ(rgb->width, 30);
    EXPECT_EQ(rgb->height, 20);
}

}  // namespace
