// Shader sharing, expiry, sampler units and uniforms against a real context.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/log.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/vertexBuffer.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

using ShaderGl = GlTest;

GLint currentProgram() {
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

// A full-screen quad of format 1 (texcoord, position), texcoords 0..1.
int screenQuad() {
    int id = vbCreate(nullptr, 1, 4);
    float* v = vbLock(id);
    const float data[20] = {0, 0, -1, -1, 0, 1, 0, 1, -1, 0, 1, 1, 1, 1, 0, 0, 1, -1, 1, 0};
    for (int i = 0; i < 20; i++)
        v[i] = data[i];
    vbUnLock(id);
    return id;
}

TEST_F(ShaderGl, SamePairIsSharedAndCountsItsUsers) {
    LogCapture log;
    GLuint first = colourShader();
    ASSERT_NE(first, 0u);
    GLuint second = colourShader();
    EXPECT_EQ(first, second);
    EXPECT_TRUE(log.contains(
        LOG_INFO, "Re-using shader " + std::to_string(first) + " (test.vert, colour.frag)\n"));
    EXPECT_EQ(shaderFind(first)->useCount, 2);
    EXPECT_EQ(log.count("loading shader 'colour.frag'"), 1u);
    shaderDestroy(first);
    shaderBind(first);
    int quad = screenQuad();
    glColor4f(0, 1, 0, 1);
    EXPECT_TRUE(vbRender(quad, 4, 0, 4));
    EXPECT_EQ(pixel(5, 5)[1], 255);
    shaderDestroy(first);
    EXPECT_EQ(shaderFind(first)->useCount, 0);
    // The default life of a minute keeps it over the next load of another pair.
    testFiles()["other.frag"] = "void main() { gl_FragColor = vec4(1.0); }\n";
    shaderLoad("test.vert", "other.frag");
    EXPECT_NE(shaderFind(first), nullptr);
}

TEST_F(ShaderGl, UnusedShaderExpiresAtTheNextLoadOrDestroyWithLifeZero) {
    host.store.setInt("gl.shader_life", 0);
    GLuint first = colourShader();
    shaderDestroy(first);
    EXPECT_NE(shaderFind(first), nullptr);  // same tick: not yet older than its life
    osSleep(3);
    testFiles()["other.frag"] = "void main() { gl_FragColor = vec4(1.0); }\n";
    LogCapture log;
    GLuint other = shaderLoad("test.vert", "other.frag");
    EXPECT_EQ(shaderFind(first), nullptr);
    EXPECT_TRUE(log.contains(LOG_INFO, "Freeing shader (test.vert, colour.frag) as too old\n"));
    EXPECT_FALSE(glIsProgram(first));
    EXPECT_NE(shaderFind(other), nullptr);
}

TEST_F(ShaderGl, DestroyedTooOftenStaysUntilShutdown) {
    host.store.setInt("gl.shader_life", 0);
    GLuint id = colourShader();
    colourShader();
    LogCapture log;
    shaderDestroy(id);
    shaderDestroy(id);
    EXPECT_FALSE(log.contains("too many"));
    shaderDestroy(id);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Shader destroyed too many times\n"));
    osSleep(3);
    shaderDestroy(id + 1000);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Shader #" + std::to_string(id + 1000) + " not found\n"));
    EXPECT_NE(shaderFind(id), nullptr);
    shaderDestroyAll();
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "Shader was in use when we quit: colour.frag test.vert\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "freeing shader: colour.frag test.vert\n"));
    EXPECT_EQ(shaderCount(), 0u);
}

TEST_F(ShaderGl, SamplersReadUnitsInDeclarationOrder) {
    LogCapture log;
    GLuint id = colourShader(
        "uniform sampler2D base; // unit 0\n"
        "uniform sampler2D glow;\n"
        "void main() {\n"
        "  gl_FragColor = vec4(texture2D(base, gl_TexCoord[0].st).r,\n"
        "                      texture2D(glow, gl_TexCoord[0].st).g, 0.0, 1.0);\n"
        "}\n");
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(log.contains(LOG_INFO, "Found texture unit named 'base'\n"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Found texture unit named 'glow'\n"));
    const uint8_t red[4] = {255, 0, 0, 255};
    const uint8_t green[4] = {0, 255, 0, 255};
    int redTexture = texFromBytes(1, 1, red);
    int greenTexture = texFromBytes(1, 1, green);
    texBind(0, redTexture);
    texBind(1, greenTexture);
    shaderBind(id);
    ASSERT_TRUE(vbRender(screenQuad(), 4, 0, 4));
    auto colour = pixel(kGlWidth / 2, kGlHeight / 2);
    EXPECT_EQ(colour[0], 255);
    EXPECT_EQ(colour[1], 255);
    EXPECT_EQ(colour[2], 0);
    EXPECT_EQ(currentProgram(), static_cast<GLint>(id));
}

TEST_F(ShaderGl, SeveralSamplersInOneStatementCannotBeFound) {
    LogCapture log;
    GLuint id = colourShader(
        "uniform sampler2D a, b;\n"
        "void main() { gl_FragColor = texture2D(a, vec2(0.0)) + texture2D(b, vec2(0.0)); }\n");
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(
        log.contains(LOG_WARNING, "Couldn't find GLSL texture unit uniform location for a, b\n"));
    EXPECT_EQ(currentProgram(), 0);
}

TEST_F(ShaderGl, MissingFilesAndCompileErrorsEnterNothing) {
    LogCapture log;
    EXPECT_EQ(shaderLoad("nowhere.vert", "colour.frag"), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Cannot open shader file! 'nowhere.vert'\n"));
    EXPECT_EQ(shaderLoad("test.vert", "nowhere.frag"), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Cannot open shader file! 'nowhere.frag'\n"));
    testFiles()["bad.frag"] = "void main() { gl_FragColor = undefinedThing; }\n";
    EXPECT_EQ(shaderLoad("test.vert", "bad.frag"), 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "GLSL shader compile failed (bad.frag)\n"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "InfoLog: "));
    EXPECT_EQ(shaderCount(), 0u);
}

TEST_F(ShaderGl, LinkFailureStillYieldsAnId) {
    testFiles()["nolink.frag"] =
        "vec4 helper();\n"
        "void main() { gl_FragColor = helper(); }\n";
    LogCapture log;
    GLuint id = shaderLoad("test.vert", "nolink.frag");
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(log.contains(LOG_WARNING, "GLSL shader link failed\n")) << log.all();
    EXPECT_NE(shaderFind(id), nullptr);
}

TEST_F(ShaderGl, BindingAnUnknownIdKeepsTheProgram) {
    GLuint id = colourShader();
    shaderBind(id);
    LogCapture log;
    shaderBind(id + 77);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Program #" + std::to_string(id + 77) + " not found\n"));
    EXPECT_EQ(currentProgram(), static_cast<GLint>(id));
    shaderBind(0);
    EXPECT_EQ(currentProgram(), 0);
    EXPECT_FALSE(vbRender(screenQuad(), 4, 0, 4));
}

TEST_F(ShaderGl, UniformsBySizeAndTheirRefusals) {
    GLuint id = colourShader(
        "uniform vec4 tint;\n"
        "uniform float gain;\n"
        "void main() { gl_FragColor = tint * gain; }\n");
    LogCapture log;
    const float values[5] = {0.25f, 0.5f, 0.75f, 1.0f, 9.0f};
    shaderUniform("tint", 4, values);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Could not find currently bound program #0\n"));
    shaderBind(id);
    shaderUniform("tint", 4, values);
    shaderUniform("gain", 1, values + 1);
    GLfloat tint[4] = {0, 0, 0, 0};
    glGetUniformfv(id, glGetUniformLocation(id, "tint"), tint);
    EXPECT_EQ(tint[2], 0.75f);
    EXPECT_EQ(tint[3], 1.0f);
    shaderUniform("tint", 0, values + 4);
    shaderUniform("tint", 5, values + 4);
    glGetUniformfv(id, glGetUniformLocation(id, "tint"), tint);
    EXPECT_EQ(tint[0], 0.25f);
    shaderUniform("missing", 1, values);
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unknown GLSL uniform 'missing'\n"));
    ASSERT_TRUE(vbRender(screenQuad(), 4, 0, 4));
    auto colour = pixel(4, 4);
    EXPECT_NEAR(colour[0], 32, 1);
    EXPECT_NEAR(colour[2], 96, 1);
}

}  // namespace
