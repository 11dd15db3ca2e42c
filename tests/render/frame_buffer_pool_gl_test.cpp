// The frame buffer pool: reuse by size and flags, clamping, ageing, binding.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/log.h"
#include "render/frameBufferObjects.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

using FrameBufferPoolGl = GlTest;

TEST_F(FrameBufferPoolGl, BuffersInUseAreNotHandedOutTwice) {
    LogCapture log;
    CRenderBufferObject* first = pool->getRenderBuffer(16, 8, true, false);
    EXPECT_TRUE(log.contains(LOG_INFO, "Creating 16 x 8 FBO\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Creating new 16x8 Render Buffer Texture (RGBA)\n"));
    EXPECT_FALSE(first->inUse);
    EXPECT_EQ(pool->getRenderBuffer(16, 8, true, false), first);  // not in use yet
    pool->bind(first);
    CRenderBufferObject* second = pool->getRenderBuffer(16, 8, true, false);
    EXPECT_NE(second, first);
    pool->bind(second);
    ASSERT_EQ(pool->frameBuffers().size(), 1u);
    EXPECT_EQ(pool->frameBuffers()[0]->colourBuffers.size(), 2u);
    pool->end(second);
    pool->end(first);
    second->setUnused();
    first->setUnused();
    EXPECT_EQ(pool->getRenderBuffer(16, 8, true, false), first);
    EXPECT_EQ(log.count("Creating 16 x 8 FBO"), 1u);
    first->setUnused();
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "CRenderBufferObject::setUnused() - not in use anyway!\n"));
}

TEST_F(FrameBufferPoolGl, ReuseNeedsTheSameKindAndFloatFlag) {
    host.store.setInt("gl.float_render_texture", 1);
    caps.floatTextures = true;
    caps.floatRenderTextureFormat = GL_RGBA32F_ARB;
    renderSetCaps(caps);
    CRenderBufferObject* renderBuffer = pool->getRenderBuffer(8, 8, false, false);
    EXPECT_NE(renderBuffer->renderBuffer, 0u);
    EXPECT_EQ(renderBuffer->texture, 0u);
    LogCapture log;
    CRenderBufferObject* floating = pool->getRenderBuffer(8, 8, true, true);
    EXPECT_TRUE(log.contains(LOG_INFO, "Creating new 8x8 Render Buffer Texture (RGBA_F)\n"));
    EXPECT_TRUE(floating->isFloat);
    CRenderBufferObject* plain = pool->getRenderBuffer(8, 8, true, false);
    EXPECT_NE(plain, renderBuffer);
    EXPECT_NE(plain, floating);
    EXPECT_EQ(pool->frameBuffers()[0]->colourBuffers.size(), 3u);
    EXPECT_EQ(pool->getRenderBuffer(8, 8, false, false), renderBuffer);
}

TEST_F(FrameBufferPoolGl, FloatRequestsAreIntegerUnlessEnabled) {
    caps.floatTextures = true;
    renderSetCaps(caps);
    CRenderBufferObject* buffer = pool->getRenderBuffer(8, 8, true, true);
    EXPECT_FALSE(buffer->isFloat);
    EXPECT_EQ(pool->getRenderBuffer(8, 8, true, false), buffer);
}

TEST_F(FrameBufferPoolGl, OversizedRequestsAreClampedPerDimension) {
    GLint maximum = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maximum);
    CRenderBufferObject* buffer = pool->getRenderBuffer(maximum + 100, 4, true, false);
    EXPECT_EQ(buffer->width(), maximum);
    EXPECT_EQ(buffer->height(), 4);
}

TEST_F(FrameBufferPoolGl, UnusedBuffersExpireAndTakeTheirFrameBufferAlong) {
    host.store.setInt("gl.renderbuffer_life", 0);
    CRenderBufferObject* kept = pool->getRenderBuffer(8, 8, true, false);
    pool->getRenderBuffer(4, 4, true, false);
    pool->bind(kept);
    LogCapture log;
    pool->age(0);
    EXPECT_EQ(pool->frameBuffers().size(), 2u);  // age 0 is not above a life of 0
    pool->age(1500);
    EXPECT_TRUE(log.contains(LOG_INFO, "Removing 4x4 Render Buffer because it is 1s (> 0s) old\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Removing empty 4x4 Frame Buffer\n"));
    ASSERT_EQ(pool->frameBuffers().size(), 1u);
    EXPECT_EQ(pool->frameBuffers()[0]->width, 8);
    EXPECT_EQ(kept->age, 0);
    pool->end(kept);
    kept->setUnused();
    pool->age(5);
    EXPECT_TRUE(pool->frameBuffers().empty());
}

TEST_F(FrameBufferPoolGl, AgeingAddsUpUntilTheLife) {
    host.store.setInt("gl.renderbuffer_life", 2);
    CRenderBufferObject* buffer = pool->getRenderBuffer(8, 8, false, false);
    pool->age(1500);
    EXPECT_EQ(buffer->age, 1500);
    pool->age(500);
    ASSERT_EQ(pool->frameBuffers().size(), 1u);  // exactly the life: kept
    EXPECT_EQ(pool->getRenderBuffer(8, 8, false, false), buffer);
    pool->bind(buffer);
    pool->age(100);
    EXPECT_EQ(buffer->age, 0);
    pool->end(buffer);
}

TEST_F(FrameBufferPoolGl, BindAttachesAndEndReturnsTheName) {
    glViewport(1, 2, 30, 20);
    CRenderBufferObject* outer = pool->getRenderBuffer(16, 16, true, false);
    CRenderBufferObject* inner = pool->getRenderBuffer(4, 4, false, false);
    pool->bind(outer);
    pool->bind(inner);
    EXPECT_EQ(pool->boundList().size(), 2u);
    GLint attached = 0;
    glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &attached);
    EXPECT_EQ(static_cast<GLuint>(attached), inner->renderBuffer);
    EXPECT_EQ(pool->end(inner), inner->renderBuffer);
    glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &attached);
    EXPECT_EQ(static_cast<GLuint>(attached), outer->texture);
    EXPECT_EQ(pool->end(outer), outer->texture);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 20);
    EXPECT_TRUE(pool->boundList().empty());
    EXPECT_TRUE(inner->inUse);
}

}  // namespace
