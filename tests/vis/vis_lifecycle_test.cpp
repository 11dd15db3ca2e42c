// The visualiser's life as scripts and the log see it: construction order,
// the loading phase, running frames, statistics and shutdown. Headless: no
// GL, the fake clock.
#include <gtest/gtest.h>

#include "script/script.h"
#include "script/settings.h"
#include "tests/support/log_capture.h"
#include "tests/vis/vis_world.h"
#include "vfs/fileSystem.h"

namespace {

// Records, in a global array, what each handler saw when it ran.
const char* const kRecordingScript = R"(
var seen = [];
function note(what) { seen[seen.length] = what; }
note("script OS=" + OS + " VERSION=" + VERSION);
function onInit() { note("init scenes=" + getScenes()); }
function onScenesLoaded() { note("loaded scenes=" + getScenes()); }
function onFrame() { note("frame"); }
function onKill() { note("kill"); }
)";

std::string listOf(const std::string& scenes) {
    return "<SceneList>" + scenes + "</SceneList>";
}

size_t position(const LogCapture& log, const std::string& fragment) {
    for (size_t i = 0; i < log.lines().size(); i++)
        if (log.lines()[i].text.find(fragment) != std::string::npos) return i;
    return std::string::npos;
}

}  // namespace

TEST(VisLifecycle, ConstructionRunsInItsOrder) {
    LogCapture log;
    VisWorld world;
    world.base.write("settings.js", "var settings = { \"window\" : { \"width\" : 3 } };");
    world.base.write("deviceid.js", "var DEVICE_UID = \"unit-7\"; note = 1;");
    world.file("data/utils.js", "var fromUtils = DEVICE_UID + \"/\" + startup;");
    world.controlScript(kRecordingScript);
    world.start(nullptr, VIS_DEVICE_MODE, "var startup = \"given\";");

    EXPECT_EQ(world.eval("fromUtils"), "unit-7/given");
    EXPECT_EQ(world.eval("seen.join(\"|\")"), "script OS=LINUX VERSION=1.67|init scenes=0");
    // The window is at least 16 pixels on a side, whatever the settings say.
    EXPECT_EQ(world.headless.width, 16);
    EXPECT_EQ(world.headless.height, 480);

    size_t version = position(log, "Vortalis Visualizer Version 1.67");
    size_t utils = position(log, "CScript::executeFile('data/utils.js')");
    size_t device = position(log, "CScript::executeFile('data/device.js')");
    size_t done = position(log, "Initialisation done");
    ASSERT_NE(done, std::string::npos) << log.all();
    EXPECT_LT(version, utils);
    EXPECT_LT(utils, device);
    EXPECT_LT(device, done);
    EXPECT_EQ(currentVis, nullptr);
}

TEST(VisLifecycle, LoadingPhaseReadsOneListPerFrameWithoutOnFrame) {
    VisWorld world;
    world.controlScript(kRecordingScript);
    world.file("scenes/b.xml", listOf(world.scene("beta", printingScene("beta"))));
    world.file("scenes/a.xml", listOf(world.scene("alpha", printingScene("alpha"))));
    world.file("scenes/notes.txt", "not a list");
    CVisMain& vis = world.start();
    EXPECT_EQ(vis.registry().loadQueueTotal(), 2);

    world.frames(1);
    EXPECT_TRUE(vis.loading());
    EXPECT_EQ(vis.registry().count(), 1);
    EXPECT_EQ(world.eval("seen.length"), "2");
    world.frames(1);
    EXPECT_FALSE(vis.loading());
    EXPECT_EQ(world.eval("seen[2]"), "loaded scenes=2");
    // Loading frames do not count as played time: the first running frame
    // starts its clock from nothing.
    world.frames(1, 700);
    EXPECT_EQ(world.eval("seen[3]"), "frame");
    EXPECT_EQ(vis.timing().realTimePass, 0.0f);
    world.frames(1, 30);
    EXPECT_NEAR(vis.timing().realTimePass, 0.030f, 1e-6f);
}

TEST(VisLifecycle, RunningFramesCountStatisticsPerListedScene) {
    VisWorld world;
    world.controlScript(R"(
function onScenesLoaded() { renderSceneInsert("solo", -1); renderSceneInsert("pair", 0); }
)");
    world.file("scenes/s.xml", listOf(world.scene("solo", printingScene("solo")) +
                                      world.scene("pair", printingScene("pair"))));
    CVisMain& vis = world.start();
    world.frames(1);  // loads the list and inserts both
    ASSERT_EQ(vis.renderList().count(), 2);
    EXPECT_EQ(vis.renderList().idAt(0), "pair");
    world.frames(3, 25);
    EXPECT_EQ(world.eval("settings.scenes.solo.frames"), "3");
    EXPECT_EQ(world.eval("settings.scenes.pair.frames"), "3");
    world.eval("renderSceneRemove(\"pair\")");
    world.frames(2, 25);
    EXPECT_EQ(world.eval("settings.scenes.solo.frames"), "5");
    EXPECT_EQ(world.eval("settings.scenes.pair.frames"), "3");
}

TEST(VisLifecycle, ExitEndsTheRunAndShutdownSavesGeometryAndDeletesOnlyArchives) {
    LogCapture log;
    VisWorld world;
    world.controlScript(R"(
var frames = 0;
function onFrame() { frames++; if (frames == 2) exit(); }
function onKill() { print("bye after " + frames); }
)");
    world.base.write("retired.vortapack", "old");
    world.base.write("keep.txt", "kept");
    CVisMain& vis = world.start();
    world.headless.left = 37;
    world.headless.top = 11;
    world.headless.width = 301;
    world.headless.height = 203;
    while (!vis.quitRequested())
        world.frames(1);
    EXPECT_EQ(world.eval("frames"), "2");
    vis.registry().retireArchive("retired.vortapack");
    vis.registry().retireArchive("keep.txt");
    world.stop();

    EXPECT_TRUE(log.contains("JS: bye after 2"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Deleting 'retired.vortapack'"));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Trying to delete non-archive file keep.txt!"));
    EXPECT_FALSE(osFileExists(world.base.path() + "retired.vortapack"));
    EXPECT_EQ(world.base.read("keep.txt"), "kept");
    std::string saved = world.base.read("settings.js");
    EXPECT_NE(saved.find("\"left\" : 37"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"top\" : 11"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"width\" : 301"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"height\" : 203"), std::string::npos) << saved;
}

TEST(VisLifecycle, FullScreenIsStoredAndReadBack) {
    VisWorld world;
    world.start(nullptr, VIS_DEVICE_MODE | VIS_FULL_SCREEN);
    EXPECT_TRUE(world.headless.fullscreen);
    EXPECT_EQ(world.eval("settings.window.fullscreen"), "1");
    world.stop();
    // The next run without /s starts full screen too.
    VisWorld again;
    again.base.write("settings.js", world.base.read("settings.js"));
    again.start();
    EXPECT_TRUE(again.headless.fullscreen);
}

TEST(VisLifecycle, EmptyBaseDirectoryRunsAndSaysWhereItLooked) {
    VisWorld world;
    CVisMain& vis = world.start();
    world.frames(3);
    ASSERT_FALSE(vis.osd().messages().empty());
    EXPECT_NE(vis.osd().messages().back().text.find("No content found in " + world.base.path()),
              std::string::npos);
    EXPECT_FALSE(vis.quitRequested());
}

TEST(VisLifecycle, FailingOnInitIsShownAndAsksForAnUpdate) {
    VisWorld world;
    world.controlScript("function onInit() { undefinedThing(); }");
    CVisMain& vis = world.start();
    ASSERT_GE(vis.osd().messages().size(), 2u);
    EXPECT_EQ(vis.osd().messages()[0].text.find("Unable to initialise JavaScript"), 0u);
    EXPECT_TRUE(vis.updaterRestartRequested());
}

TEST(VisLifecycle, WarningsReachTheSettingsOnlyInsideFrames) {
    VisWorld world;
    world.controlScript("function onFrame() { renderSceneRemove(\"nothing\"); }");
    world.start();
    Log(LOG_WARNING, "between frames\n");
    world.frames(1);
    std::string messages = world.vis->settingsStore().messagesXml();
    EXPECT_NE(messages.find("Scene &apos;nothing&apos; not found in renderList"), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("between frames"), std::string::npos) << messages;
}

TEST(VisLifecycle, WithoutUsableOpenGLScenesAreDroppedAndNeverLoad) {
    VisWorld world;
    world.controlScript(kRecordingScript);
    world.file("scenes/a.xml", listOf(world.scene("alpha", printingScene("alpha"))));
    CVisMain& vis = world.start(nullptr, VIS_DEVICE_MODE | VIS_NO_OPENGL);
    EXPECT_EQ(vis.registry().loadQueueTotal(), 1);
    world.frames(3);
    EXPECT_EQ(vis.registry().count(), 0);
    EXPECT_FALSE(vis.loading());
    // The run goes on showing the logo: frames, but never a loaded list.
    EXPECT_EQ(world.eval("seen.join(\"|\")"),
              "script OS=LINUX VERSION=1.67|init scenes=0|frame|frame|frame");
}

TEST(VisLifecycle, SoundKeepsPaceWithFramesThatAreNotWholeMilliseconds) {
    VisWorld world;
    world.file("scenes/s.xml", listOf(world.scene("solo", printingScene("solo"))));
    CVisMain& vis = world.start();
    world.frames(1);
    // Frames of 16, 17 and 17 ms: the filtered frame time settles at about
    // 16.67 ms, and every fraction of a millisecond left out would slow the
    // synthetic beat against the pictures (by 4 % at 60 fps).
    double visualSeconds = 0.0;
    int64_t before = world.beat.targetTime();
    for (int i = 0; i < 240; i++) {
        world.frames(1, i % 3 == 0 ? 16 : 17);
        visualSeconds += vis.timing().timePass;
    }
    double soundSeconds = static_cast<double>(world.beat.targetTime() - before) / 1e6;
    EXPECT_NEAR(soundSeconds, visualSeconds, 0.002);
    EXPECT_GT(visualSeconds, 3.9);
}
