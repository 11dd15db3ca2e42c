#include <gtest/gtest.h>

#include "render/cache/imageTweak.h"
#include "render/image.h"
#include "tests/render/cache/cache_test_support.h"
#include "tests/support/log_capture.h"

namespace {

// A 6 x 4 RGB image whose pixel (x, y) is (10 x + 1, 20 y + 2, 3 x + 5 y + 3).
Image pattern() {
    Image image = imageMake(6, 4, false);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) {
            uint8_t* p = image.pixel(x, y);
            p[0] = static_cast<uint8_t>(10 * x + 1);
            p[1] = static_cast<uint8_t>(20 * y + 2);
            p[2] = static_cast<uint8_t>(3 * x + 5 * y + 3);
        }
    return image;
}

Image tweaked(const std::string& script) {
    Image image = pattern();
    imageTweakRun(&image, script);
    return image;
}

void expectPixel(const Image& image, int x, int y, int r, int g, int b) {
    const uint8_t* p = image.pixel(x, y);
    EXPECT_EQ(p[0], r) << "red at " << x << "," << y;
    EXPECT_EQ(p[1], g) << "green at " << x << "," << y;
    EXPECT_EQ(p[2], b) << "blue at " << x << "," << y;
}

TEST(ImageTweak, GreyRunsWithAndWithoutClosingSemicolon) {
    LogCapture log;
    for (const char* script : {"grey()", "grey();"}) {
        Image image = tweaked(script);
        ASSERT_FALSE(image.hasAlpha) << script;
        // (R + G + B) x 85 >> 8 of pixel (3, 3)
        int grey = (31 + 62 + 27) * 85 >> 8;
        expectPixel(image, 3, 3, grey, grey, grey);
    }
    EXPECT_FALSE(log.contains("ImageTweak JS Error")) << log.all();
}

TEST(ImageTweak, HueZeroKeepsAndHueOneRotatesChannels) {
    Image original = pattern();
    EXPECT_EQ(tweaked("hue(0)").pixels, original.pixels);
    Image rotated = tweaked("hue(1)");
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) {
            const uint8_t* p = original.pixel(x, y);
            expectPixel(rotated, x, y, p[1], p[2], p[0]);
        }
    // Halfway: red takes half of green.
    Image half = tweaked("hue(0.5)");
    const uint8_t* p = original.pixel(5, 0);
    expectPixel(half, 5, 0, (p[0] * 128 + p[1] * 128) >> 8, (p[1] * 128 + p[2] * 128) >> 8,
                (p[2] * 128 + p[0] * 128) >> 8);
}

TEST(ImageTweak, IdentityMatrixLeavesRgbImageAlone) {
    Image image = tweaked("matrix(1,0,0,0,0, 0,1,0,0,0, 0,0,1,0,0, 0,0,0,1,0)");
    EXPECT_FALSE(image.hasAlpha);
    EXPECT_EQ(image.pixels, pattern().pixels);
}

TEST(ImageTweak, ZeroMatrixMakesRgbImageBlackAndTransparent) {
    Image image = tweaked("matrix(0,0,0,0,0, 0,0,0,0,0, 0,0,0,0,0, 0,0,0,0,0)");
    ASSERT_TRUE(image.hasAlpha);
    ASSERT_EQ(image.pixels.size(), 6u * 4u * 4u);
    for (uint8_t byte : image.pixels)
        ASSERT_EQ(byte, 0);
}

TEST(ImageTweak, MatrixCoefficientsAreScaledBy256) {
    // Red halved, green gets a constant 0.25 x 256 = 64 added through the
    // alpha column of an RGB image.
    Image image = tweaked("matrix(0.5,0,0,0,0, 0,1,0,0.25,0, 0,0,1,0,0, 0,0,0,1,0)");
    EXPECT_FALSE(image.hasAlpha);
    expectPixel(image, 4, 1, 41 * 128 >> 8, 22 + 64, 3 * 4 + 5 + 3);
}

TEST(ImageTweak, ScaleByTheGlobalsHalvesTheImage) {
    Image image = tweaked("scale(width/2, height/2)");
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 2);
    Image original = pattern();
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) {
            const uint8_t* p = original.pixel(2 * x, 2 * y);
            expectPixel(image, x, y, p[0], p[1], p[2]);
        }
}

TEST(ImageTweak, GlobalsDescribeTheImageAsItWasAtTheStart) {
    // bpp is 3 for RGB, so the flip runs; width and height stay 6 and 4
    // after the first scale, so the second restores the size.
    Image image = tweaked("if (bpp == 3) flip(); scale(2, 2); scale(width, height)");
    EXPECT_EQ(image.width, 6);
    EXPECT_EQ(image.height, 4);
    Image alpha = pattern();
    imageAddAlpha(&alpha);
    imageTweakRun(&alpha, "if (bpp == 4) noalpha()");
    EXPECT_FALSE(alpha.hasAlpha);
    Image flipped = tweaked("if (bpp == 3) flip()");
    EXPECT_EQ(flipped.pixel(0, 0)[1], pattern().pixel(0, 3)[1]);
}

TEST(ImageTweak, RemapPaintsEachChannelWithItsColour) {
    // Source red becomes green, green becomes blue, blue is dropped.
    Image image = tweaked("remapRGB(0x00FF00, 0x0000FF, 0)");
    Image original = pattern();
    const uint8_t* p = original.pixel(5, 3);
    expectPixel(image, 5, 3, 0, p[0] * 255 >> 8, p[1] * 255 >> 8);
}

TEST(ImageTweak, ResizeFillsTheNewAreaAndAtocCopiesAlpha) {
    Image image = tweaked("resize(8, 6, 0x40FF0000)");
    ASSERT_EQ(image.width, 8);
    ASSERT_EQ(image.height, 6);
    expectPixel(image, 0, 0, 255, 0, 0);
    expectPixel(image, 1, 1, 1, 2, 3);  // the old (0, 0)
    Image alpha = pattern();
    imageAddAlpha(&alpha);
    // Script integers are signed 32-bit: an alpha of 0x80 and above is
    // written as a negative number (here 0x80FF0000).
    imageTweakRun(&alpha, "resize(8, 6, -2130771968); atoc()");
    EXPECT_EQ(alpha.pixel(0, 0)[0], 0x80);
    EXPECT_EQ(alpha.pixel(2, 2)[2], 255);
}

TEST(ImageTweak, BlurChannelSwitchesLeaveOthersAlone) {
    Image image = tweaked("blurCh(1, 1, 0, 0, 0)");
    Image original = pattern();
    // Red of (0, 0) averages the 2 x 2 block from (0, 0): 1, 11, 1, 11.
    EXPECT_EQ(image.pixel(0, 0)[0], 6);
    for (size_t i = 0; i < image.pixels.size(); i += 3) {
        EXPECT_EQ(image.pixels[i + 1], original.pixels[i + 1]);
        EXPECT_EQ(image.pixels[i + 2], original.pixels[i + 2]);
    }
    EXPECT_NE(tweaked("blur(2)").pixels, original.pixels);
}

TEST(ImageTweak, ErrorsAreWarningsAndKeepEarlierChanges) {
    {
        LogCapture log;
        Image image = tweaked("sharpen(3)");
        EXPECT_TRUE(log.contains(2, "ImageTweak JS Error: ")) << log.all();
        EXPECT_EQ(image.pixels, pattern().pixels);
    }
    {
        LogCapture log;
        Image image = tweaked("flip(); grey(");
        EXPECT_EQ(log.count("ImageTweak JS Error: "), 1u) << log.all();
        EXPECT_EQ(image.pixel(0, 0)[1], pattern().pixel(0, 3)[1]);
    }
}

TEST(ImageTweak, SizesThatCannotBeMadeAreRefused) {
    for (const char* script : {"scale(0, 4)", "scale(100000, 100000)", "resize(-5, 5, 0)"}) {
        LogCapture log;
        Image image = tweaked(script);
        EXPECT_TRUE(log.contains(2, "ImageTweak JS Error: ")) << script;
        EXPECT_EQ(image.width, 6) << script;
        EXPECT_EQ(image.pixels, pattern().pixels) << script;
    }
}

TEST(ImageTweak, EmptyScriptDoesNothing) {
    LogCapture log;
    EXPECT_EQ(tweaked("").pixels, pattern().pixels);
    EXPECT_TRUE(log.lines().empty());
}

TEST(ImageTweak, RunawayLoopEndsWithAnError) {
    LogCapture log;
    Image image = tweaked(
        "var n = 0; for (var i = 0; i < 8000; i++) for (var j = 0; j < 8000; j++) n++; flip()");
    EXPECT_TRUE(log.contains(2, "ImageTweak JS Error: ")) << log.all();
    EXPECT_EQ(image.pixels, pattern().pixels);
}

TEST(ImageTweak, PixelWorkIsChargedAndEndsTheScriptWhenSpent) {
    // The 6 x 4 pattern: resize reads 24 and writes 7 x 5 = 35 (59 in all),
    // flip then touches the 35, grey 35 more: 129 pixels for the three.
    const char* script = "resize(7, 5, 0); flip(); grey()";
    {
        LogCapture log;
        Image image = pattern();
        imageTweakRun(&image, script, 129);
        EXPECT_FALSE(log.contains("ImageTweak JS Error")) << log.all();
        EXPECT_EQ(image.width, 7);
        EXPECT_EQ(image.height, 5);
        EXPECT_EQ(image.pixel(2, 0)[0], image.pixel(2, 0)[1]) << "grey ran";
    }
    {
        // One pixel short: resize and flip run, grey does not.
        LogCapture log;
        Image image = pattern();
        imageTweakRun(&image, script, 128);
        EXPECT_TRUE(log.contains(2, "image tweak work limit")) << log.all();
        EXPECT_EQ(image.width, 7);
        EXPECT_EQ(image.pixel(3, 4)[0], pattern().pixel(3, 0)[0]) << "flip ran";
        EXPECT_NE(image.pixel(3, 4)[0], image.pixel(3, 4)[1]) << "grey did not";
    }
    {
        // A loop of large operations stops long before the loop's own budget.
        LogCapture log;
        Image image = pattern();
        imageTweakRun(&image, "for (var i = 0; i < 8000; i++) resize(2000, 1500, 0)", 10000000);
        EXPECT_TRUE(log.contains(2, "image tweak work limit")) << log.all();
        EXPECT_EQ(image.width, 2000);
        EXPECT_EQ(image.height, 1500);
    }
}

}  // namespace
