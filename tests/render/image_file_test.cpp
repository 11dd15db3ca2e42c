// PNG, JPEG and TGA files. Test files are encoded here with libpng and
// libjpeg and served to the decoders from memory.
#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "app/log.h"
#include "render/imageFile.h"
#include "tests/render/memory_files.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "vfs/fileSystem.h"

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// A PNG of the colour type and bit depth; `samples` holds the raw row bytes.
std::string encodePng(int width, int height, int colourType, int bitDepth,
                      const std::vector<uint8_t>& samples, bool withPalette = false) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    if (withPalette) png_set_PLTE(png, info, palette, 4);
    png_write_info(png, info);
    size_t rowBytes = samples.size() / height;
    for (int y = 0; y < height; y++)
        png_write_row(png, const_cast<png_bytep>(samples.data() + rowBytes * y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string encodeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(samples.data() + info.next_scanline * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    free(buffer);
    return out;
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        testFiles().clear();
        useTestFiles();
    }
    void TearDown() override { stopUsingTestFiles(); }
};

TEST_F(ImageFiles, RgbAndRgbaPngsKeepTheirPixels) {
    testFiles()["a.png"] = encodePng(2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6});
    testFiles()["b.png"] = encodePng(1, 2, PNG_COLOR_TYPE_RGBA, 8, {1, 2, 3, 4, 5, 6, 7, 8});
    auto rgb = imageLoad("a.png");
    ASSERT_TRUE(rgb);
    EXPECT_FALSE(rgb->hasAlpha);
    EXPECT_EQ(rgb->width, 2);
    EXPECT_EQ(rgb->pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    auto rgba = imageLoad("b.png");
    ASSERT_TRUE(rgba);
    EXPECT_TRUE(rgba->hasAlpha);
    EXPECT_EQ(rgba->height, 2);
    EXPECT_EQ(rgba->pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ImageFiles, EndingIsComparedInLowerCase) {
    testFiles()["tex/LOGO.PNG"] = encodePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {9, 8, 7});
    auto image = imageLoad("tex/LOGO.PNG");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels, (std::vector<uint8_t>{9, 8, 7}));
    testFiles()["x.bmp"] = testFiles()["tex/LOGO.PNG"];
    LogCapture log;
    EXPECT_FALSE(imageLoad("x.bmp"));
    EXPECT_FALSE(imageLoad("missing.png"));
    EXPECT_EQ(log.lines().size(), 0u);
}

TEST_F(ImageFiles, GreyBecomesRgbAndGreyAlphaBecomesRgba) {
    testFiles()["g.png"] = encodePng(2, 1, PNG_COLOR_TYPE_GRAY, 8, {10, 200});
    testFiles()["ga.png"] = encodePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 20, 200, 100});
    auto grey = imageLoad("g.png");
    ASSERT_TRUE(grey);
    EXPECT_FALSE(grey->hasAlpha);
    EXPECT_EQ(grey->pixels, (std::vector<uint8_t>{10, 10, 10, 200, 200, 200}));
    auto greyAlpha = imageLoad("ga.png");
    ASSERT_TRUE(greyAlpha);
    EXPECT_TRUE(greyAlpha->hasAlpha);
    EXPECT_EQ(greyAlpha->pixels, (std::vector<uint8_t>{10, 10, 10, 20, 200, 200, 200, 100}));
}

TEST_F(ImageFiles, PaletteFilesComeOutAsGreyIndices) {
    testFiles()["p.png"] = encodePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 3, 2}, true);
    auto image = imageLoad("p.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels, (std::vector<uint8_t>{1, 1, 1, 3, 3, 3, 2, 2, 2}));
}

TEST_F(ImageFiles, SixteenBitAndPackedPngsAreRefusedByTheirBytesPerPixel) {
    std::vector<uint8_t> wide(2 * 6, 0x11);
    testFiles()["deep.png"] = encodePng(2, 1, PNG_COLOR_TYPE_RGB, 16, wide);
    testFiles()["bits.png"] = encodePng(8, 1, PNG_COLOR_TYPE_GRAY, 1, {0xA5});
    LogCapture log;
    EXPECT_FALSE(imageLoad("deep.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "PNG file wrong type (6 bpp)!\n")) << log.all();
    EXPECT_FALSE(imageLoad("bits.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "PNG file wrong type (0 bpp)!\n")) << log.all();
}

TEST_F(ImageFiles, BrokenPngsYieldNothingAfterTheirMessage) {
    std::string good = encodePng(4, 4, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(48, 7));
    testFiles()["fake.png"] = "GIF89a not a png at all";
    testFiles()["short.png"] = "\x89PNG";
    testFiles()["cut.png"] = good.substr(0, 20);
    testFiles()["body.png"] = good.substr(0, good.size() - 30);
    LogCapture log;
    EXPECT_FALSE(imageLoad("fake.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING,
                             "[read_png_file] File fake.png is not recognized as a PNG file\n"));
    EXPECT_FALSE(imageLoad("short.png"));
    EXPECT_FALSE(imageLoad("cut.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "[read_png_file] Error during init_io\n"));
    EXPECT_FALSE(imageLoad("body.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "[read_png_file] Error during read_image\n"))
        << log.all();
}

TEST_F(ImageFiles, DimensionsBeyondAnyTextureAreRefused) {
    testFiles()["wide.png"] =
        encodePng(40000, 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(40000));
    testFiles()["wide.jpg"] = encodeJpeg(40000, 1, 1, std::vector<uint8_t>(40000));
    testFiles()["fits.png"] =
        encodePng(32768, 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(32768));
    LogCapture log;
    EXPECT_FALSE(imageLoad("wide.png"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "[read_png_file] Error during init_io\n"));
    EXPECT_FALSE(imageLoad("wide.jpg"));
    auto fits = imageLoad("fits.png");
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->width, 32768);
}

TEST_F(ImageFiles, JpegDecodesRgbAndWidensGrey) {
    std::vector<uint8_t> red(8 * 8 * 3);
    for (size_t i = 0; i < red.size(); i += 3)
        red[i] = 250, red[i + 1] = 10, red[i + 2] = 10;
    testFiles()["r.JPG"] = encodeJpeg(8, 8, 3, red);
    testFiles()["g.jpeg"] = encodeJpeg(8, 8, 1, std::vector<uint8_t>(64, 90));
    auto colour = imageLoad("r.JPG");
    ASSERT_TRUE(colour);
    EXPECT_FALSE(colour->hasAlpha);
    EXPECT_EQ(colour->width, 8);
    EXPECT_NEAR(colour->pixel(3, 3)[0], 250, 4);
    EXPECT_NEAR(colour->pixel(3, 3)[1], 10, 4);
    auto grey = imageLoad("g.jpeg");
    ASSERT_TRUE(grey);
    ASSERT_EQ(grey->pixels.size(), 64u * 3);
    EXPECT_NEAR(grey->pixel(5, 7)[0], 90, 2);
    EXPECT_EQ(grey->pixel(5, 7)[0], grey->pixel(5, 7)[1]);
    EXPECT_EQ(grey->pixel(5, 7)[0], grey->pixel(5, 7)[2]);
}

TEST_F(ImageFiles, BrokenJpegsFailSilently) {
    std::string good = encodeJpeg(8, 8, 3, std::vector<uint8_t>(192, 50));
    testFiles()["junk.jpg"] = "definitely not a jpeg";
    testFiles()["cut.jpg"] = good.substr(0, 40);
    testFiles()["empty.jpg"] = "";
    LogCapture log;
    EXPECT_FALSE(imageLoad("junk.jpg"));
    EXPECT_FALSE(imageLoad("cut.jpg"));
    EXPECT_FALSE(imageLoad("empty.jpg"));
    EXPECT_EQ(log.lines().size(), 0u) << log.all();
}

TEST(ImageSave, RgbaIsSavedAsAnRgbPng) {
    TempDir dir;
    Image image = imageMake(2, 1, true);
    image.pixels = {10, 20, 30, 0, 40, 50, 60, 255};
    std::string path = dir.path() + "shot.PNG";
    ASSERT_TRUE(imageSave(path.c_str(), image));
    std::string bytes = dir.read("shot.PNG");
    auto back =
        imageDecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "shot");
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->hasAlpha);
    EXPECT_EQ(back->pixels, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(static_cast<uint8_t>(bytes[25]), PNG_COLOR_TYPE_RGB);  // IHDR colour type
}

TEST(ImageSave, TgaHasItsHeaderThenBgrPixelsWithoutAlpha) {
    TempDir dir;
    Image image = imageMake(258, 2, true);
    image.pixel(0, 0)[0] = 1, image.pixel(0, 0)[1] = 2, image.pixel(0, 0)[2] = 3;
    image.pixel(0, 0)[3] = 99;
    std::string path = dir.path() + "thumb.tga";
    ASSERT_TRUE(imageSave(path.c_str(), image));
    std::string bytes = dir.read("thumb.tga");
    ASSERT_EQ(bytes.size(), 18u + 258 * 2 * 3);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 2, 0, 24, 0x20};
    EXPECT_EQ(std::memcmp(bytes.data(), header, 18), 0);
    EXPECT_EQ(bytes[18], 3);
    EXPECT_EQ(bytes[19], 2);
    EXPECT_EQ(bytes[20], 1);
    EXPECT_EQ(bytes[21], 0);
}

TEST(ImageSave, OtherEndingsWriteNothing) {
    TempDir dir;
    Image image = imageMake(1, 1, false);
    std::string path = dir.path() + "shot.bmp";
    EXPECT_FALSE(imageSave(path.c_str(), image));
    EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
    std::string missing = dir.path() + "no/such/dir/shot.png";
    EXPECT_FALSE(imageSave(missing.c_str(), image));
}

}  // namespace

namespace {

TEST(ImageFilesThroughFileSystem, BuiltInImagesAndRegisteredDiskFiles) {
    auto logo = imageLoad("tex/UI/logo.png");
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->width, 256);
    EXPECT_EQ(logo->height, 256);
    TempDir dir;
    dir.write("tex/dot.PNG", encodePng(1, 1, PNG_COLOR_TYPE_GRAY, 8, {33}));
    CVFileSystem::create(dir.path());
    CVFileSystem::get().addFile("tex/dot.PNG");
    auto dot = imageLoad("tex/dot.PNG");
    LogCapture log;
    auto missing = imageLoad("tex/none.png");
    CVFileSystem::destroy();
    ASSERT_TRUE(dot);
    EXPECT_EQ(dot->pixels, (std::vector<uint8_t>{33, 33, 33}));
    EXPECT_FALSE(missing);
}

}  // namespace
