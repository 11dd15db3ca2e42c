// The default content's control script and composing scenes, run in the
// visualiser with a real window (Xvfb in CI). The script and the composing
// scenes' shaders are read from the source tree, the composing scenes'
// images from the default content as the build compiles it; the scenes it
// plays are small solid-colour scenes of the test's own, so that what is
// checked is the choosing, the changing and the keys, not any one picture.
// Time is the fake clock with the time filter off, so every frame passes
// exactly the chosen step.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "app/glWin.h"
#include "render/imageFile.h"
#include "tests/support/log_capture.h"
#include "tests/vis/vis_world.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 96;
constexpr uint32_t kFrameMs = 20;

std::string sourceFile(const std::string& path) {
    std::ifstream in(std::string(VORTALIS_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << path;
    return text.str();
}

// A file of the staged default content, as it goes into the archive.
std::string stagedFile(const std::string& path) {
    std::ifstream in(std::string(VORTALIS_CONTENT_STAGE) + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << path;
    return text.str();
}

std::string solidScene(float red, float green, float blue) {
    std::ostringstream source;
    source << ".native glClear \"V glClear(F,F,F,F,I)\"\n"
              ".func \"V init()\" init\n.func \"V render()\" render\n.func \"V kill()\" kill\n"
              "init:\n    RETURN\nrender:\n"
           << "    LITERALF " << red << "\n    LITERALF " << green << "\n    LITERALF " << blue
           << "\n    LITERALF 1\n    LITERAL 3\n    NATIVE glClear\n    RETURN\n"
              "kill:\n    RETURN\n";
    return source.str();
}

using Colour = std::array<int, 3>;
using Lists = std::vector<std::vector<std::string>>;

class ContentTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<CGLWin>();
        window->setShowOnCreate(false);
        if (!window->displayAvailable()) {
            const char* required = std::getenv("VORTALIS_REQUIRE_DISPLAY");
            if (required && std::string(required) == "1") FAIL() << "no display";
            GTEST_SKIP() << "no display";
        }
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(world.base.path().c_str()), 0);  // screenshots land here
        for (const char* id : {"fade", "overlay", "announce"}) {
            std::string image = std::string("scenes/") + id + ".vsi";
            world.file(image, stagedFile(image));
            for (const char* kind : {".vert", ".frag"}) {
                std::string shader = std::string("shaders/") + id + kind;
                world.file(shader, sourceFile("content/default/" + shader));
            }
        }
        world.file("scenes/compose.xml", sourceFile("content/default/scenes/compose.xml"));
        for (const char* shader : {"vSimple.glsl", "fTexColor.glsl", "fSimple.glsl"})
            world.file(std::string("shaders/") + shader,
                       sourceFile(std::string("content/default/shaders/") + shader));
    }
    void TearDown() override {
        world.stop();
        if (previous[0]) {
            EXPECT_EQ(chdir(previous), 0);
        }
    }

    // settings.js: the window, no time filter and `vis` in "vis", and `more`
    // members.
    void settings(const std::string& vis, const std::string& more = "") {
        world.base.write("settings.js",
                         "var settings = { \"window\" : { \"left\" : 5, \"top\" : 9, "
                         "\"width\" : " +
                             std::to_string(kWidth) + ", \"height\" : " + std::to_string(kHeight) +
                             " }, \"vis\" : { \"time_filter\" : 0" + vis + " }" + more + " };");
    }
    // A solid scene of type "scene" rated under "rating-<id>".
    std::string player(const std::string& id, float red, float green, float blue,
                       const std::string& styles, const std::string& more = "") {
        return world.scene(id, solidScene(red, green, blue),
                           "<Type>scene</Type><Styles>" + styles + "</Styles><SceneId>rating-" +
                               id + "</SceneId><Name>Scene " + id + "</Name>" + more);
    }
    void playerList(const std::string& scenes) {
        world.file("scenes/players.xml", "<SceneList>" + scenes + "</SceneList>");
    }
    void realScript() {
        world.file("data/utils.js", sourceFile("content/default/data/utils.js"));
        world.file("data/device.js", sourceFile("content/default/data/device.js"));
    }

    // Runs frames and records the render list after each, and checks that a
    // scene entering the list had been initialised by the frame before.
    Lists run(int count) {
        Lists lists;
        for (int i = 0; i < count; i++) {
            std::set<std::string> ready;
            for (int n = 0; n < world.vis->registry().count(); n++) {
                CScene* scene = world.vis->registry().at(n);
                if (scene->initialised()) ready.insert(scene->id());
            }
            std::vector<std::string> before = world.vis->renderList().ids();
            world.frames(1, kFrameMs);
            lists.push_back(world.vis->renderList().ids());
            if (world.vis->loading() || before.empty()) continue;  // the first scene may wait
            for (const std::string& id : lists.back()) {
                if (std::find(before.begin(), before.end(), id) == before.end()) {
                    EXPECT_TRUE(ready.count(id)) << id << " was inserted uninitialised";
                }
            }
        }
        return lists;
    }
    // The scenes shown in turn: the first entry of the list is always the
    // scene on screen (or coming in).
    static std::vector<std::string> shown(const Lists& lists) {
        std::vector<std::string> order;
        for (const auto& list : lists)
            if (!list.empty() && (order.empty() || order.back() != list[0]))
                order.push_back(list[0]);
        return order;
    }
    void key(const char* name) { window->queueEvent(EVENT_KEY, name, 0, 0); }
    std::string eval(const std::string& code) { return world.eval(code); }

    std::unique_ptr<Image> screenshot(int number) {
        char name[32];
        std::snprintf(name, sizeof name, "screenshot%04d.png", number);
        std::string png = world.base.read(name);
        if (std::getenv("CONTENT_TEST_KEEP")) {
            std::ofstream(std::string(std::getenv("CONTENT_TEST_KEEP")) + name, std::ios::binary)
                << png;
        }
        return imageDecodePng(reinterpret_cast<const uint8_t*>(png.data()), png.size(), name);
    }
    static Colour at(const Image& image, int x, int y) {
        const uint8_t* p = image.pixel(x, y);
        return {p[0], p[1], p[2]};
    }

    std::unique_ptr<CGLWin> window;
    VisWorld world;
    char previous[1024] = {0};
};

TEST_F(ContentTest, ScenesChangeThroughFadesAtTheSceneLength) {
    settings(", \"scene_length\" : 1, \"fade_length\" : 0.3", ", \"fakesound\" : { \"bpm\" : 97 }");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat") + player("green", 0.1f, 0.8f, 0.2f, "pop") +
               player("blue", 0.0f, 0.2f, 0.7f, "chilled"));
    realScript();
    LogCapture log;
    world.start(window.get());
    Lists lists = run(330);
    EXPECT_FLOAT_EQ(world.beat.tempo(), 97.0f);

    int changes = 0;
    size_t lastChange = 0;
    for (size_t i = 1; i < lists.size(); i++) {
        const auto& list = lists[i];
        if (lists[i - 1].empty() || list[0] == lists[i - 1][0]) continue;
        // Child 0 of the fade goes out, child 1 (inside its announcement) comes in.
        ASSERT_EQ(list, (std::vector<std::string>{list[0], "announce", lists[i - 1][0], "fade"}))
            << "frame " << i;
        changes++;
        // About a second apart (the first change comes a second after start).
        if (lastChange) {
            EXPECT_NEAR(static_cast<int>(i - lastChange), 1000 / kFrameMs, 3);
        }
        lastChange = i;
        // The fade is over well before the next change.
        ASSERT_LT(i + 20, lists.size());
        EXPECT_EQ(lists[i + 20].size(), 2u) << "frame " << i + 20;
    }
    EXPECT_GE(changes, 5);
    std::vector<std::string> order = shown(lists);
    for (size_t i = 1; i < order.size(); i++)
        EXPECT_NE(order[i], order[i - 1]);
    EXPECT_FALSE(log.contains("VM Error")) << log.all();
    EXPECT_FALSE(log.contains("JS Error")) << log.all();
    EXPECT_FALSE(log.contains("not initialised")) << log.all();
}

TEST_F(ContentTest, TheFadeGetsTheScriptsLengthAndAStyle) {
    settings(", \"scene_length\" : 1.5, \"fade_length\" : 0.4, \"transition\" : \"wipe\"");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat") + player("blue", 0.0f, 0.2f, 0.7f, "pop"));
    realScript();
    world.start(window.get());
    bool seen = false;
    for (int i = 0; i < 120 && !seen; i++) {
        run(1);
        int at = world.vis->renderList().find("fade");
        if (at < 0) continue;
        seen = true;
        std::string duration, style;
        ASSERT_TRUE(world.vis->renderList().get(at, "Duration", duration));
        ASSERT_TRUE(world.vis->renderList().get(at, "Style", style));
        EXPECT_NEAR(std::atof(duration.c_str()), 0.4, 1e-4);
        EXPECT_EQ(style, "wipe");
    }
    EXPECT_TRUE(seen);
}

// Two scenes, one weighted forty times the other: without the rule the heavy
// one would follow itself almost every time.
TEST_F(ContentTest, TheSceneJustShownIsNeverChosenAgain) {
    settings(", \"scene_length\" : 1, \"fade_length\" : 0.2");
    playerList(player("heavy", 0.8f, 0.8f, 0.1f, "pop", "<Weight>40</Weight>") +
               player("light", 0.1f, 0.1f, 0.6f, "pop"));
    realScript();
    world.start(window.get());
    std::vector<std::string> order = shown(run(380));
    ASSERT_GE(order.size(), 6u);
    for (size_t i = 1; i < order.size(); i++)
        EXPECT_NE(order[i], order[i - 1]) << "change " << i;
}

// Only "red" has the theme; "blue" is a favourite of another theme and
// comes as well; "green" never does. With two candidates they alternate.
TEST_F(ContentTest, ThemesAndFavouritesChooseTheScenes) {
    settings(", \"scene_length\" : 1, \"fade_length\" : 0.2",
             ", \"theme_string\" : \"heat\", \"favourites\" : [ \"blue\" ]");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat dance") +
               player("green", 0.1f, 0.8f, 0.2f, "pop") +
               player("blue", 0.0f, 0.2f, 0.7f, "chilled"));
    realScript();
    world.start(window.get());
    std::vector<std::string> order = shown(run(330));
    ASSERT_GE(order.size(), 5u);
    int blue = 0;
    for (const std::string& id : order) {
        EXPECT_NE(id, "green");
        if (id == "blue") blue++;
    }
    EXPECT_GE(blue, 2);
}

TEST_F(ContentTest, ASceneRatedZeroIsNeverChosen) {
    settings(", \"scene_length\" : 1, \"fade_length\" : 0.2",
             ", \"scene\" : { \"rating-red\" : 0, \"rating-blue\" : 3 }");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat", "<Weight>30</Weight>") +
               player("green", 0.1f, 0.8f, 0.2f, "pop") +
               player("blue", 0.0f, 0.2f, 0.7f, "chilled"));
    realScript();
    world.start(window.get());
    std::vector<std::string> order = shown(run(330));
    ASSERT_GE(order.size(), 5u);
    std::set<std::string> seen(order.begin(), order.end());
    EXPECT_EQ(seen, (std::set<std::string>{"green", "blue"}));
}

TEST_F(ContentTest, TheKeysDoWhatTheySay) {
    settings(", \"scene_length\" : 600, \"fade_length\" : 0.2");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat") + player("green", 0.1f, 0.8f, 0.2f, "pop") +
               player("blue", 0.0f, 0.2f, 0.7f, "chilled"));
    realScript();
    LogCapture log;
    world.start(window.get());
    Lists settle = run(30);
    ASSERT_FALSE(settle.back().empty());
    const std::string first = settle.back()[0];
    const std::string rating = "settings.scene[\"rating-" + first + "\"]";

    // n: the next scene comes in through a fade.
    key("n");
    Lists next = run(40);
    std::string second = shown(next).back();
    EXPECT_NE(second, first);
    EXPECT_TRUE(log.contains("Next scene"));
    bool faded = false;
    for (const auto& list : next)
        faded = faded || (list.size() == 4 && list[3] == "fade");
    EXPECT_TRUE(faded);

    // p: back to the first.
    key("p");
    EXPECT_EQ(shown(run(40)).back(), first);
    EXPECT_TRUE(log.contains("Previous scene: Scene " + first));

    // f: a favourite, saved at once; f again takes it back.
    key("f");
    run(1);
    EXPECT_EQ(eval("settings.favourites.contains(\"" + first + "\")"), "1");
    EXPECT_NE(world.base.read("settings.js").find("\"" + first + "\""), std::string::npos);
    EXPECT_TRUE(log.contains("Scene " + first + " is a favourite"));
    key("f");
    run(1);
    EXPECT_EQ(eval("settings.favourites.length"), "0");

    // + and -: the rating under the scene's SceneId, in whole steps.
    key("+");
    key("+");
    run(1);
    EXPECT_EQ(eval(rating), "3");
    key("-");
    run(1);
    EXPECT_EQ(eval(rating), "2");
    EXPECT_TRUE(log.contains("Scene " + first + " rated 2"));
    EXPECT_EQ(shown(run(5)).back(), first);

    // s: a screenshot of the picture, without the message it then shows.
    key("s");
    run(3);
    std::unique_ptr<Image> shot = screenshot(0);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->width, kWidth);
    EXPECT_EQ(shot->height, kHeight);
    EXPECT_TRUE(log.contains("Screenshot saved"));

    // Rated down to 0 the scene goes at once and does not come back.
    key("-");
    key("-");
    Lists after = run(40);
    EXPECT_EQ(eval(rating), "0");
    EXPECT_NE(shown(after).back(), first);
    for (int i = 0; i < 3; i++) {
        key("n");
        for (const std::string& id : shown(run(30)))
            EXPECT_NE(id, first);
    }
}

TEST_F(ContentTest, WithoutSettingsTheDefaultsAreWrittenBack) {
    settings("");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat"));
    realScript();
    world.start(window.get());
    run(5);
    EXPECT_FLOAT_EQ(world.beat.tempo(), 120.0f);
    EXPECT_EQ(eval("settings.vis.scene_length"), "15");
    EXPECT_EQ(eval("settings.fakesound.bpm"), "120");
    // One scene: it plays, announced, and nothing changes.
    EXPECT_EQ(world.vis->renderList().ids(), (std::vector<std::string>{"red", "announce"}));
}

// ---- the composing scenes on their own -------------------------------------

// A script that builds the render list `inserts`, sets `properties` on the
// node of `node`, and takes a screenshot when the play time first reaches
// each of `times` (the loading screen fades out over the first second).
std::string shootingScript(const std::string& inserts, const std::string& node,
                           const std::string& properties, const std::string& times) {
    return "var t = 0; var shots = [" + times +
           "]; var next = 0;\n"
           "function onInit() {}\n"
           "function onScenesLoaded() { " +
           inserts + " var at = renderSceneFind(\"" + node + "\"); " + properties +
           " }\n"
           "function onFrame() { t = t + timePass;\n"
           "  if (next < shots.length) { if (t >= shots[next] - 0.001) { screenshot(); next++; } "
           "}\n"
           "}\n";
}

class FadeStyleTest : public ContentTest, public ::testing::WithParamInterface<const char*> {};

// Red comes in, blue goes out, over 2 s; the picture at 1 s.
TEST_P(FadeStyleTest, HalfWayShowsBothChildren) {
    settings("");
    playerList(player("red", 0.9f, 0.1f, 0.0f, "heat") + player("blue", 0.0f, 0.2f, 0.7f, "pop"));
    world.controlScript(shootingScript(
        "renderSceneInsert(\"red\", -1); renderSceneInsert(\"blue\", -1); "
        "renderSceneInsert(\"fade\", -1);",
        "fade",
        std::string("renderSceneSet(at, \"Duration\", \"2\"); renderSceneSet(at, \"Style\", \"") +
            GetParam() + "\");",
        "1"));
    LogCapture log;
    world.start(window.get());
    run(60);
    EXPECT_EQ(eval("getSceneInfo(findSceneId(\"fade\"), \"finished\")"), "0");
    std::unique_ptr<Image> shot = screenshot(0);
    ASSERT_NE(shot, nullptr) << log.all();
    std::string style = GetParam();
    Colour middle = at(*shot, kWidth / 2, kHeight / 2);
    Colour left = at(*shot, kWidth / 8, kHeight / 2);
    Colour right = at(*shot, kWidth * 7 / 8, kHeight / 2);
    Colour corner = at(*shot, 2, 2);
    if (style == "dissolve") {
        for (const Colour& colour : {middle, left, corner}) {
            EXPECT_NEAR(colour[0], 115, 8);
            EXPECT_NEAR(colour[2], 89, 8);
        }
    } else if (style == "wipe") {
        EXPECT_NEAR(left[0], 230, 3);  // in from the left: red
        EXPECT_NEAR(left[2], 0, 3);
        EXPECT_NEAR(right[0], 0, 3);  // still blue on the right
        EXPECT_NEAR(right[2], 179, 3);
    } else {
        EXPECT_NEAR(middle[0], 230, 3);  // the red picture grows from the middle
        EXPECT_NEAR(corner[0], 0, 3);    // blue zooms past, a little darker
        EXPECT_NEAR(corner[2], 148, 6);
    }
    // Over at 2 s: the finished flag tells the script.
    run(45);
    EXPECT_EQ(eval("getSceneInfo(findSceneId(\"fade\"), \"finished\")"), "1");
    EXPECT_FALSE(log.contains("Couldn't find GLSL")) << log.all();
    EXPECT_FALSE(log.contains("VM Error")) << log.all();
}

INSTANTIATE_TEST_SUITE_P(Styles, FadeStyleTest, ::testing::Values("dissolve", "wipe", "zoom"));

TEST_F(ContentTest, TheOverlayShowsItsChildUnderDarkCorners) {
    settings("");
    playerList(player("green", 0.1f, 0.8f, 0.2f, "pop"));
    world.controlScript(
        shootingScript("renderSceneInsert(\"green\", -1); renderSceneInsert(\"overlay\", -1);",
                       "overlay", "renderSceneSet(at, \"Glow\", \"0\");", "1.2"));
    world.start(window.get());
    run(70);
    std::unique_ptr<Image> shot = screenshot(0);
    ASSERT_NE(shot, nullptr);
    Colour middle = at(*shot, kWidth / 2, kHeight / 2);
    Colour corner = at(*shot, 1, kHeight - 2);
    EXPECT_NEAR(middle[0], 26, 4);
    EXPECT_NEAR(middle[1], 204, 14);  // the grain darkens by up to 5%
    EXPECT_NEAR(middle[2], 51, 4);
    EXPECT_LT(corner[1], middle[1] * 2 / 3);
    EXPECT_GT(corner[1], 40);
}

// White text over dark blue: counted in the lower part, none above; at 1 s
// it is fully there, near the end of its 2 s nearly gone.
TEST_F(ContentTest, TheAnnouncementDrawsItsTextAndFades) {
    settings("");
    playerList(player("blue", 0.0f, 0.1f, 0.4f, "pop"));
    world.controlScript(shootingScript(
        "renderSceneInsert(\"blue\", -1); renderSceneInsert(\"announce\", -1);", "announce",
        "renderSceneSet(at, \"Text\", \"VORTALIS\"); renderSceneSet(at, \"Duration\", \"2\"); "
        "renderSceneSet(at, \"Size\", \"0.2\");",
        "1, 1.92"));
    world.start(window.get());
    run(110);
    auto whitePixels = [](const Image& image, int y0, int y1) {
        int count = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < kWidth; x++) {
                Colour colour = at(image, x, y);
                if (colour[0] > 160 && colour[1] > 160) count++;
            }
        return count;
    };
    std::unique_ptr<Image> full = screenshot(0);
    std::unique_ptr<Image> fading = screenshot(1);
    ASSERT_NE(full, nullptr);
    ASSERT_NE(fading, nullptr);
    // Image rows run from the top; the text sits in the lower fifth.
    EXPECT_GT(whitePixels(*full, kHeight * 3 / 5, kHeight), 40);
    EXPECT_EQ(whitePixels(*full, 0, kHeight / 2), 0);
    EXPECT_EQ(at(*full, kWidth / 2, kHeight / 4), (Colour{0, 26, 102}));
    EXPECT_EQ(whitePixels(*fading, 0, kHeight), 0);
    EXPECT_EQ(eval("getSceneInfo(findSceneId(\"announce\"), \"finished\")"), "1");
}

}  // namespace
