// The scene runtime and the graphics natives against a real GL context:
// drawing through vertex buffers and shaders, the render wrapper's state,
// child-render pauses, resources left behind, thumbnails.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "render/imageFile.h"
#include "render/shader.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"
#include "tests/render/gl_fixture.h"
#include "tests/scene/scene_world.h"
#include "tests/support/log_capture.h"
#include "vfs/fileSystem.h"

namespace {

using Lines = std::vector<std::string>;

// Natives and statics shared by the scenes below; `quad` draws the
// rectangle (x0, y0)-(x1, y1) set up by `makeQuad` in the given colour.
const char* const kPrelude = R"vsa(
.native print "V print(*I,F)"
.native shaderLoad "I shaderLoad(*I,*I)"
.native shaderBind "V shaderBind(I)"
.native shaderDestroy "V shaderDestroy(I)"
.native vbCreate "I vbCreate(I,I)"
.native vbLock "*F vbLock(I)"
.native vbUnLock "V vbUnLock(I)"
.native vbRender "V vbRender(I,I,I,I)"
.native vbDestroy "V vbDestroy(I)"
.native glClear "V glClear(F,F,F,F,I)"
.native glSetInt "V glSetInt(I,I)"
.native glGetInt "I glGetInt(I)"
.string vert "test.vert"
.string frag "colour.frag"
.string v "v"
.word shader
.word vb
)vsa";

// init: loads the shader and fills a quad over the left half of the screen.
const char* const kMakeQuad = R"vsa(
    REF shader
    REF vert
    REF frag
    NATIVE shaderLoad
    ASSIGNPOP
    REF vb
    LITERAL 0
    LITERAL 4
    NATIVE vbCreate
    ASSIGNPOP
    REF vb
    DEREF
    NATIVE vbLock
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
    LITERALF 1
    LITERALF 0
    ASSIGN_MULTIPLE 12
    POP
    REF vb
    DEREF
    NATIVE vbUnLock
)vsa";

// render: black, then the quad in red.
const char* const kDrawQuad = R"vsa(
    LITERALF 0
    LITERALF 0
    LITERALF 0
    LITERALF 1
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
    LITERAL 4
    LITERAL 0
    LITERAL 4
    NATIVE vbRender
)vsa";

const char* const kFreeQuad = R"vsa(
    REF vb
    DEREF
    NATIVE vbDestroy
    REF shader
    DEREF
    NATIVE shaderDestroy
)vsa";

class SceneGlTest : public GlTest {
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

    CScene& scene(const std::string& id, const std::string& code) {
        return world->scene(id, std::string(kPrelude) + code);
    }

    bool isRed(int x, int y) {
        auto p = pixel(x, y);
        return p[0] > 200 && p[1] < 50 && p[2] < 50;
    }
    bool isBlack(int x, int y) {
        auto p = pixel(x, y);
        return p[0] < 50 && p[1] < 50 && p[2] < 50;
    }

    LogCapture log;
    std::unique_ptr<SceneWorld> world;
};

TEST_F(SceneGlTest, DrawsThroughVertexBuffersAndShaders) {
    CScene& s = scene("quad", std::string(R"vsa(
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
)vsa") + kMakeQuad + "    RETURN\nrender:\n" +
                                  kDrawQuad + "    RETURN\nkill:\n" + kFreeQuad + "    RETURN\n");
    s.initialise(true);
    ASSERT_TRUE(s.initialised()) << log.all();
    EXPECT_EQ(s.vertexBuffers().size(), 1u);
    EXPECT_EQ(s.shaders().size(), 1u);
    EXPECT_TRUE(s.render());
    EXPECT_TRUE(isRed(kGlWidth / 4, kGlHeight / 2));
    EXPECT_TRUE(isBlack(kGlWidth * 3 / 4, kGlHeight / 2));
    int buffer = s.vertexBuffers()[0];
    s.kill();
    EXPECT_TRUE(s.vertexBuffers().empty());
    EXPECT_TRUE(s.shaders().empty());
    EXPECT_EQ(vbLock(buffer), nullptr);
    EXPECT_FALSE(log.contains("Automatically freeing"));
    EXPECT_TRUE(world->host.vmErrors.empty()) << log.all();
}

TEST_F(SceneGlTest, VerticesFollowTheHeapWhenItMoves) {
    // The buffer is made before a large allocation moves the VM's memory;
    // the lock must hand out the vertices' new place.
    std::string init = kMakeQuad;
    std::string create = "    NATIVE vbCreate\n    ASSIGNPOP\n";
    size_t at = init.find(create) + create.size();
    init.insert(at, "    LITERAL 9000000\n    NATIVE malloc\n    POP\n");
    CScene& s = scene("moving", std::string(R"vsa(
.native malloc "*V malloc(I)"
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
)vsa") + init + "    RETURN\nrender:\n" +
                                    kDrawQuad + "    RETURN\nkill:\n" + kFreeQuad + "    RETURN\n");
    s.initialise(true);
    ASSERT_TRUE(s.initialised()) << log.all();
    EXPECT_GT(s.vm()->memorySize, 9000000u);
    ASSERT_TRUE(s.render());
    EXPECT_TRUE(isRed(kGlWidth / 4, kGlHeight / 2));
    EXPECT_TRUE(isBlack(kGlWidth * 3 / 4, kGlHeight / 2));
}

TEST_F(SceneGlTest, RenderStartsFromTheSceneStateAndRestoresIt) {
    CScene& s = scene("state", R"vsa(
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    REF v
    LITERAL 205
    NATIVE glGetInt
    ITOF
    NATIVE print
    LITERAL 202
    LITERAL 1
    NATIVE glSetInt
    LITERAL 205
    LITERAL 0x12345678
    NATIVE glSetInt
    RETURN
)vsa");
    s.initialise(true);
    ASSERT_TRUE(s.render());
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    ASSERT_TRUE(s.render());  // the colour the first render left is reset
    EXPECT_EQ(printed(log), (Lines{"v -1.000000", "v -1.000000"}));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint depthFunction = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
    EXPECT_EQ(depthFunction, GL_LEQUAL);
}

TEST_F(SceneGlTest, ResourcesLeftBehindAreFreedWithWarnings) {
    CScene& s = scene("messy", std::string(R"vsa(
.native begin "V texRenderBegin(I,I)"
.native end "I texRenderEnd()"
.func "V init()" init
.func "V render()" render
.func "V kill()" render
init:
)vsa") + kMakeQuad + R"vsa(
    LITERAL 16
    LITERAL 16
    NATIVE begin
    NATIVE end
    POP
    RETURN
render:
    RETURN
)vsa");
    s.initialise(true);
    ASSERT_TRUE(s.initialised()) << log.all();
    ASSERT_EQ(s.renderTextures().size(), 1u);
    int buffer = s.vertexBuffers().at(0);
    GLuint program = static_cast<GLuint>(s.shaders().at(0));
    int texture = s.renderTextures()[0];
    ASSERT_NE(textureInfos().find(texture), nullptr);
    s.kill();
    EXPECT_EQ(log.count("[messy] Automatically freeing renderable texture"), 1u);
    EXPECT_EQ(log.count("[messy] Automatically freeing shader"), 1u);
    EXPECT_EQ(log.count("[messy] Automatically freeing vertex buffer"), 1u);
    EXPECT_TRUE(log.contains(2, "Automatically freeing vertex buffer"));
    EXPECT_EQ(vbLock(buffer), nullptr);
    EXPECT_EQ(textureInfos().find(texture), nullptr);
    const ShaderRecord* record = shaderFind(program);
    EXPECT_TRUE(record == nullptr || record->useCount == 0);
    EXPECT_TRUE(s.renderTextures().empty());
    EXPECT_EQ(s.vm(), nullptr);
}

TEST_F(SceneGlTest, ChildRenderPausesTheParentUntilItIsResumed) {
    world->host.rendered = 9;
    CScene& s = scene("parent", R"vsa(
.native child "V visRenderChildToTexture(I,F,I,I)"
.native rendered "I visGetRenderedTexture()"
.string before "before"
.string after "after"
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    REF before
    LITERALF 0
    NATIVE print
    LITERAL 1
    LITERALF 0.5
    LITERAL 64
    LITERAL 32
    NATIVE child
    REF after
    NATIVE rendered
    ITOF
    NATIVE print
    RETURN
)vsa");
    s.initialise(true);
    EXPECT_FALSE(s.render());
    EXPECT_TRUE(s.renderPending());
    EXPECT_FALSE(vmInterruptedByTime(s.vm()));
    ASSERT_EQ(world->host.childJobs.size(), 1u);
    EXPECT_EQ(world->host.childJobs[0].index, 1);
    EXPECT_FLOAT_EQ(world->host.childJobs[0].time, 0.5f);
    EXPECT_EQ(world->host.childJobs[0].width, 64);
    EXPECT_EQ(world->host.childJobs[0].height, 32);
    EXPECT_EQ(printed(log), Lines{"before 0.000000"});
    EXPECT_TRUE(s.render());
    EXPECT_FALSE(s.renderPending());
    EXPECT_EQ(printed(log), (Lines{"before 0.000000", "after 9.000000"}));
    EXPECT_TRUE(world->host.vmErrors.empty()) << log.all();
}

TEST_F(SceneGlTest, AFailingServiceInRenderDropsTheScene) {
    CScene& s = scene("broken", R"vsa(
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    LITERAL 77
    LITERAL 4
    LITERAL 0
    LITERAL 4
    NATIVE vbRender
    RETURN
)vsa");
    s.initialise(true);
    EXPECT_TRUE(s.render());
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/broken.vsi V render()"));
    EXPECT_FALSE(s.initialised());
    EXPECT_EQ(world->host.vmErrors, Lines{"broken"});
}

TEST_F(SceneGlTest, ViewportSumsAndArrayTexturesComeThroughTheNatives) {
    CScene& s = scene("sums", std::string(R"vsa(
.native sum "V sumViewport(*F,I,I)"
.native fromArray "I texFromArray(I,I,*I)"
.native texDestroy "V texDestroy(I)"
.word cells[6]
.word pixels[2] 0xFF0000FF 0xFF00FF00
.word texture
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
)vsa") + kMakeQuad + R"vsa(
    REF texture
    LITERAL 2
    LITERAL 1
    REF pixels
    NATIVE fromArray
    ASSIGNPOP
    RETURN
render:
)vsa" + kDrawQuad + R"vsa(
    REF cells
    LITERAL 2
    LITERAL 1
    NATIVE sum
    REF v
    REF cells
    DEREF
    NATIVE print
    REF v
    REF cells
    DEREF_OFFSET 3
    NATIVE print
    RETURN
kill:
    REF texture
    DEREF
    NATIVE texDestroy
)vsa" + kFreeQuad + "    RETURN\n");
    s.initialise(true);
    ASSERT_TRUE(s.initialised()) << log.all();
    ASSERT_EQ(world->host.textureLoader.count(), 1u);
    ASSERT_TRUE(s.render());
    Lines lines = printed(log);
    ASSERT_EQ(lines.size(), 2u) << log.all();
    EXPECT_NEAR(std::atof(lines[0].c_str() + 2), 1.0, 0.01);  // left cell: red
    EXPECT_NEAR(std::atof(lines[1].c_str() + 2), 0.0, 0.01);  // right cell: black
    s.kill();
    EXPECT_EQ(world->host.textureLoader.count(), 0u);
    EXPECT_FALSE(log.contains("Automatically freeing"));
}

const char* const kThumbnailScene = R"vsa(
.word steps
.func "V init()" init
.func "V step()" step
.func "V render()" render
.func "V kill()" kill
init:
    RETURN
step:
    REF steps
    LITERALINCREMENT 1
    RETURN
render:
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    REF v
    REF steps
    DEREF
    ITOF
    NATIVE print
    RETURN
kill:
    RETURN
)vsa";

std::unique_ptr<Image> decodeFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return imageDecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "thumb");
}

TEST_F(SceneGlTest, ThumbnailOfASceneNotPlayingLeavesItDefined) {
    CScene& s = scene("thumb", kThumbnailScene);
    SoundSource* source = world->host.source;
    world->host.time = 0.01f;
    ASSERT_TRUE(s.createThumbnail("thumb.png")) << log.all();
    EXPECT_FALSE(s.initialised());
    EXPECT_EQ(s.vm(), nullptr);
    EXPECT_EQ(world->host.soundSteps, 40);
    EXPECT_EQ(world->host.source, source);
    EXPECT_FLOAT_EQ(world->host.time, 0.01f);
    Lines lines = printed(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "v 40.000000");
    std::unique_ptr<Image> image = decodeFile(world->directory.path() + "thumb.png");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 128);
    EXPECT_EQ(image->height, 128);
    const uint8_t* centre = image->pixel(64, 64);
    EXPECT_LT(centre[0], 50);
    EXPECT_GT(centre[1], 200);
    EXPECT_NE(CVFileSystem::get().findFile("thumb.png"), nullptr);
    EXPECT_TRUE(world->host.vmErrors.empty()) << log.all();
}

TEST_F(SceneGlTest, ThumbnailOfAPlayingSceneLeavesItPlaying) {
    CScene& s = scene("playing", kThumbnailScene);
    s.initialise(true);
    ASSERT_TRUE(s.createThumbnail("playing.png"));
    EXPECT_TRUE(s.initialised());
    EXPECT_EQ(world->host.soundSteps, 0);
    EXPECT_EQ(printed(log), Lines{"v 0.000000"});
}

std::string pngBytes(const TempDir& directory) {
    Image image = imageMake(4, 4, false);
    for (uint8_t& byte : image.pixels)
        byte = 200;
    std::string path = directory.path() + "pattern.png";
    EXPECT_TRUE(imageSave(path.c_str(), image));
    FILE* file = std::fopen(path.c_str(), "rb");
    std::string bytes;
    char buffer[4096];
    size_t n;
    while (file && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    if (file) std::fclose(file);
    return bytes;
}

// init loads the texture its data names; kill gives it up only when told.
std::string textureScene(bool destroys) {
    return std::string(R"vsa(
.native texLoad "I texLoad(*I)"
.native texDestroy "V texDestroy(I)"
.string name "xml://Texture"
.word texture
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
    REF texture
    REF name
    NATIVE texLoad
    ASSIGNPOP
    REF v
    REF texture
    DEREF
    ITOF
    NATIVE print
render:
    RETURN
kill:
)vsa") + (destroys ? "    REF texture\n    DEREF\n    NATIVE texDestroy\n" : "") +
           "    RETURN\n";
}

TEST_F(SceneGlTest, TexturesAreSharedByNameAndReleasedPerScene) {
    testFiles()["tex/pattern.png"] = pngBytes(world->directory);
    CScene& one = world->scene("one", std::string(kPrelude) + textureScene(true),
                               "<Texture>pattern.png</Texture>");
    CScene& two = world->scene("two", std::string(kPrelude) + textureScene(false),
                               "<Texture>pattern.png</Texture>");
    one.initialise(true);
    two.initialise(true);
    Lines lines = printed(log);
    ASSERT_EQ(lines.size(), 2u) << log.all();
    EXPECT_EQ(lines[0], lines[1]);
    int id = std::atoi(lines[0].c_str() + 2);
    ASSERT_GT(id, 0);
    ASSERT_NE(textureInfos().find(id), nullptr);
    EXPECT_EQ(textureInfos().find(id)->width, 4);
    DirectSceneTextures& loader = world->host.textureLoader;
    EXPECT_EQ(loader.owners(id), (Lines{"one", "two"}));
    one.kill();
    EXPECT_EQ(loader.owners(id), Lines{"two"});
    two.kill();  // never destroys it: the end of the scene releases it
    EXPECT_EQ(loader.count(), 0u);
    EXPECT_EQ(textureInfos().find(id), nullptr);
}

TEST_F(SceneGlTest, EmptyTextureArraysAreRefused) {
    CScene& s = scene("empty", R"vsa(
.native fromArray "I texFromArray(I,I,*I)"
.word pixels[4]
.func "V init()" init
init:
    LITERAL 0
    LITERAL 4
    REF pixels
    NATIVE fromArray
    POP
    RETURN
)vsa");
    s.initialise(true);
    EXPECT_TRUE(log.contains(5, "Texture array of 0 x 4 x 1"));
    EXPECT_FALSE(s.initialised());
    EXPECT_EQ(world->host.textureLoader.count(), 0u);
}

}  // namespace
