// Vertex buffers drawn through a real context, checked by reading pixels back.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

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

// Each format's components reach the attribute they belong to: a vertex
// shader turns three chosen components into the colour of a full-screen
// triangle, whose pixel is read back.
struct LayoutCase {
    int format;
    const char* colour;         // GLSL expression of the vertex inputs
    std::vector<float> vertex;  // one vertex; x and y are patched per corner
    int xOffset;                // where position x sits in the vertex
    std::array<int, 3> expected;
};

TEST_F(VertexBufferGl, EveryFormatFeedsItsComponentsToTheirArrays) {
    const LayoutCase cases[] = {
        {0, "vec3(0.25, 0.5, 1.0)", {0, 0, 0}, 0, {64, 128, 255}},
        {1, "vec3(gl_MultiTexCoord0.st, 0.0)", {0.25f, 0.5f, 0, 0, 0}, 2, {64, 128, 0}},
        {2, "gl_Normal", {0.25f, 0.5f, 1.0f, 0, 0, 0}, 3, {64, 128, 255}},
        {3,
         "vec3(gl_MultiTexCoord0.t, gl_Normal.x, gl_Normal.z)",
         {0, 0.25f, 0.5f, 0, 1.0f, 0, 0, 0},
         5,
         {64, 128, 255}},
        {4,
         "vec3(gl_Color.a, gl_MultiTexCoord0.s, gl_Normal.y)",
         {0.5f, 0, 0, 0, 0, 0.25f, 0, 1.0f, 0, 0, 0, 0},
         9,
         {64, 128, 255}},
        {5,
         "vec3(gl_MultiTexCoord1.z, gl_MultiTexCoord2.x, gl_Normal.z)",
         {0, 0, 0, 0, 0, 0.25f, 0.5f, 0, 0, 0, 0, 1.0f, 0, 0, 0},
         12,
         {64, 128, 255}},
    };
    for (const LayoutCase& c : cases) {
        std::string name = "layout" + std::to_string(c.format) + ".vert";
        testFiles()[name] = std::string("void main() {\n  gl_Position = ftransform();\n") +
                            "  gl_FrontColor = vec4(" + c.colour + ", 1.0);\n}\n";
        GLuint program = shaderLoad(name.c_str(), "colour.frag");
        ASSERT_NE(program, 0u);
        shaderBind(program);
        int id = vbCreate(nullptr, c.format, 3);
        float* v = vbLock(id);
        const float corners[3][2] = {{-1, -1}, {3, -1}, {-1, 3}};
        for (int i = 0; i < 3; i++) {
            float* vertex = v + i * c.vertex.size();
            std::copy(c.vertex.begin(), c.vertex.end(), vertex);
            vertex[c.xOffset] = corners[i][0];
            vertex[c.xOffset + 1] = corners[i][1];
        }
        vbUnLock(id);
        renderClear(0, 0, 0, 0, 1);
        ASSERT_TRUE(vbRender(id, 3, 0, 3));
        auto colour = pixel(kGlWidth / 2, kGlHeight / 2);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(colour[k], c.expected[k], 1) << "format " << c.format << " channel " << k;
        EXPECT_FALSE(anyClientArrayEnabled());
    }
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
