// The on-screen display drawn into a real context, checked by its pixels:
// the progress bar, the idle logo and coloured messages, once through its
// own shaders and once through the fixed-function fallback.
#include <GL/glew.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "render/shader.h"
#include "render/vertexBuffer.h"
#include "scene/directTextures.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"
#include "vfs/builtinFiles.h"
#include "vis/onScreenDisplay.h"

namespace {

// Text is 60 cells on the shorter side; at 480 pixels a cell is 8 pixels,
// big enough for glyphs to survive sampling.
constexpr int kTextWidth = 640;
constexpr int kTextHeight = 480;

std::string sourceShader(const std::string& name) {
    std::ifstream file(std::string(VORTALIS_SOURCE_DIR "/content/default/shaders/") + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void serveBuiltin(const std::string& name) {
    const BuiltinFile* file = builtinFileFind(name);
    ASSERT_NE(file, nullptr) << name;
    testFiles()[name] =
        std::string(reinterpret_cast<const char*>(file->data), static_cast<size_t>(file->size));
}

// A colour buffer larger than the test window, bound for drawing and reading.
class Offscreen {
public:
    Offscreen(int width, int height) : width_(width), height_(height) {
        glGenFramebuffersEXT(1, &frameBuffer_);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer_);
        glGenRenderbuffersEXT(1, &colour_);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour_);
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                     GL_RENDERBUFFER_EXT, colour_);
        glViewport(0, 0, width, height);
        clear();
    }
    ~Offscreen() {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glDeleteRenderbuffersEXT(1, &colour_);
        glDeleteFramebuffersEXT(1, &frameBuffer_);
        glViewport(0, 0, kGlWidth, kGlHeight);
    }
    bool complete() const {
        return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    }
    void clear() {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // RGBA rows from the bottom.
    std::vector<uint8_t> read() const {
        std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }

private:
    int width_, height_;
    GLuint frameBuffer_ = 0;
    GLuint colour_ = 0;
};

bool isRed(const uint8_t* p) {
    return p[0] > 60 && p[1] < 30 && p[2] < 30;
}
bool isCyan(const uint8_t* p) {
    return p[1] > 60 && p[2] > 60 && p[0] < 30;
}
bool isWhite(const std::array<uint8_t, 4>& p) {
    return p[0] > 230 && p[1] > 230 && p[2] > 230;
}
bool isBlack(const std::array<uint8_t, 4>& p) {
    return p[0] < 8 && p[1] < 8 && p[2] < 8;
}
int brightness(const std::array<uint8_t, 4>& p) {
    return p[0] + p[1] + p[2];
}

// Pixels of `pixels` (kTextWidth wide) that pass `test`, counted inside and
// outside the rectangle x in [x0, x1), y in [y0, y1).
struct Count {
    int inside = 0, outside = 0;
    long redSum = 0;  // of the red channel inside
};
Count countPixels(const std::vector<uint8_t>& pixels, bool (*test)(const uint8_t*), int x0, int x1,
                  int y0, int y1) {
    Count count;
    for (int y = 0; y < kTextHeight; y++) {
        for (int x = 0; x < kTextWidth; x++) {
            const uint8_t* p = &pixels[(static_cast<size_t>(y) * kTextWidth + x) * 4];
            bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
            if (in) count.redSum += p[0];
            if (!test(p)) continue;
            (in ? count.inside : count.outside)++;
        }
    }
    return count;
}

// The parameter says whether the display's shaders are there.
class OsdGlTest : public GlTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        serveBuiltin("tex/UI/logo.png");
        serveBuiltin("tex/UI/font.png");
        if (GetParam()) {
            for (const char* name : {"vSimple.glsl", "fTexColor.glsl", "fSimple.glsl"}) {
                testFiles()[std::string("shaders/") + name] = sourceShader(name);
                ASSERT_FALSE(testFiles()[std::string("shaders/") + name].empty()) << name;
            }
        }
        osd.initialise(textures);
        ASSERT_EQ(textures.count(), 2u);
    }
    void TearDown() override {
        if (!IsSkipped()) osd.release();
        GlTest::TearDown();
    }

    // Messages drawn alone: the progress screen has faded out first.
    std::vector<uint8_t> drawText(Offscreen& target, float timePass) {
        target.clear();
        osd.drawMessages(timePass, true, kTextWidth, kTextHeight);
        return target.read();
    }

    LogCapture log;
    DirectSceneTextures textures;
    COnScreenDisplay osd;
};

// 128 x 96: the shorter side spans 2 units of 48 pixels, x = 0 at pixel 64.
int column(float x) {
    return static_cast<int>(64.0f + x * 48.0f);
}
int row(float y) {
    return static_cast<int>(48.0f + y * 48.0f);
}

TEST_P(OsdGlTest, ProgressBarFillsFromTheLeftByTheFraction) {
    const int barRow = row(-0.3f);
    osd.drawProgress(0.25f, kGlWidth, kGlHeight);
    EXPECT_TRUE(isWhite(pixel(column(-0.4f), barRow)));
    auto background = pixel(column(0.1f), barRow);
    EXPECT_GT(background[2], 30);  // the bar's faint blue
    EXPECT_LT(background[0], 20);
    EXPECT_TRUE(isBlack(pixel(column(0.6f), barRow)));
    EXPECT_FALSE(isBlack(pixel(column(0.0f), row(0.2f)))) << "logo";

    glClear(GL_COLOR_BUFFER_BIT);
    osd.drawProgress(0.75f, kGlWidth, kGlHeight);
    EXPECT_TRUE(isWhite(pixel(column(-0.4f), barRow)));
    EXPECT_TRUE(isWhite(pixel(column(0.1f), barRow)));
    // Short of the end at 0.25 only when x is narrowed by the aspect ratio.
    EXPECT_FALSE(isWhite(pixel(column(0.32f), barRow)));
    EXPECT_TRUE(isBlack(pixel(column(0.6f), barRow)));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_P(OsdGlTest, ProgressScreenFadesOutOverTheFirstSecondOfPlay) {
    const auto bar = [&] { return pixel(column(0.45f), row(-0.3f)); };
    osd.drawMessages(0.0f, false, kGlWidth, kGlHeight);
    EXPECT_TRUE(isWhite(bar())) << "drawn full";

    glClear(GL_COLOR_BUFFER_BIT);
    osd.drawMessages(0.75f, true, kGlWidth, kGlHeight);
    int faded = brightness(bar());
    EXPECT_GT(faded, 100);
    EXPECT_LT(faded, 300);

    glClear(GL_COLOR_BUFFER_BIT);
    osd.drawMessages(0.5f, true, kGlWidth, kGlHeight);
    EXPECT_TRUE(isBlack(bar()));
    EXPECT_TRUE(isBlack(pixel(column(0.0f), row(0.2f))));
}

TEST_P(OsdGlTest, IdleLogoIsCentred) {
    osd.drawLogo(kGlWidth, kGlHeight);
    EXPECT_FALSE(isBlack(pixel(column(0.0f), row(0.0f))));
    EXPECT_TRUE(isBlack(pixel(column(0.0f), row(0.4f))));
    EXPECT_TRUE(isBlack(pixel(column(0.0f), row(-0.4f))));
    EXPECT_TRUE(isBlack(pixel(column(0.45f), row(0.0f))));
}

TEST_P(OsdGlTest, MessagesStackDownFromTheTopLeftInTheirColours) {
    Offscreen target(kTextWidth, kTextHeight);
    ASSERT_TRUE(target.complete());
    osd.advance(1.0f, false);  // the progress screen is gone
    osd.addMessage("?WWW MMM HHH\n");
    osd.advance(3.0f, true);
    osd.addMessage("^WWW MMM HHH");
    // The first line's glyphs lie between 28.78 and 29.49 cells above the
    // centre, the second's a cell lower: the gap is at 28.625 cells.
    const int split = kTextHeight / 2 + 229;
    std::vector<uint8_t> fresh = drawText(target, 0.0f);
    Count red = countPixels(fresh, isRed, 0, 100, split, kTextHeight);
    EXPECT_GT(red.inside, 20);
    EXPECT_EQ(red.outside, 0);
    Count cyan = countPixels(fresh, isCyan, 0, 100, split - 12, split);
    EXPECT_GT(cyan.inside, 20);
    EXPECT_EQ(cyan.outside, 0);

    osd.advance(6.75f, true);  // the red line is in its last quarter second
    Count faded = countPixels(drawText(target, 0.0f), isRed, 0, 100, split, kTextHeight);
    EXPECT_GT(faded.redSum, 0);
    EXPECT_LT(faded.redSum * 10, red.redSum * 4);

    std::vector<uint8_t> later = drawText(target, 0.25f);
    ASSERT_EQ(osd.messages().size(), 1u);
    Count moved = countPixels(later, isCyan, 0, 100, split, kTextHeight);
    EXPECT_GT(moved.inside, 20);
    EXPECT_EQ(moved.outside, 0);
    EXPECT_EQ(countPixels(later, isRed, 0, 0, 0, 0).outside, 0);
}

TEST_P(OsdGlTest, LongLineGrowsTheBufferInsteadOfBeingCut) {
    Offscreen target(kTextWidth, kTextHeight);
    ASSERT_TRUE(target.complete());
    osd.advance(1.0f, false);
    EXPECT_EQ(osd.vertexCapacity(), COnScreenDisplay::kInitialVertices);
    // 170 full stops fill the initial buffer and end 57 cells from the left
    // (pixel 458); only the capitals after them reach further right.
    std::string line = "?" + std::string(170, '.') + std::string(10, 'M');
    osd.addMessage(line);
    std::vector<uint8_t> pixels = drawText(target, 0.0f);
    EXPECT_GE(osd.vertexCapacity(), 6 * 180);
    Count tail = countPixels(pixels, isRed, 465, kTextWidth, 0, kTextHeight);
    EXPECT_GT(tail.inside, 20);
}

TEST_P(OsdGlTest, ReleaseGivesEverythingBack) {
    osd.addMessage("#grey");
    osd.drawMessages(0.0f, true, kGlWidth, kGlHeight);
    EXPECT_EQ(log.contains("On-screen display draws without its shaders"), !GetParam());
    EXPECT_EQ(renderState().currentShader, nullptr) << "drawing leaves no program bound";
    osd.release();
    osd.release();  // a second release finds nothing to free
    EXPECT_EQ(textures.count(), 0u);
    EXPECT_EQ(osd.vertexCapacity(), 0);
    log.clear();
    vbDestroyAll();
    shaderDestroyAll();
    EXPECT_FALSE(log.contains("renderUtilsKill: vertexBuffers not empty")) << log.all();
    EXPECT_FALSE(log.contains("Shader was in use")) << log.all();
}

INSTANTIATE_TEST_SUITE_P(Shaders, OsdGlTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithShaders" : "FixedFunction";
                         });

}  // namespace
