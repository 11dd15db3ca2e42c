// The direct RGBA decoders against the image file decoders: the same pixels
// for the files they take, and every other file left to the image file
// decoders with their results and messages.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

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

void putBigEndian(std::string* file, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++)
        (*file)[at + i] = static_cast<char>(value >> (8 * (bytes - 1 - i)));
}

// The PNG with its header claiming width x height, checksum mended, so that
// only the size is wrong.
std::string pngClaiming(std::string file, uint32_t width, uint32_t height) {
    putBigEndian(&file, 16, width, 4);
    putBigEndian(&file, 20, height, 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data() + 12), 17);
    putBigEndian(&file, 29, static_cast<uint32_t>(crc), 4);
    return file;
}

// The JPEG with its frame header claiming width x height.
std::string jpegClaiming(std::string file, uint16_t width, uint16_t height) {
    size_t frame = file.find("\xff\xc0");
    EXPECT_NE(frame, std::string::npos);
    if (frame == std::string::npos) return file;
    putBigEndian(&file, frame + 5, height, 2);
    putBigEndian(&file, frame + 7, width, 2);
    return file;
}

// A header of a few bytes must not make either decoder allocate the rows it
// claims: 30001 x 2237 and 2237 x 30001 are within the largest side but over
// the pixel limit, and each would cost 268 MB as RGBA.
TEST(TextureDecode, ForgedSizesAreRefusedBeforeAnyRowIsAllocated) {
    const std::string png = pngWithAlpha(gradientImage(13, 7, false), false);
    const std::string pngAlpha = pngWithAlpha(gradientImage(7, 13, true), false);
    const std::string jpeg = jpegFile(gradientImage(23, 11, false));
    struct Case {
        const char* name;
        std::string file;
        bool png;
    };
    const Case cases[] = {
        {"tex/wide.png", pngClaiming(png, 30001, 2237), true},
        {"tex/tall.png", pngClaiming(pngAlpha, 2237, 30001), true},
        {"tex/wide.jpg", jpegClaiming(jpeg, 30001, 2237), false},
        {"tex/tall.jpg", jpegClaiming(jpeg, 2237, 30001), false},
    };
    LogCapture log;
    CacheTestFiles files;
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels;
        std::unique_ptr<Image> direct =
            c.png ? textureDecodePngRgba(bytesOf(c.file), c.file.size(), &pixels)
                  : textureDecodeJpegRgba(bytesOf(c.file), c.file.size(), &pixels);
        EXPECT_EQ(direct, nullptr) << c.name;
        EXPECT_EQ(pixels.capacity(), 0u) << c.name;
        files.put(c.name, c.file);
        EXPECT_EQ(textureDecode(c.name, true, {}), nullptr) << c.name;
    }
}

// The image file decoders' own limit, at its edge for a 9 x 7 image.
TEST(TextureDecode, ImageFileDecodersTakeImagesUpToTheirPixelLimit) {
    const std::string png = pngWithAlpha(gradientImage(9, 7, false), false);
    const std::string jpeg = jpegFile(gradientImage(9, 7, false));
    LogCapture log;
    EXPECT_EQ(imageDecodePng(bytesOf(png), png.size(), "edge.png", 62), nullptr);
    std::unique_ptr<Image> pngImage = imageDecodePng(bytesOf(png), png.size(), "edge.png", 63);
    ASSERT_NE(pngImage, nullptr);
    EXPECT_EQ(pngImage->width, 9);
    EXPECT_EQ(pngImage->height, 7);
    EXPECT_EQ(imageDecodeJpeg(bytesOf(jpeg), jpeg.size(), 62), nullptr);
    std::unique_ptr<Image> jpegImage = imageDecodeJpeg(bytesOf(jpeg), jpeg.size(), 63);
    ASSERT_NE(jpegImage, nullptr);
    EXPECT_EQ(jpegImage->width, 9);
    EXPECT_EQ(jpegImage->height, 7);
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
