// Render targets, the frame buffer pool and sumViewport, checked by reading
// back what was drawn.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/log.h"
#include "render/frameBufferObjects.h"
#include "render/renderTexture.h"
#include "render/textureInfos.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

class RenderTargetGl : public GlTest {
protected:
    // The colour of the texel at (x, y) of texture id.
    std::array<uint8_t, 4> texel(int id, int x, int y) {
        TextureRecord* record = textureInfos().find(id);
        std::vector<uint8_t> bytes(static_cast<size_t>(record->width) * record->height * 4);
        glBindTexture(GL_TEXTURE_2D, record->glName);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        const uint8_t* p = &bytes[(static_cast<size_t>(y) * record->width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    GLint integer(GLenum name) {
        GLint value = 0;
        glGetIntegerv(name, &value);
        return value;
    }
    std::array<GLint, 4> viewport() {
        std::array<GLint, 4> value{};
        glGetIntegerv(GL_VIEWPORT, value.data());
        return value;
    }
    // Fills the part of the current viewport given in pixels with a colour.
    void fill(int x, int y, int width, int height, float r, float g, float b) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(x, y, width, height);
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
};

TEST_F(RenderTargetGl, NestedTargetsRestoreTheirParent) {
    glViewport(3, 4, 50, 40);
    texRenderBegin(32, 16, false);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 32, 16}));
    renderClear(1, 0, 0, 1, 1);
    GLint outerFrameBuffer = integer(GL_FRAMEBUFFER_BINDING_EXT);
    texRenderBegin(8, 8, false);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 8, 8}));
    EXPECT_NE(integer(GL_FRAMEBUFFER_BINDING_EXT), outerFrameBuffer);
    renderClear(0, 1, 0, 1, 1);
    int inner = texRenderEnd();
    // Back in the outer target: drawing now lands there, at its full size.
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING_EXT), outerFrameBuffer);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 32, 16}));
    fill(0, 0, 16, 16, 0, 0, 1);
    int outer = texRenderEnd();
    EXPECT_NE(inner, 0);
    EXPECT_NE(outer, 0);
    EXPECT_NE(inner, outer);
    EXPECT_LT(inner, outer);
    EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING_EXT), 0);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{3, 4, 50, 40}));
    EXPECT_EQ(texel(inner, 4, 4)[1], 255);
    EXPECT_EQ(texel(outer, 2, 2)[2], 255);
    EXPECT_EQ(texel(outer, 30, 2)[0], 255);
    EXPECT_TRUE(textureInfos().find(outer)->renderable);
    EXPECT_EQ(textureInfos().find(outer)->width, 32);
    EXPECT_TRUE(renderState().renderTextureStack.empty());
}

TEST_F(RenderTargetGl, NestedTargetsOfOneSizeShareAFrameBuffer) {
    glViewport(0, 0, 20, 20);
    texRenderBegin(16, 16, false);
    renderClear(1, 0, 0, 1, 1);
    texRenderBegin(16, 16, false);
    renderClear(0, 1, 0, 1, 1);
    ASSERT_EQ(pool->frameBuffers().size(), 1u);
    EXPECT_EQ(pool->frameBuffers()[0]->colourBuffers.size(), 2u);
    EXPECT_EQ(pool->frameBuffers()[0]->bindDepth, 2);
    int inner = texRenderEnd();
    // Same frame buffer: the viewport is not restored yet, the outer colour is re-attached.
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 16, 16}));
    fill(0, 0, 4, 4, 0, 0, 1);
    int outer = texRenderEnd();
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 20, 20}));
    EXPECT_EQ(texel(inner, 1, 1)[1], 255);
    EXPECT_EQ(texel(inner, 1, 1)[2], 0);
    EXPECT_EQ(texel(outer, 1, 1)[2], 255);
    EXPECT_EQ(texel(outer, 10, 10)[0], 255);
}

TEST_F(RenderTargetGl, SizesFollowTheOutputOrFallBack) {
    host.width = 800;
    host.height = 600;
    texRenderBegin(-1, -2, false);
    int half = texRenderEnd();
    EXPECT_EQ(textureInfos().find(half)->width, 800);
    EXPECT_EQ(textureInfos().find(half)->height, 300);
    LogCapture log;
    texRenderBegin(-3, 5, false);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Invalid arguments -3x5 to texRenderBegin\n"));
    int fallback = texRenderEnd();
    EXPECT_EQ(textureInfos().find(fallback)->width, 256);
    EXPECT_EQ(textureInfos().find(fallback)->height, 256);
}

TEST_F(RenderTargetGl, EndWithoutBeginAndFinishing) {
    LogCapture log;
    EXPECT_EQ(texRenderEnd(), 0);
    EXPECT_TRUE(log.contains(LOG_WARNING, "texRenderEnd: Render texture stack is EMPTY\n"));
    texRenderBegin(8, 8, false);
    int id = texRenderEnd();
    CRenderBufferObject* buffer = pool->findByTexture(textureInfos().getGLid(id));
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(buffer->inUse);
    texRenderFinished(id);
    EXPECT_FALSE(buffer->inUse);
    EXPECT_EQ(textureInfos().find(id), nullptr);
    EXPECT_TRUE(glIsTexture(buffer->texture));  // the pool keeps it
    texRenderFinished(0);
    texRenderFinished(id);
    EXPECT_TRUE(log.contains(
        LOG_WARNING, "CTextureInfos::getGLid Texture ID " + std::to_string(id) + " not found\n"));
    // The next target of that size takes the same colour buffer again.
    texRenderBegin(8, 8, false);
    int again = texRenderEnd();
    EXPECT_EQ(pool->findByTexture(textureInfos().getGLid(again)), buffer);
    EXPECT_EQ(again, id);
}

TEST_F(RenderTargetGl, FinishingATextureThePoolDoesNotKnowWarnsAndForgetsIt) {
    GLuint name = 0;
    glGenTextures(1, &name);
    int id = textureInfos().registerTexture(GL_TEXTURE_2D, name, 2, 2, true);
    LogCapture log;
    texRenderFinished(id);
    EXPECT_TRUE(log.contains(LOG_WARNING,
                             "no renderable texture number " + std::to_string(name) + " found\n"));
    EXPECT_EQ(textureInfos().find(id), nullptr);
    glDeleteTextures(1, &name);
}

TEST_F(RenderTargetGl, SumViewportAveragesAKnownPicture) {
    glViewport(0, 0, 40, 20);
    fill(0, 0, 40, 20, 0, 0, 0);
    fill(0, 0, 20, 20, 1, 0, 0);    // left half red
    fill(20, 10, 20, 10, 0, 1, 0);  // top right quarter green
    float whole[3];
    sumViewport(whole, 1, 1);
    EXPECT_NEAR(whole[0], 0.5f, 1e-3);
    EXPECT_NEAR(whole[1], 0.25f, 1e-3);
    EXPECT_NEAR(whole[2], 0.0f, 1e-3);
    float cells[2 * 2 * 3];
    sumViewport(cells, 2, 2);
    const float expected[12] = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0};  // bottom row first
    for (int i = 0; i < 12; i++)
        EXPECT_NEAR(cells[i], expected[i], 1e-3) << i;
    // An offset viewport is read from its own corner.
    glViewport(20, 10, 20, 10);
    sumViewport(whole, 1, 1);
    EXPECT_NEAR(whole[1], 1.0f, 1e-3);
    EXPECT_NEAR(whole[0], 0.0f, 1e-3);
}

TEST_F(RenderTargetGl, SumViewportOfNothingWritesZeros) {
    glViewport(0, 0, 2, 1);
    fill(0, 0, 2, 1, 1, 1, 1);
    std::vector<float> cells(3 * 3, -1.0f);
    sumViewport(cells.data(), 3, 1);  // one column has no pixel of its own
    EXPECT_EQ(cells[0], 0.0f);
    EXPECT_NEAR(cells[3], 1.0f, 1e-3);
    EXPECT_NEAR(cells[6], 1.0f, 1e-3);
    glViewport(0, 0, 0, 0);
    std::vector<float> empty(6, -1.0f);
    sumViewport(empty.data(), 2, 1);
    EXPECT_EQ(empty, std::vector<float>(6, 0.0f));
}

TEST_F(RenderTargetGl, ShutdownReportsTargetsLeftOpen) {
    texRenderBegin(8, 4, false);
    LogCapture log;
    renderUtilsKill();
    EXPECT_TRUE(log.contains(LOG_WARNING, "renderUtilsKill: renderTextureStack not empty (1)\n"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "rt: width 8 height 4\n"));
    EXPECT_TRUE(renderState().renderTextureStack.empty());
    pool.reset();
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "CFrameBufferObjects: Bound Render Buffers list not empty\n"));
    renderSetFrameBufferObjects(nullptr);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

}  // namespace
