// vortalis-preview as a process: the default content's scenes (not its
// transitions), each played for two frame counts, give two different,
// non-uniform shots; a failing scene and an unknown scene end with exit
// status 1; a bad command line with 2.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>

#include "render/imageFile.h"
#include "tests/support/temp_dir.h"
#include "vfs/archiveWriter.h"
#include "vm/assembler.h"

namespace {

struct PreviewRun {
    int status = -1;
    std::string output;
};

PreviewRun runPreview(const std::string& arguments) {
    PreviewRun run;
    std::string command = std::string(VORTALIS_PREVIEW) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::unique_ptr<Image> readPng(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    std::fclose(file);
    return imageDecodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "shot");
}

bool displayAvailable() {
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) return true;
    const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
    if (required && std::strcmp(required, "1") == 0) ADD_FAILURE() << "a display is required";
    return false;
}

const std::string kContent = "--base " VORTALIS_CONTENT_DIR;

TEST(PreviewTest, TheDefaultScenesMoveWithTime) {
    if (!displayAvailable()) GTEST_SKIP() << "no display";
    for (const std::string scene : {"pulse", "blobs"}) {
        SCOPED_TRACE(scene);
        TempDir shots;
        PreviewRun early = runPreview(kContent + " --size 160x120 --frames 20 --shot " +
                                      shots.path() + "early.png " + scene);
        ASSERT_EQ(early.status, 0) << early.output;
        PreviewRun late = runPreview(kContent + " --size 160x120 --frames 50 --shot " +
                                     shots.path() + "late.png " + scene);
        ASSERT_EQ(late.status, 0) << late.output;
        EXPECT_TRUE(std::regex_search(late.output, std::regex("Read [1-9][0-9]* scene lists")))
            << late.output;

        std::unique_ptr<Image> a = readPng(shots.path() + "early.png");
        std::unique_ptr<Image> b = readPng(shots.path() + "late.png");
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->width, 160);
        ASSERT_EQ(a->height, 120);
        ASSERT_EQ(b->pixels.size(), a->pixels.size());
        std::set<uint32_t> colours;
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x) {
                const uint8_t* p = a->pixel(x, y);
                colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
            }
        EXPECT_GT(colours.size(), 10u) << "the shot is (almost) one colour";
        size_t differing = 0;
        for (size_t i = 0; i < a->pixels.size(); ++i)
            differing += a->pixels[i] != b->pixels[i];
        EXPECT_GT(differing, a->pixels.size() / 20)
            << "thirty frames later the scene looks the same";
    }
}

// A base directory holding one archive with a list of two scenes: `broken`
// fails in its render; `composer`, a fade, draws its two children (one to
// the screen, one into a texture that it gives back) and prints.
void writeArchive(const TempDir& base) {
    const char* broken = R"vsa(
.native assert "V assert(I)"
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    LITERAL 0
    NATIVE assert
    RETURN
)vsa";
    const char* composer = R"vsa(
.native toScreen "V visRenderChildToScreen(I,F)"
.native toTexture "V visRenderChildToTexture(I,F,I,I)"
.native rendered "I visGetRenderedTexture()"
.native finished "V texRenderFinished(I)"
.native print "V print(*I,F)"
.string composed "composed"
.func "V init()" init
.func "V render()" render
.func "V kill()" init
init:
    RETURN
render:
    LITERAL 0
    LITERALF 0.5
    NATIVE toScreen
    LITERAL 1
    LITERALF 0.5
    LITERAL 32
    LITERAL 32
    NATIVE toTexture
    NATIVE rendered
    NATIVE finished
    REF composed
    LITERALF 1
    NATIVE print
    RETURN
)vsa";
    std::string list =
        "<SceneList><Scene id=\"broken\"><Filename>broken.vsi</Filename></Scene>"
        "<Scene id=\"composer\"><Filename>composer.vsi</Filename>"
        "<Data><Type>fade</Type></Data></Scene></SceneList>";
    CArchiveWriter writer;
    for (auto [name, source] : {std::pair{"broken", broken}, std::pair{"composer", composer}}) {
        AsmResult image = vmAssemble(source, std::string(name) + ".vsa");
        ASSERT_TRUE(image.ok);
        std::vector<uint8_t> bytes = vmImageBytes(image.words);
        ASSERT_TRUE(writer.add(std::string("scenes/") + name + ".vsi", bytes.data(), bytes.size()));
    }
    ASSERT_TRUE(writer.add("scenes/test.xml", list.data(), list.size()));
    ASSERT_TRUE(writer.writeFile(base.path() + "test.vortapack")) << writer.error();
}

TEST(PreviewTest, ChildrenOfAComposingSceneAreDrawnAsBlack) {
    if (!displayAvailable()) GTEST_SKIP() << "no display";
    TempDir base;
    writeArchive(base);
    PreviewRun run = runPreview("--base " + base.path() + " --frames 3 composer");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Previewing 'composer' with 2 black children"), std::string::npos)
        << run.output;
    size_t composed = 0;
    for (size_t at = run.output.find("VM PRINT: 'composed'"); at != std::string::npos;
         at = run.output.find("VM PRINT: 'composed'", at + 1))
        ++composed;
    EXPECT_EQ(composed, 3u) << run.output;
    EXPECT_EQ(run.output.find("mismatch"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("out of sync"), std::string::npos) << run.output;
}

TEST(PreviewTest, AFailingSceneReportsItsVMErrorAndExitsWithOne) {
    if (!displayAvailable()) GTEST_SKIP() << "no display";
    TempDir base;
    writeArchive(base);
    PreviewRun broken = runPreview("--base " + base.path() + " --frames 3 broken");
    EXPECT_EQ(broken.status, 1) << broken.output;
    EXPECT_NE(broken.output.find("VM ASSERTION FAILED"), std::string::npos) << broken.output;
    EXPECT_NE(broken.output.find("VM Error in scenes/broken.vsi V render()"), std::string::npos)
        << broken.output;

    PreviewRun unknown = runPreview("--base " + base.path() + " --frames 3 nosuchscene");
    EXPECT_EQ(unknown.status, 1) << unknown.output;
    EXPECT_NE(unknown.output.find("Scene 'nosuchscene' is in no scene list"), std::string::npos)
        << unknown.output;
}

TEST(PreviewTest, BadCommandLinesExitWithTwo) {
    for (const char* arguments : {"", "--frames 0 pulse", "--size 12 pulse", "--shot x.png pulse",
                                  "--bpm fast pulse", "one two", "--unknown pulse"}) {
        PreviewRun run = runPreview(arguments);
        EXPECT_EQ(run.status, 2) << arguments << "\n" << run.output;
        EXPECT_NE(run.output.find("usage: vortalis-preview"), std::string::npos) << arguments;
    }
}

}  // namespace
