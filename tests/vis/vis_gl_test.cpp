// The visualiser drawing for real under a display (Xvfb in CI): a control
// script inserts scenes, frames are rendered, and the script's screenshot()
// shows what they drew. Scenes here clear to a colour or compose children.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "app/glWin.h"
#include "render/imageFile.h"
#include "tests/support/log_capture.h"
#include "tests/vis/vis_world.h"

namespace {

constexpr int kWidth = 164;
constexpr int kHeight = 92;

std::string solidScene(const char* red, const char* green, const char* blue) {
    return std::string(R"vsa(
.native glClear "V glClear(F,F,F,F,I)"
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
    RETURN
render:
    LITERALF )vsa") +
           red + "\n    LITERALF " + green + "\n    LITERALF " + blue + R"vsa(
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    RETURN
kill:
    RETURN
)vsa";
}

// Draws child 0 into the left half and child 1 into the right half, each
// rendered into a texture of the full size first.
const char* const kSplitScene = R"vsa(
.native renderChild "V visRenderChildToTexture(I,F,I,I)"
.native rendered "I visGetRenderedTexture()"
.native glClear "V glClear(F,F,F,F,I)"
.native texBind "V texBind(I,I)"
.native vbCreate "I vbCreate(I,I)"
.native vbLock "*F vbLock(I)"
.native vbUnLock "V vbUnLock(I)"
.native vbRender "V vbRender(I,I,I,I)"
.native vbDestroy "V vbDestroy(I)"
.native shaderLoad "I shaderLoad(*I,*I)"
.native shaderBind "V shaderBind(I)"
.native shaderDestroy "V shaderDestroy(I)"
.string vertexFile "split.vert"
.string fragmentFile "split.frag"
.word shader
.word left
.word right
.word quads
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
    REF shader
    REF vertexFile
    REF fragmentFile
    NATIVE shaderLoad
    ASSIGNPOP
    REF quads
    LITERAL 1
    LITERAL 8
    NATIVE vbCreate
    ASSIGNPOP
    REF quads
    DEREF
    NATIVE vbLock
    LITERALF 0
    LITERALF 0
    LITERALF -1
    LITERALF -1
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF 0
    LITERALF -1
    LITERALF 0
    LITERALF 1
    LITERALF 1
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF 0
    LITERALF 1
    LITERALF -1
    LITERALF 1
    LITERALF 0
    LITERALF 0
    LITERALF 0
    LITERALF 0
    LITERALF -1
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF 1
    LITERALF -1
    LITERALF 0
    LITERALF 1
    LITERALF 1
    LITERALF 1
    LITERALF 1
    LITERALF 0
    LITERALF 0
    LITERALF 1
    LITERALF 0
    LITERALF 1
    LITERALF 0
    ASSIGN_MULTIPLE 40
    POP
    REF quads
    DEREF
    NATIVE vbUnLock
    RETURN
render:
    LITERAL 0
    LITERALF 0
    LITERAL -1
    LITERAL -1
    NATIVE renderChild
    REF left
    NATIVE rendered
    ASSIGNPOP
    LITERAL 1
    LITERALF 0
    LITERAL -1
    LITERAL -1
    NATIVE renderChild
    REF right
    NATIVE rendered
    ASSIGNPOP
    LITERALF 0
    LITERALF 0
    LITERALF 0
    LITERALF 1
    LITERAL 3
    NATIVE glClear
    REF shader
    DEREF
    NATIVE shaderBind
    LITERAL 0
    REF left
    DEREF
    NATIVE texBind
    REF quads
    DEREF
    LITERAL 4
    LITERAL 0
    LITERAL 4
    NATIVE vbRender
    LITERAL 0
    REF right
    DEREF
    NATIVE texBind
    REF quads
    DEREF
    LITERAL 4
    LITERAL 4
    LITERAL 4
    NATIVE vbRender
    RETURN
kill:
    REF quads
    DEREF
    NATIVE vbDestroy
    REF shader
    DEREF
    NATIVE shaderDestroy
    RETURN
)vsa";

void addSplitShaders(VisWorld& world) {
    world.file("shaders/split.vert",
               "void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = ftransform(); }\n");
    world.file("shaders/split.frag",
               "uniform sampler2D image;\n"
               "void main() { gl_FragColor = texture2D(image, gl_TexCoord[0].xy); }\n");
}

class VisGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<CGLWin>();
        window->setShowOnCreate(false);
        if (!window->displayAvailable()) {
            const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
            if (required && std::string(required) == "1") FAIL() << "no display";
            GTEST_SKIP() << "no display";
        }
        world.base.write("settings.js",
                         "var settings = { \"window\" : { \"left\" : 3, \"top\" : 7, \"width\" : " +
                             std::to_string(kWidth) + ", \"height\" : " + std::to_string(kHeight) +
                             " } };");
        // Screenshots land in the current directory.
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(world.base.path().c_str()), 0);
    }
    void TearDown() override {
        world.stop();
        if (previous[0]) {
            EXPECT_EQ(chdir(previous), 0);
        }
    }

    // Frames until the script's screenshot has been written, then the picture.
    std::unique_ptr<Image> shotAfter(int count) {
        world.frames(count, 17);
        std::string png = world.base.read("screenshot0000.png");
        if (std::getenv("VIS_GL_TEST_KEEP")) {
            FILE* out = std::fopen(std::getenv("VIS_GL_TEST_KEEP"), "wb");
            std::fwrite(png.data(), 1, png.size(), out);
            std::fclose(out);
        }
        return imageDecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "shot");
    }
    static std::array<int, 3> at(const Image& image, int x, int y) {
        const uint8_t* p = image.pixel(x, y);
        return {p[0], p[1], p[2]};
    }

    std::unique_ptr<CGLWin> window;
    VisWorld world;
    char previous[1024] = {0};
};

// Inserts the listed scenes in order once loaded, and takes a screenshot at
// the third running frame (while the progress screen still fades out in the
// middle of the window).
std::string insertingScript(const std::string& inserts) {
    return "var frames = 0;\nfunction onInit() {}\nfunction onScenesLoaded() { " + inserts +
           " }\nfunction onFrame() { frames++; if (frames == 3) screenshot(); }\n";
}

}  // namespace

TEST_F(VisGlTest, AScriptInsertedSceneFillsTheWindow) {
    world.file(
        "scenes/list.xml",
        "<SceneList>" + world.scene("green", solidScene("0.1", "0.8", "0.3")) + "</SceneList>");
    world.controlScript(insertingScript("renderSceneInsert(\"green\", -1);"));
    world.start(window.get());
    std::unique_ptr<Image> shot = shotAfter(5);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->width, kWidth);
    EXPECT_EQ(shot->height, kHeight);
    for (auto [x, y] :
         {std::pair{2, 3}, {kWidth - 3, kHeight - 2}, {kWidth / 7, kHeight * 4 / 5}}) {
        auto colour = at(*shot, x, y);
        EXPECT_NEAR(colour[0], 26, 2) << x << "," << y;
        EXPECT_NEAR(colour[1], 204, 2) << x << "," << y;
        EXPECT_NEAR(colour[2], 77, 2) << x << "," << y;
    }
}

TEST_F(VisGlTest, AComposingSceneShowsBothChildren) {
    world.file("scenes/list.xml",
               "<SceneList>" + world.scene("red", solidScene("0.9", "0.1", "0.0")) +
                   world.scene("blue", solidScene("0.0", "0.2", "0.7")) +
                   world.scene("split", kSplitScene, "<Inputs>2</Inputs>") + "</SceneList>");
    addSplitShaders(world);
    // The list red, blue, split reads as split(child 0 = blue, child 1 = red).
    world.controlScript(
        insertingScript("renderSceneInsert(\"red\", -1); renderSceneInsert(\"blue\", -1); "
                        "renderSceneInsert(\"split\", -1);"));
    LogCapture log;
    world.start(window.get());
    std::unique_ptr<Image> shot = shotAfter(5);
    ASSERT_NE(shot, nullptr) << log.all();
    auto left = at(*shot, kWidth / 5, kHeight / 2);
    auto right = at(*shot, kWidth - kWidth / 5, kHeight / 2);
    EXPECT_NEAR(left[0], 0, 2);
    EXPECT_NEAR(left[2], 179, 2);
    EXPECT_NEAR(right[0], 230, 2);
    EXPECT_NEAR(right[2], 0, 2);
    EXPECT_FALSE(log.contains("out of sync"));
    EXPECT_FALSE(log.contains("Render Texture Stack mismatch"));
}

TEST_F(VisGlTest, AMissingChildIsReportedAsAnInvalidTreeEveryFrame) {
    world.file("scenes/list.xml",
               "<SceneList>" + world.scene("red", solidScene("0.9", "0.1", "0.0")) +
                   world.scene("split", kSplitScene, "<Inputs>2</Inputs>") + "</SceneList>");
    addSplitShaders(world);
    world.controlScript(
        insertingScript("renderSceneInsert(\"red\", -1); renderSceneInsert(\"split\", -1);"));
    LogCapture log;
    world.start(window.get());
    world.frames(1);  // the list is read; nothing is rendered yet
    std::unique_ptr<Image> shot = shotAfter(4);
    EXPECT_EQ(log.count("CVisMain::buildRenderTree given an invalid tree"), 4u);
    ASSERT_NE(shot, nullptr);
    // Child 0 is the red scene; the missing child 1 draws no red.
    EXPECT_NEAR(at(*shot, kWidth / 5, kHeight / 2)[0], 230, 2);
    EXPECT_LT(at(*shot, kWidth - 3, 2)[0], 100);
}

TEST_F(VisGlTest, TheIdleScreenShowsTheLogo) {
    world.controlScript(insertingScript(""));
    world.start(window.get());
    std::unique_ptr<Image> shot = shotAfter(4);
    ASSERT_NE(shot, nullptr);
    auto corner = at(*shot, 1, 1);
    EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);
    int lit = 0;
    for (int y = kHeight / 3; y < 2 * kHeight / 3; y++)
        for (int x = kWidth / 3; x < 2 * kWidth / 3; x++) {
            auto colour = at(*shot, x, y);
            if (colour[0] + colour[1] + colour[2] > 60) lit++;
        }
    EXPECT_GT(lit, 20);
}

TEST_F(VisGlTest, AScreenshotTakesTheFirstFreeNumber) {
    world.base.write("screenshot0000.png", "taken");
    world.base.write("screenshot0002.png", "taken too");
    world.controlScript(insertingScript(""));
    world.start(window.get());
    world.frames(5, 17);
    EXPECT_EQ(world.base.read("screenshot0000.png"), "taken");
    EXPECT_EQ(world.base.read("screenshot0002.png"), "taken too");
    std::string png = world.base.read("screenshot0001.png");
    std::unique_ptr<Image> shot =
        imageDecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), "shot");
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->width, kWidth);
    EXPECT_EQ(shot->height, kHeight);
}
