// Vertex buffers drawn through a real context, checked by reading pixels back.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "render/shader.h"
#include "render/vertexBuffer.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

using VertexBufferGl = GlTest;

// A quad of format 4 (texcoord, colour, normal, position) covering the
// left half of the screen in `colour`.
int leftHalfQuad(const float colour[4]) {
    int id = vbCreate(nullptr, 4, 4);
    float* v = vbLock(id);
    const float corners[4][2] = {{-1, -1}, {0, -1}, {0, 1}, {-1, 1}};
    for (int i = 0; i < 4; i++, v += 12) {
        v[0] = v[1] = 0;
        for (int c = 0; c < 4; c++)
            v[2 + c] = colour[c];
        v[6] = v[7] = 0;
        v[8] = 1;
        v[9] = corners[i][0];
        v[10] = corners[i][1];
        v[11] = 0;
    }
    vbUnLock(id);
    return id;
}

bool anyClientArrayEnabled() {
    bool enabled =
        glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_NORMAL_ARRAY) || glIsEnabled(GL_COLOR_ARRAY);
    for (int unit = 0; unit < 3; unit++) {
        glClientActiveTexture(GL_TEXTURE0 + unit);
        enabled = enabled || glIsEnabled(GL_TEXTURE_COORD_ARRAY);
    }
    glClientActiveTexture(GL_TEXTURE0);
    GLint arrayBuffer = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    return enabled || arrayBuffer != 0;
}

const float kRed[4] = {1, 0, 0, 1};

TEST_F(VertexBufferGl, QuadDrawnWithShaderLandsOnTheLeftHalfOnly) {
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    ASSERT_TRUE(vbRender(id, 4, 0, 4));
    auto left = pixel(kGlWidth / 4, kGlHeight / 2);
    auto right = pixel(3 * kGlWidth / 4, kGlHeight / 2);
    EXPECT_EQ(left[0], 255);
    EXPECT_EQ(left[1], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_FALSE(anyClientArrayEnabled());
}

TEST_F(VertexBufferGl, BufferObjectPathDrawsTheContentsOfTheLastUnlock) {
    ASSERT_TRUE(caps.vertexBufferObjects);
    host.store.setInt("gl.use_vbo", 1);
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    // Written after the unlock: the buffer object still holds red.
    float* v = vbLock(id);
    for (int i = 0; i < 4; i++)
        v[i * 12 + 2] = 0, v[i * 12 + 4] = 1;
    ASSERT_TRUE(vbRender(id, 4, 0, 4) == false);  // locked: refused
    vbUnLock(id);
    ASSERT_TRUE(vbRender(id, 4, 0, 4));
    auto left = pixel(kGlWidth / 4, kGlHeight / 2);
    EXPECT_EQ(left[0], 0);
    EXPECT_EQ(left[2], 255);
    EXPECT_FALSE(anyClientArrayEnabled());
    EXPECT_EQ(host.store.getInt("gl.use_vbo", -1), 1);
}

TEST_F(VertexBufferGl, TexturedFormatFeedsTextureCoordinatesToTheShader) {
    shaderBind(colourShader("void main() { gl_FragColor = vec4(gl_TexCoord[0].st, 0.0, 1.0); }\n"));
    int id = vbCreate(nullptr, 1, 3);
    float* v = vbLock(id);
    const float data[15] = {1, 0, -1, -1, 0, 1, 0, 3, -1, 0, 1, 0, -1, 3, 0};
    for (int i = 0; i < 15; i++)
        v[i] = data[i];
    vbUnLock(id);
    ASSERT_TRUE(vbRender(id, 3, 0, 3));
    auto centre = pixel(kGlWidth / 2, kGlHeight / 2);
    EXPECT_GT(centre[0], 200);
    EXPECT_LT(centre[1], 40);
}

class RefusedDraw : public GlTest {
protected:
    void expectNothingDrawn(int id, int primitive, int first, int count, const char* message) {
        LogCapture log;
        EXPECT_FALSE(vbRender(id, primitive, first, count));
        EXPECT_TRUE(log.contains(message)) << log.all();
        auto left = pixel(kGlWidth / 4, kGlHeight / 2);
        EXPECT_EQ(left[0], 0);
        EXPECT_FALSE(anyClientArrayEnabled());
    }
};

TEST_F(RefusedDraw, WithoutShader) {
    int id = leftHalfQuad(kRed);
    expectNothingDrawn(id, 4, 0, 4, "vbRender with no shader bound!\n");
}

TEST_F(RefusedDraw, OutsideTheBuffer) {
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    expectNothingDrawn(
        id, 4, 0, 5, "Rendering outside bounds of vertex buffer rendering 0..5, buffer is 0..4\n");
    expectNothingDrawn(id, 4, -1, 4, "Rendering outside bounds");
}

TEST_F(RefusedDraw, WhileLocked) {
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    vbLock(id);
    expectNothingDrawn(id, 4, 0, 4, "Attempting to render locked Vertex Buffer\n");
    vbUnLock(id);
}

TEST_F(RefusedDraw, UnknownPrimitiveAndUnknownBuffer) {
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    expectNothingDrawn(id, 5, 0, 4, "Unknown Rendering format : 5\n");
    expectNothingDrawn(id + 1, 4, 0, 4, "Unknown Vertex Buffer");
}

TEST_F(RefusedDraw, BufferObjectRefusalLeavesNoBufferBound) {
    host.store.setInt("gl.use_vbo", 1);
    shaderBind(colourShader());
    int id = leftHalfQuad(kRed);
    expectNothingDrawn(id, 4, 2, 3, "Rendering outside bounds");
}

}  // namespace
