// Graphics natives that take several arguments of one type, called with
// distinct values and checked through GL, so that arguments passed in the
// wrong order or components reversed show: uniforms read back with
// glGetUniformfv, render targets and array textures of non-square sizes,
// the texture unit of texBind, the clear colour, the first vertex, count and
// primitive of vbRender, and the matrix kinds of setMatrix and getMatrix.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "render/renderState.h"
#include "render/textureInfos.h"
#include "tests/render/gl_fixture.h"
#include "tests/scene/scene_world.h"
#include "tests/support/log_capture.h"

namespace {

const char* const kPrelude = R"vsa(
.native print "V print(*I,F)"
.native shaderLoad "I shaderLoad(*I,*I)"
.native shaderBind "V shaderBind(I)"
.native vbCreate "I vbCreate(I,I)"
.native vbLock "*F vbLock(I)"
.native vbUnLock "V vbUnLock(I)"
.native vbRender "V vbRender(I,I,I,I)"
.native glClear "V glClear(F,F,F,F,I)"
.native glSetInt "V glSetInt(I,I)"
.string vert "test.vert"
.string frag "colour.frag"
.string v "v"
.word shader
.word vb
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
)vsa";

// Loads the colour shader and a buffer of nine vertices: two stray ones on
// the right edge, two triangles over the left half, one stray in the
// upper right. Only vertices 2 to 7 drawn as triangles give the left half.
const char* const kMakeTriangles = R"vsa(
    REF shader
    REF vert
    REF frag
    NATIVE shaderLoad
    ASSIGNPOP
    REF vb
    LITERAL 0
    LITERAL 9
    NATIVE vbCreate
    ASSIGNPOP
    REF vb
    DEREF
    NATIVE vbLock
    LITERALF 1
    LITERALF -1
    LITERALF 0
    LITERALF 1
    LITERALF 1
    LITERALF 0
    LITERALF -1
    LITERALF -1
    LITERALF 0
    LITERALF 0
    LITERALF -1
    LITERALF 0
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF -1
    LITERALF -1
    LITERALF 0
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF -1
    LITERALF 1
    LITERALF 0
    LITERALF 0.5
    LITERALF 0.5
    LITERALF 0
    ASSIGN_MULTIPLE 27
    POP
    REF vb
    DEREF
    NATIVE vbUnLock
)vsa";

// Clears to a colour of four distinct components, then draws the left half
// in red: triangles (3) from vertex 2, six vertices.
const char* const kDrawLeftHalf = R"vsa(
    LITERALF 0.2
    LITERALF 0.4
    LITERALF 0.6
    LITERALF 0.8
    LITERAL 3
    NATIVE glClear
    REF shader
    DEREF
    NATIVE shaderBind
    LITERAL 205
    LITERAL 0xFF0000FF
    NATIVE glSetInt
    REF vb
    DEREF
    LITERAL 3
    LITERAL 2
    LITERAL 6
    NATIVE vbRender
)vsa";

class NativeArgumentsGlTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        testFiles()["shaders/test.vert"] = testFiles()["test.vert"];
        testFiles()["shaders/colour.frag"] = testFiles()["colour.frag"];
        world = std::make_unique<SceneWorld>();
    }
    void TearDown() override {
        world.reset();
        GlTest::TearDown();
    }

    // A scene from the prelude, `init` and `render` code (kill returns).
    CScene& start(const std::string& id, const std::string& statics, const std::string& init,
                  const std::string& render = "") {
        CScene& s = world->scene(id, std::string(kPrelude) + statics + "init:\n" + init +
                                         "    RETURN\nrender:\n" + render +
                                         "    RETURN\nkill:\n    RETURN\n");
        s.initialise(true);
        EXPECT_TRUE(s.initialised()) << log.all();
        return s;
    }

    // The numbers the scene printed, in order.
    std::vector<int> printedIds() {
        std::vector<int> ids;
        for (const std::string& line : printed(log))
            ids.push_back(std::atoi(line.c_str() + 2));
        return ids;
    }

    LogCapture log;
    std::unique_ptr<SceneWorld> world;
};

TEST_F(NativeArgumentsGlTest, UniformComponentsArriveInParameterOrder) {
    testFiles()["shaders/uniforms.frag"] =
        "uniform float u1; uniform vec2 u2; uniform vec3 u3; uniform vec4 u4;\n"
        "void main() { gl_FragColor = vec4(u1, u2, 0.0) + vec4(u3, 0.0) + u4; }\n";
    CScene& s = start("uniforms", R"vsa(
.native uniform1 "V shaderUniform1(*I,F)"
.native uniform2 "V shaderUniform2(*I,F,F)"
.native uniform3 "V shaderUniform3(*I,F,F,F)"
.native uniform4 "V shaderUniform4(*I,F,F,F,F)"
.string ufrag "uniforms.frag"
.string n1 "u1"
.string n2 "u2"
.string n3 "u3"
.string n4 "u4"
)vsa",
                      R"vsa(
    REF shader
    REF vert
    REF ufrag
    NATIVE shaderLoad
    ASSIGNPOP
    REF shader
    DEREF
    NATIVE shaderBind
    REF n1
    LITERALF 0.5
    NATIVE uniform1
    REF n2
    LITERALF 1.25
    LITERALF -2.5
    NATIVE uniform2
    REF n3
    LITERALF 3.75
    LITERALF -4.5
    LITERALF 5.25
    NATIVE uniform3
    REF n4
    LITERALF 6.5
    LITERALF -7.75
    LITERALF 8.125
    LITERALF -9.375
    NATIVE uniform4
)vsa");
    ASSERT_EQ(s.shaders().size(), 1u) << log.all();
    GLuint program = static_cast<GLuint>(s.shaders()[0]);
    struct Uniform {
        const char* name;
        std::vector<float> values;
    };
    for (const Uniform& u :
         {Uniform{"u1", {0.5f}}, Uniform{"u2", {1.25f, -2.5f}},
          Uniform{"u3", {3.75f, -4.5f, 5.25f}}, Uniform{"u4", {6.5f, -7.75f, 8.125f, -9.375f}}}) {
        GLint location = glGetUniformLocation(program, u.name);
        ASSERT_NE(location, -1) << u.name;
        float read[4] = {};
        glGetUniformfv(program, location, read);
        EXPECT_EQ(std::vector<float>(read, read + u.values.size()), u.values) << u.name;
    }
    EXPECT_FALSE(log.contains("Unknown GLSL uniform")) << log.all();
}

TEST_F(NativeArgumentsGlTest, RenderTargetsTakeWidthThenHeight) {
    CScene& s = start("targets", R"vsa(
.native begin "V texRenderBegin(I,I)"
.native beginFloat "V texRenderBegin(I,I,I)"
.native end "I texRenderEnd()"
)vsa",
                      std::string(kMakeTriangles) + R"vsa(
    LITERAL 96
    LITERAL 40
    NATIVE begin
)vsa" + kDrawLeftHalf + R"vsa(
    NATIVE end
    POP
    LITERAL 72
    LITERAL 24
    LITERAL 1
    NATIVE beginFloat
    NATIVE end
    POP
    LITERAL -2
    LITERAL -1
    NATIVE begin
    NATIVE end
    POP
)vsa");
    ASSERT_EQ(s.renderTextures().size(), 3u) << log.all();
    const std::array<int, 2> sizes[] = {{96, 40}, {72, 24}, {kGlWidth / 2, kGlHeight}};
    for (size_t i = 0; i < 3; ++i) {
        const TextureRecord* record = textureInfos().find(s.renderTextures()[i]);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ((std::array<int, 2>{record->width, record->height}), sizes[i]) << i;
        GLint width = 0, height = 0;
        glBindTexture(GL_TEXTURE_2D, record->glName);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        EXPECT_EQ((std::array<int, 2>{width, height}), sizes[i]) << i;
    }
    // The 96 x 40 target was drawn with a viewport of its own size: red up
    // to column 47 on every row, the clear colour from column 48.
    glBindTexture(GL_TEXTURE_2D, textureInfos().find(s.renderTextures()[0])->glName);
    std::vector<uint8_t> texels(96 * 40 * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    auto red = [&](int x, int y) { return texels[(y * 96 + x) * 4]; };
    EXPECT_GT(red(2, 38), 200);
    EXPECT_GT(red(46, 1), 200);
    EXPECT_LT(red(50, 38), 80);
    EXPECT_LT(red(93, 1), 80);
    EXPECT_NEAR(texels[(20 * 96 + 70) * 4 + 2], 153, 3);  // the clear colour's blue
}

TEST_F(NativeArgumentsGlTest, ClearColourAndVertexRangeInParameterOrder) {
    CScene& s = start("draw", "", kMakeTriangles, kDrawLeftHalf);
    ASSERT_TRUE(s.render());
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ((std::array<float, 4>{clear[0], clear[1], clear[2], clear[3]}),
              (std::array<float, 4>{0.2f, 0.4f, 0.6f, 0.8f}));
    auto left = pixel(kGlWidth / 4, kGlHeight / 2);
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[2], 50);
    for (auto at : {std::array<int, 2>{kGlWidth * 3 / 4, kGlHeight / 4},
                    std::array<int, 2>{kGlWidth * 7 / 8, kGlHeight * 7 / 8}}) {
        auto p = pixel(at[0], at[1]);
        EXPECT_NEAR(p[0], 51, 3) << at[0] << "," << at[1];
        EXPECT_NEAR(p[1], 102, 3);
        EXPECT_NEAR(p[2], 153, 3);
    }
    EXPECT_TRUE(world->host.vmErrors.empty()) << log.all();
}

TEST_F(NativeArgumentsGlTest, ArrayTexturesAndTheirUnit) {
    start("arrays", R"vsa(
.native fromArray "I texFromArray(I,I,*I)"
.native fromFloats "I texFromFloatArray(I,I,*F)"
.native fromFloats3D "I texFromFloatArray(I,I,I,*F)"
.native texBind "V texBind(I,I)"
.word pixels[6] 1 2 3 4 5 6
.word floats[96]
.word bytes
)vsa",
          R"vsa(
    REF bytes
    LITERAL 3
    LITERAL 2
    REF pixels
    NATIVE fromArray
    ASSIGNPOP
    REF v
    REF bytes
    DEREF
    ITOF
    NATIVE print
    REF v
    LITERAL 2
    LITERAL 3
    REF floats
    NATIVE fromFloats
    ITOF
    NATIVE print
    REF v
    LITERAL 2
    LITERAL 3
    LITERAL 4
    REF floats
    NATIVE fromFloats3D
    ITOF
    NATIVE print
    LITERAL 2
    REF bytes
    DEREF
    NATIVE texBind
)vsa");
    std::vector<int> ids = printedIds();
    ASSERT_EQ(ids.size(), 3u) << log.all();
    struct Expected {
        GLenum target;
        int width, height, depth;
    };
    const Expected expected[] = {
        {GL_TEXTURE_2D, 3, 2, 1}, {GL_TEXTURE_2D, 2, 3, 1}, {GL_TEXTURE_3D, 2, 3, 4}};
    for (size_t i = 0; i < 3; ++i) {
        const TextureRecord* record = textureInfos().find(ids[i]);
        ASSERT_NE(record, nullptr) << i;
        EXPECT_EQ(record->target, expected[i].target) << i;
        GLint size[3] = {};
        glBindTexture(record->target, record->glName);
        glGetTexLevelParameteriv(record->target, 0, GL_TEXTURE_WIDTH, &size[0]);
        glGetTexLevelParameteriv(record->target, 0, GL_TEXTURE_HEIGHT, &size[1]);
        glGetTexLevelParameteriv(record->target, 0, GL_TEXTURE_DEPTH, &size[2]);
        glBindTexture(record->target, 0);
        EXPECT_EQ((std::array<int, 3>{size[0], size[1], size[2]}),
                  (std::array<int, 3>{expected[i].width, expected[i].height, expected[i].depth}))
            << i;
    }
    // texBind(2, bytes) binds on unit 2, not unit 0 or unit `bytes`.
    ASSERT_NE(ids[0], 2) << "the unit and the id must differ to tell them apart";
    GLint bound = 0;
    glActiveTexture(GL_TEXTURE2);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(static_cast<GLuint>(bound), textureInfos().find(ids[0])->glName);
}

TEST_F(NativeArgumentsGlTest, MatricesGoToTheKindNamedFirst) {
    start("matrices", R"vsa(
.native setMatrix "V setMatrix(I,*F[16])"
.native getMatrix "V getMatrix(I,*F[16])"
.float view 1 2 3 0 5 6 7 0 9 10 11 0 13 14 15 1
.float projection 0.5 0 0 0 0 0.25 0 0 0 0 -1 -1 3 -4 -2 0
.word out[16]
)vsa",
          R"vsa(
    LITERAL 0
    REF view
    NATIVE setMatrix
    LITERAL 1
    REF projection
    NATIVE setMatrix
    LITERAL 1
    REF out
    NATIVE getMatrix
    REF v
    REF out
    DEREF_OFFSET 12
    NATIVE print
    REF v
    REF out
    DEREF_OFFSET 13
    NATIVE print
)vsa");
    EXPECT_EQ(printed(log), (std::vector<std::string>{"v 3.000000", "v -4.000000"})) << log.all();
    std::array<float, 16> view{}, projection{};
    ASSERT_TRUE(getMatrix(MATRIX_MODELVIEW, view.data()));
    ASSERT_TRUE(getMatrix(MATRIX_PROJECTION, projection.data()));
    EXPECT_EQ(view, (std::array<float, 16>{1, 2, 3, 0, 5, 6, 7, 0, 9, 10, 11, 0, 13, 14, 15, 1}));
    EXPECT_EQ(projection,
              (std::array<float, 16>{0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, -1, -1, 3, -4, -2, 0}));
}

}  // namespace
