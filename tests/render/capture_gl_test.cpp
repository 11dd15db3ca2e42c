// Capture of the viewport into files, and the shutdown report of the services.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/log.h"
#include "render/imageFile.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

using CaptureGl = GlTest;

class ReportingCache : public TextureCacheHook {
public:
    void ensureTextureLoaded(int) override {}
    void report(int id) override { Log(LOG_INFO, "cache reports %d\n", id); }
};

// Bottom half red, top half green, over a 4 x 2 viewport at the origin.
void paintHalves() {
    glViewport(0, 0, 4, 2);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 1);
    renderClear(1, 0, 0, 1, 1);
    glScissor(0, 1, 4, 1);
    renderClear(0, 1, 0, 1, 1);
    glDisable(GL_SCISSOR_TEST);
}

TEST_F(CaptureGl, FlippedCaptureWritesTheTopRowFirst) {
    TempDir dir;
    paintHalves();
    std::string flipped = dir.path() + "top.tga";
    std::string plain = dir.path() + "bottom.tga";
    ASSERT_TRUE(imageCapture(flipped.c_str(), true));
    ASSERT_TRUE(imageCapture(plain.c_str(), false));
    std::string top = dir.read("top.tga");
    std::string bottom = dir.read("bottom.tga");
    ASSERT_EQ(top.size(), 18u + 4 * 2 * 3);
    EXPECT_EQ(top[12], 4);
    EXPECT_EQ(top[14], 2);
    // Pixels are B, G, R: the first one is green when flipped, red otherwise.
    EXPECT_EQ(static_cast<uint8_t>(top[19]), 255);
    EXPECT_EQ(static_cast<uint8_t>(top[20]), 0);
    EXPECT_EQ(static_cast<uint8_t>(bottom[20]), 255);
    EXPECT_EQ(static_cast<uint8_t>(bottom[19]), 0);
    EXPECT_EQ(static_cast<uint8_t>(top[18 + 4 * 3 + 2]), 255);  // second row red
}

TEST_F(CaptureGl, CaptureAsPngReadsBack) {
    TempDir dir;
    paintHalves();
    std::string path = dir.path() + "shot.png";
    ASSERT_TRUE(imageCapture(path.c_str(), true));
    std::string bytes = dir.read("shot.png");
    auto image =
        imageDecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "shot");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 4);
    EXPECT_EQ(image->pixel(0, 0)[1], 255);
    EXPECT_EQ(image->pixel(3, 1)[0], 255);
}

TEST_F(CaptureGl, ShutdownReportsWhatIsLeftAndForgetsTheHost) {
    ReportingCache cache;
    texSetCacheHook(&cache);
    vbCreate(nullptr, 3, 6);
    GLuint program = colourShader();
    int cached = textureInfos().allocateCacheSlot();
    GLuint name = 0;
    glGenTextures(1, &name);
    textureInfos().registerTexture(GL_TEXTURE_2D, name, 16, 8, true);
    LogCapture log;
    renderUtilsKill();
    EXPECT_TRUE(log.contains(LOG_WARNING, "vb: format 3 elems 6\n"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "renderUtilsKill: vertexBuffers not empty (1)\n"));
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "Shader was in use when we quit: colour.frag test.vert\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "freeing shader: colour.frag test.vert\n"));
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_TRUE(log.contains(LOG_INFO, "cache reports " + std::to_string(cached) + "\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Renderable Texture 16 x 8\n"));
    EXPECT_FALSE(log.contains("renderTextureStack"));
    // Nothing in the texture table is freed by the report.
    EXPECT_NE(textureInfos().find(cached), nullptr);
    EXPECT_EQ(glGetInt(207), 0);
    glDeleteTextures(1, &name);
    texSetCacheHook(nullptr);  // the fake goes before the fixture's own shutdown
}

}  // namespace
