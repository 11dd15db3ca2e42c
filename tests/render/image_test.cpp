// Image operations, checked pixel by pixel on small hand-made images.
#include <gtest/gtest.h>

#include "render/image.h"

namespace {

// An RGB image whose pixel (x, y) is (x, y, 10 * x + y).
Image coordinates(int width, int height) {
    Image image = imageMake(width, height, false);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = image.pixel(x, y);
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(10 * x + y);
        }
    return image;
}

Image row(std::initializer_list<int> values) {
    Image image = imageMake(static_cast<int>(values.size()), 1, true);
    int x = 0;
    for (int v : values) {
        uint8_t* p = image.pixel(x++, 0);
        p[0] = p[1] = p[2] = p[3] = static_cast<uint8_t>(v);
    }
    return image;
}

std::vector<int> channel(const Image& image, int c) {
    std::vector<int> values;
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++)
            values.push_back(image.pixel(x, y)[c]);
    return values;
}

TEST(ImageOps, FlipReversesRows) {
    Image image = coordinates(2, 3);
    imageFlip(&image);
    EXPECT_EQ(image.pixel(1, 0)[1], 2);
    EXPECT_EQ(image.pixel(1, 2)[1], 0);
    EXPECT_EQ(image.pixel(1, 2)[0], 1);
}

TEST(ImageOps, ScaleTakesNearestSourcePixels) {
    Image image = coordinates(4, 4);
    imageScale(&image, 2, 2);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 2);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{0, 2, 0, 2}));
    EXPECT_EQ(channel(image, 1), (std::vector<int>{0, 0, 2, 2}));
    Image wide = coordinates(3, 2);
    imageScale(&wide, 6, 1);
    EXPECT_EQ(channel(wide, 0), (std::vector<int>{0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(channel(wide, 1), (std::vector<int>(6, 0)));
}

TEST(ImageOps, ScaleKeepsAlpha) {
    Image image = row({1, 2, 3, 4});
    imageScale(&image, 2, 1);
    EXPECT_TRUE(image.hasAlpha);
    EXPECT_EQ(channel(image, 3), (std::vector<int>{1, 3}));
}

TEST(ImageOps, ResizeCanvasSmallerKeepsTheCentre) {
    Image image = coordinates(4, 4);
    imageResizeCanvas(&image, 2, 2, 0xFF102030);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{1, 2, 1, 2}));
    EXPECT_EQ(channel(image, 1), (std::vector<int>{1, 1, 2, 2}));
}

TEST(ImageOps, ResizeCanvasLargerFramesWithTheColour) {
    Image image = coordinates(4, 4);
    imageResizeCanvas(&image, 6, 6, 0x80102030);
    ASSERT_EQ(image.width, 6);
    EXPECT_FALSE(image.hasAlpha);
    for (int i = 0; i < 6; i++) {
        for (auto [x, y] : {std::pair{i, 0}, std::pair{i, 5}, std::pair{0, i}, std::pair{5, i}}) {
            const uint8_t* p = image.pixel(x, y);
            EXPECT_EQ(p[0], 0x10);
            EXPECT_EQ(p[1], 0x20);
            EXPECT_EQ(p[2], 0x30);
        }
    }
    EXPECT_EQ(image.pixel(1, 1)[2], 0);
    EXPECT_EQ(image.pixel(4, 3)[0], 3);
    EXPECT_EQ(image.pixel(4, 3)[1], 2);
}

TEST(ImageOps, ResizeCanvasUsesTheAlphaByteOnlyWithAlpha) {
    Image image = row({9});
    imageResizeCanvas(&image, 3, 1, 0x80102030);
    EXPECT_EQ(channel(image, 3), (std::vector<int>{0x80, 9, 0x80}));
    EXPECT_EQ(channel(image, 0), (std::vector<int>{0x10, 9, 0x10}));
    // Odd growth: (4 - 1) / 2 = 1 column on the left, two on the right.
    Image odd = row({7});
    imageResizeCanvas(&odd, 4, 1, 0);
    EXPECT_EQ(channel(odd, 0), (std::vector<int>{0, 7, 0, 0}));
}

TEST(ImageOps, AlphaAddDropAndToColour) {
    Image image = coordinates(2, 1);
    imageAddAlpha(&image);
    ASSERT_TRUE(image.hasAlpha);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{0, 0, 0, 255, 1, 0, 10, 255}));
    imageAddAlpha(&image);
    EXPECT_EQ(image.pixels.size(), 8u);
    image.pixel(1, 0)[3] = 77;
    imageAlphaToColour(&image);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{255, 255, 255, 255, 77, 77, 77, 77}));
    imageDropAlpha(&image);
    EXPECT_FALSE(image.hasAlpha);
    EXPECT_EQ(image.pixels, (std::vector<uint8_t>{255, 255, 255, 77, 77, 77}));
    imageDropAlpha(&image);
    EXPECT_EQ(image.pixels.size(), 6u);
    Image opaque = coordinates(1, 1);
    imageAlphaToColour(&opaque);
    EXPECT_EQ(opaque.pixels, (std::vector<uint8_t>{255, 255, 255}));
}

TEST(ImageOps, BoxBlurRadiusOneAveragesWithTheNextPixel) {
    Image image = row({0, 100, 201, 50});
    const bool all[4] = {true, true, true, true};
    imageBoxBlur(&image, 1, all);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{50, 150, 125, 50}));
    Image column = imageMake(1, 3, false);
    column.pixels = {10, 0, 0, 30, 0, 0, 71, 0, 0};
    imageBoxBlur(&column, 1, all);
    EXPECT_EQ(channel(column, 0), (std::vector<int>{20, 50, 71}));
}

TEST(ImageOps, BoxBlurWiderWindowAndBothPasses) {
    // Radius 2 at j covers j - 1 .. j + 2.
    Image image = row({0, 40, 80, 120, 160});
    const bool all[4] = {true, true, true, true};
    imageBoxBlur(&image, 2, all);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{40, 60, 100, 120, 140}));
    Image square = imageMake(2, 2, false);
    square.pixel(0, 0)[0] = 100;
    imageBoxBlur(&square, 1, all);
    EXPECT_EQ(channel(square, 0), (std::vector<int>{25, 0, 0, 0}));
}

TEST(ImageOps, BoxBlurLeavesSwitchedOffChannelsAlone) {
    Image image = row({0, 100, 200});
    const bool onlyGreenAndAlpha[4] = {false, true, false, true};
    imageBoxBlur(&image, 1, onlyGreenAndAlpha);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{0, 100, 200}));
    EXPECT_EQ(channel(image, 1), (std::vector<int>{50, 150, 200}));
    EXPECT_EQ(channel(image, 2), (std::vector<int>{0, 100, 200}));
    EXPECT_EQ(channel(image, 3), (std::vector<int>{50, 150, 200}));
    Image same = row({0, 100});
    imageBoxBlur(&same, 0, onlyGreenAndAlpha);
    EXPECT_EQ(channel(same, 1), (std::vector<int>{0, 100}));
}

TEST(ImageOps, ColourMatrixIdentityScaleAndClamp) {
    int m[20] = {256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0};
    Image image = coordinates(3, 1);
    Image before = image;
    imageColourMatrix(&image, m);
    EXPECT_FALSE(image.hasAlpha);
    EXPECT_EQ(image.pixels, before.pixels);
    m[0] = 256 * 40;  // red x 40
    m[12] = 128;      // blue halved
    m[9] = -5;        // green offset, clamped at 0
    imageColourMatrix(&image, m);
    EXPECT_EQ(channel(image, 0), (std::vector<int>{0, 40, 80}));
    EXPECT_EQ(channel(image, 1), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(channel(image, 2), (std::vector<int>{0, 5, 10}));
    imageColourMatrix(&image, m);  // 40 x 40 is far above a byte
    EXPECT_EQ(channel(image, 0), (std::vector<int>{0, 255, 255}));
}

TEST(ImageOps, ColourMatrixShiftRoundsTowardMinusInfinity) {
    Image image = row({1});
    imageDropAlpha(&image);
    int m[20] = {-1, 0, 0, 0, 1, 0, 256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0};
    imageColourMatrix(&image, m);
    // (1 x -1) >> 8 is -1, not 0: the offset of 1 brings red to 0.
    EXPECT_EQ(image.pixel(0, 0)[0], 0);
}

TEST(ImageOps, ColourMatrixAlphaColumnOnRgbActsAsFullAlpha) {
    Image image = coordinates(1, 1);
    int m[20] = {256, 0, 0, 7, 3, 0, 256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0};
    imageColourMatrix(&image, m);
    EXPECT_FALSE(image.hasAlpha);
    EXPECT_EQ(image.pixel(0, 0)[0], 10);
}

TEST(ImageOps, ColourMatrixAlphaRowAddsAlphaAndMixes) {
    Image image = coordinates(2, 1);  // pixel 1 is (1, 0, 10)
    int m[20] = {256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 2560, 128, 0};
    imageColourMatrix(&image, m);
    ASSERT_TRUE(image.hasAlpha);
    // A = ((10 x 2560 + 255 x 128) >> 8) = 100 + 127 = 227
    EXPECT_EQ(image.pixel(1, 0)[3], 227);
    EXPECT_EQ(image.pixel(0, 0)[3], 127);
    EXPECT_EQ(image.pixel(1, 0)[2], 10);
    // With alpha present, the alpha column scales by the pixel's alpha.
    int n[20] = {0, 0, 0, 256, 1, 0, 256, 0, 0, 0, 0, 0, 256, 0, 0, 0, 0, 0, 256, 0};
    imageColourMatrix(&image, n);
    EXPECT_EQ(image.pixel(1, 0)[0], 228);
}

}  // namespace
