// State ids, Clear, matrices and the GL error report against a real context.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/log.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

using StateGl = GlTest;

GLint integer(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

TEST_F(StateGl, BlendIdsChangeOneFactorEachAfterInitialisation) {
    glBlendFunc(GL_ZERO, GL_ZERO);
    glSetInt(203, 1);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    glSetInt(204, 104);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_DST_COLOR);
    LogCapture log;
    glSetInt(204, 7);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown id in glibGetBlendType(7)\n"));
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ZERO);
}

TEST_F(StateGl, InitialisationIssuesNoBlendCall) {
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    renderUtilsInit(&host);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_DST_COLOR);
    glSetInt(204, 1);  // the remembered source is the reset one, not GL's
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE);
}

TEST_F(StateGl, DepthAndCulling) {
    glSetInt(200, 5);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glSetInt(200, 0);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    glSetInt(201, 0);
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_FALSE);
    glSetInt(201, 2);
    EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
    glSetInt(202, 2);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_FRONT);
    glSetInt(202, 1);
    EXPECT_EQ(integer(GL_CULL_FACE_MODE), GL_BACK);
    LogCapture log;
    glSetInt(202, 0);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(log.lines().size(), 0u);
    glSetInt(202, 1);
    glSetInt(202, 3);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown flag 3 for GL_CULL_FACE in glSetInt\n"));
}

TEST_F(StateGl, ColourIsStoredAndPassedWithRedInTheLowestByte) {
    EXPECT_EQ(static_cast<uint32_t>(glGetInt(205)), 0xFFFFFFFFu);
    glSetInt(205, static_cast<int>(0x80FF4020u));
    EXPECT_EQ(static_cast<uint32_t>(glGetInt(205)), 0x80FF4020u);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_NEAR(colour[0], 0x20 / 255.0, 1e-3);
    EXPECT_NEAR(colour[1], 0x40 / 255.0, 1e-3);
    EXPECT_NEAR(colour[2], 1.0, 1e-3);
    EXPECT_NEAR(colour[3], 0x80 / 255.0, 1e-3);
}

TEST_F(StateGl, SizesAndUnknownIds) {
    host.width = 800;
    host.height = 600;
    EXPECT_EQ(glGetInt(207), 800);
    EXPECT_EQ(glGetInt(208), 600);
    glViewport(0, 0, 40, 30);
    EXPECT_EQ(glGetInt(211), 40);
    EXPECT_EQ(glGetInt(212), 30);
    EXPECT_EQ(glGetInt(209), 0);
    LogCapture log;
    EXPECT_EQ(glGetInt(213), 0);
    EXPECT_EQ(log.lines().size(), 0u);
    EXPECT_EQ(glGetInt(214), 0);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown id in glGetInt(214)\n"));
    glSetInt(299, 4);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown id in glSetInt(299, 4)\n"));
}

TEST_F(StateGl, TextureWrapNeedsACurrentTextureAndSetsItsTarget) {
    LogCapture log;
    glSetInt(206, 200);
    EXPECT_TRUE(log.contains(LOG_WARNING, "glSetInt(_GL_TEXTURE_WRAP) - No active texture!\n"));
    const uint8_t texel[4 * 4] = {0};
    int id = texFromBytes(2, 2, texel);
    texBind(0, id);
    EXPECT_EQ(glGetInt(209), 2);
    glBindTexture(GL_TEXTURE_2D, textureInfos().getGLid(id));
    glSetInt(206, 201);
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP);
    glSetInt(206, 200);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_REPEAT);
}

TEST_F(StateGl, ClearHonoursEachFlagBit) {
    glClearDepth(0.25);
    renderClear(0, 1, 0, 1, 2);  // depth only
    auto colour = pixel(3, 3);
    EXPECT_EQ(colour[1], 0);
    float depth = 0;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25, 1e-3);
    renderClear(0, 1, 0, 1, 1);
    EXPECT_EQ(pixel(3, 3)[1], 255);
    renderClear(1, 0, 0, 1, 0);
    EXPECT_EQ(pixel(3, 3)[0], 0);
}

TEST_F(StateGl, MatricesAreStoredLoadedAndModeRestored) {
    float stored[16];
    ASSERT_TRUE(getMatrix(1, stored));
    EXPECT_EQ(stored[0], 1.0f);
    EXPECT_EQ(stored[1], 0.0f);
    float matrix[16];
    for (int i = 0; i < 16; i++)
        matrix[i] = static_cast<float>(i + 1);
    glMatrixMode(GL_TEXTURE);
    ASSERT_TRUE(setMatrix(1, matrix));
    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_TEXTURE);
    float fromGl[16];
    glGetFloatv(GL_PROJECTION_MATRIX, fromGl);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(fromGl[i], matrix[i]);
    // The stored copy is returned, whatever GL holds now.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    ASSERT_TRUE(getMatrix(1, stored));
    EXPECT_EQ(stored[5], 6.0f);
    LogCapture log;
    EXPECT_FALSE(setMatrix(3, matrix));
    EXPECT_FALSE(getMatrix(-1, stored));
    EXPECT_EQ(log.count("Unknown matrix kind"), 2u);
    EXPECT_EQ(stored[5], 6.0f);
}

TEST_F(StateGl, ErrorReportLogsEachPendingError) {
    EXPECT_TRUE(glReportErrors("here.cpp", 1));
    glEnable(0x1234);
    LogCapture log;
    EXPECT_FALSE(glReportErrors("here.cpp", 7));
    EXPECT_EQ(log.count("OpenGL Error invalid enumerant at here.cpp:7\n"), 1u) << log.all();
    EXPECT_TRUE(glReportErrors("here.cpp", 8));
}

}  // namespace
