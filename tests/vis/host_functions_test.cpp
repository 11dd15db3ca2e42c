// The functions the control script steers the visualiser with, called the way
// a script calls them: through the script engine of a headless visualiser.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "app/clock.h"
#include "script/script.h"
#include "script/settings.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vis/vis_world.h"
#include "vfs/archiveWriter.h"
#include "vfs/fileSystem.h"

namespace {

// The visualiser insists on an onInit. Messages reach the on-screen display
// only inside a frame, so code that needs one is handed to the next onFrame.
const char* const kFrameRunner = R"(
function onInit() {}
var frameCode = "";
function onFrame() { if (frameCode != "") { var code = frameCode; frameCode = ""; exec(code); } }
)";

std::string listOf(const std::string& scenes) {
    return "<SceneList>" + scenes + "</SceneList>";
}

// A scene that marks itself finished in "V init()".
const char* const kFinishingScene = R"vsa(
.native seti "V visSetInt(I,I)"
.func "V init()" init
init:
    LITERAL 200
    LITERAL 1
    NATIVE seti
    RETURN
)vsa";

// The checksum worked out by hand: rotate left by one, then XOR the byte
// sign-extended to 32 bits.
int32_t referenceCrc(const std::string& bytes, uint32_t seed) {
    uint32_t h = seed;
    for (char c : bytes)
        h = ((h << 1) | (h >> 31)) ^
            static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return static_cast<int32_t>(h);
}

// A world with scenes alpha, beta and closer in scenes/main.xml, loaded.
CVisMain& startWithScenes(VisWorld& world) {
    world.controlScript(kFrameRunner);
    world.file("scenes/main.xml",
               listOf(world.scene("alpha", printingScene("alpha"),
                                  "<Type>fade</Type><SceneId>A-12</SceneId>"
                                  "<SchemeId>warm</SchemeId><Styles>Heat,Jazzy</Styles>") +
                      world.scene("beta", printingScene("beta")) +
                      world.scene("closer", kFinishingScene, "<Type>scene</Type>")));
    CVisMain& vis = world.start();
    world.frames(1);
    EXPECT_FALSE(vis.loading());
    EXPECT_EQ(vis.registry().count(), 3);
    return vis;
}

}  // namespace

TEST(HostFunctionRegistry, QueriesAnswerByIndexAndById) {
    VisWorld world;
    startWithScenes(world);
    EXPECT_EQ(world.eval("getScenes()"), "3");
    EXPECT_EQ(world.eval("getSceneInfo(1, \"id\")"), "beta");
    EXPECT_EQ(world.eval("getSceneInfo(0, \"xml_file\")"), "scenes/main.xml");
    EXPECT_EQ(world.eval("getSceneInfo(0, \"Styles\")"), "Heat,Jazzy");
    EXPECT_EQ(world.eval("\"<\" + getSceneInfo(0, \"Tempo\") + \">\""), "<>");
    EXPECT_EQ(world.eval("\"<\" + getSceneInfo(-1, \"id\") + getSceneInfo(3, \"id\") + \">\""),
              "<>");

    // The finished mark is a number; closer sets it while it initialises.
    EXPECT_EQ(world.eval("getSceneInfo(2, \"finished\") + 5"), "5");
    world.eval("renderSceneInsert(\"closer\", -1)");
    EXPECT_EQ(world.eval("getSceneInfo(2, \"finished\") + 5"), "6");

    EXPECT_EQ(world.eval("JSON.stringify(getScene(0), 0)"),
              "{ \n  \"id\" : \"alpha\",\n  \"type\" : \"fade\",\n  \"scene_id\" : \"A-12\",\n"
              "  \"scheme_id\" : \"warm\",\n  \"finished\" : 0\n}");
    EXPECT_EQ(world.eval("JSON.stringify(getScene(2), 0)"),
              "{ \n  \"id\" : \"closer\",\n  \"type\" : \"scene\",\n  \"scene_id\" : \"\",\n"
              "  \"scheme_id\" : \"\",\n  \"finished\" : 1\n}");
    EXPECT_EQ(world.eval("getScene(3) == undefined && getScene(-1) == undefined"), "1");

    // A found index is a number; a missing id gives the empty string, not -1.
    EXPECT_EQ(world.eval("findSceneId(\"closer\") + 10"), "12");
    EXPECT_EQ(world.eval("\"<\" + findSceneId(\"gamma\") + \">\""), "<>");

    EXPECT_EQ(world.eval("getRandomScene(\"fade\", \"Heat\")"), "alpha");
    EXPECT_EQ(world.eval("getRandomScene(\"fade\", \"Rock\")"), "");
    EXPECT_EQ(world.eval("getRandomScene(\"overlay\", \"\")"), "");
}

TEST(HostFunctionRegistry, ScriptsAddReloadAndRemoveScenes) {
    LogCapture log;
    VisWorld world;
    world.file("extra/later.xml", listOf(world.scene("late", printingScene("late"))));
    CVisMain& vis = startWithScenes(world);

    world.eval(
        "loadScenes(\"<SceneList><Scene id='inline'><Filename>beta.vsi</Filename>"
        "<Data><Type>overlay</Type></Data></Scene></SceneList>\")");
    ASSERT_EQ(vis.registry().count(), 4);
    EXPECT_EQ(world.eval("getSceneInfo(3, \"id\") + \"|\" + getSceneInfo(3, \"xml_file\") + "
                         "\"|\" + getSceneInfo(3, \"Type\")"),
              "inline|[JS]|overlay");

    world.eval("removeScene(\"beta\")");
    EXPECT_TRUE(log.contains(LOG_INFO, "Removing scene beta"));
    EXPECT_EQ(vis.registry().findIndex("beta"), -1);
    EXPECT_EQ(vis.registry().findIndex("inline"), 2);

    world.eval("reloadXML(\"extra/later.xml\")");
    EXPECT_EQ(vis.registry().loadQueue(), std::vector<std::string>{"extra/later.xml"});
    EXPECT_TRUE(vis.loading());
    world.frames(1);
    EXPECT_FALSE(vis.loading());
    EXPECT_EQ(world.eval("findSceneId(\"late\")"), "3");

    // Scenes that were playing are played again after the reload; the others stay idle.
    world.eval("renderSceneInsert(\"alpha\", -1)");
    log.clear();
    world.eval("reloadVisible()");
    EXPECT_EQ(log.count("VM PRINT: 'alpha' 4"), 1u) << log.all();
    EXPECT_EQ(log.count("VM PRINT: 'alpha' 1"), 1u) << log.all();
    EXPECT_TRUE(vis.registry().find("alpha")->initialised());
    EXPECT_FALSE(vis.registry().find("late")->initialised());
    EXPECT_FALSE(log.contains("VM PRINT: 'late'"));
}

TEST(HostFunctionRegistry, ArchivesComeAndGoWithTheirScenes) {
    LogCapture log;
    VisWorld world;
    // delta's image is in the main archive, its list only in the second one.
    std::string delta = listOf(world.scene("delta", printingScene("delta")));
    CVisMain& vis = startWithScenes(world);
    CArchiveWriter second;
    ASSERT_TRUE(second.add("scenes/more.xml", delta.data(), delta.size()));
    ASSERT_TRUE(second.add("scenes/notes.txt", "x", 1));
    ASSERT_TRUE(second.writeFile(world.base.path() + "second.vortapack")) << second.error();

    world.eval("addArchive(\"second.vortapack\")");
    EXPECT_EQ(vis.registry().loadQueue(), std::vector<std::string>{"scenes/more.xml"});
    world.frames(1);
    EXPECT_EQ(world.eval("getSceneInfo(findSceneId(\"delta\"), \"xml_file\")"), "scenes/more.xml");

    world.eval("renderSceneInsert(\"delta\", -1); renderSceneInsert(\"alpha\", 0);");
    ASSERT_EQ(vis.renderList().count(), 2);
    world.eval("removeArchive(\"second.vortapack\")");
    EXPECT_EQ(vis.registry().findIndex("delta"), -1);
    EXPECT_EQ(vis.renderList().ids(), std::vector<std::string>{"alpha"});
    EXPECT_TRUE(log.contains("VM PRINT: 'delta' 4"));
    EXPECT_EQ(vis.registry().count(), 3);

    world.eval("addArchive(\"absent.vortapack\"); removeArchive(\"missing.vortapack\");");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Loading archive absent.vortapack failed"));
    EXPECT_TRUE(log.contains(LOG_WARNING, "Archive missing.vortapack not found loaded"));
    EXPECT_TRUE(vis.registry().loadQueue().empty());
}

TEST(HostFunctionRenderList, InsertFindSetGetAndRemove) {
    LogCapture log;
    VisWorld world;
    CVisMain& vis = startWithScenes(world);
    // A position beyond the end appends.
    world.eval(
        "renderSceneInsert(\"alpha\", -1); renderSceneInsert(\"beta\", 0);"
        "renderSceneInsert(\"closer\", 7);");
    EXPECT_EQ(vis.renderList().ids(), (std::vector<std::string>{"beta", "alpha", "closer"}));
    EXPECT_EQ(world.eval("renderScenes()"), "3");
    EXPECT_EQ(world.eval("renderSceneAt(2) + \"|\" + renderSceneAt(0)"), "closer|beta");
    EXPECT_EQ(world.eval("\"<\" + renderSceneAt(3) + renderSceneAt(-1) + \">\""), "<>");
    EXPECT_EQ(world.eval("renderSceneFind(\"alpha\")"), "1");
    EXPECT_EQ(world.eval("renderSceneFind(\"gamma\") < 0"), "1");

    world.eval("renderSceneInsert(\"alpha\", 2); renderSceneInsert(\"gamma\", 0);");
    EXPECT_TRUE(log.contains(
        LOG_WARNING, "Scene 'alpha' already in the render list, insertRenderScene ignored."));
    EXPECT_TRUE(log.contains(LOG_WARNING, "insertRenderScene: Scene 'gamma' not found!!"));
    EXPECT_EQ(vis.renderList().ids(), (std::vector<std::string>{"beta", "alpha", "closer"}));

    world.eval("renderSceneSet(1, \"Speed\", \"2.5\"); renderSceneSet(2, \"Tint\", \"plum\");");
    EXPECT_EQ(world.eval("renderSceneGet(1, \"Speed\") + \"|\" + renderSceneGet(2, \"Tint\")"),
              "2.5|plum");
    EXPECT_EQ(world.eval("\"<\" + renderSceneGet(2, \"Speed\") + \">\""), "<>");
    world.eval("renderSceneSet(3, \"Speed\", \"9\")");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unable to find render scene 3"));
    EXPECT_EQ(world.eval("renderSceneGet(-2, \"Speed\") == undefined"), "1");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Unable to find render scene -2"));
    EXPECT_EQ(vis.renderList().nodes()[1].properties.size(), 1u);

    world.eval("renderSceneRemove(\"alpha\")");
    EXPECT_EQ(vis.renderList().ids(), (std::vector<std::string>{"beta", "closer"}));
    EXPECT_TRUE(log.contains("VM PRINT: 'alpha' 4"));
    world.eval("renderSceneRemove(\"alpha\")");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Scene 'alpha' not found in renderList"));

    world.eval("renderSceneRemoveAll()");
    EXPECT_EQ(vis.renderList().count(), 0);
    // Every scene that leaves the list is killed, not only the last one.
    EXPECT_TRUE(log.contains("VM PRINT: 'beta' 4")) << log.all();
    EXPECT_FALSE(vis.registry().find("beta")->initialised());
    EXPECT_FALSE(vis.registry().find("closer")->initialised());
}

TEST(HostFunctionRenderList, BackgroundInitialisationIsTrackedPerId) {
    VisWorld world;
    CVisMain& vis = startWithScenes(world);
    world.eval(
        "renderSceneInitialise(\"alpha\"); renderSceneInitialise(\"gamma\");"
        "renderSceneInitialise(\"beta\"); renderSceneInitialise(\"alpha\");");
    EXPECT_EQ(vis.renderList().initialiseList(), (std::vector<std::string>{"beta", "alpha"}));
    EXPECT_EQ(world.eval("renderScenesInitialised()"), "0");

    world.frames(1);
    EXPECT_TRUE(vis.registry().find("beta")->initialised());
    EXPECT_FALSE(vis.registry().find("alpha")->initialised());
    EXPECT_EQ(world.eval("renderScenesInitialised()"), "0");
    world.frames(1);
    EXPECT_TRUE(vis.registry().find("alpha")->initialised());
    EXPECT_EQ(world.eval("renderScenesInitialised()"), "1");
}

TEST(HostFunctionOutput, MessagesRequestsAndWarnings) {
    LogCapture log;
    VisWorld world;
    CVisMain& vis = startWithScenes(world);
    world.eval("print(\"tempo \" + 42)");
    EXPECT_TRUE(log.contains(LOG_INFO, "JS: tempo 42"));

    world.eval("frameCode = \"printOSD(\\\"^drop ahead\\\");\"");
    world.frames(1);
    ASSERT_FALSE(vis.osd().messages().empty());
    EXPECT_EQ(vis.osd().messages().back().text, "drop ahead");
    EXPECT_TRUE(log.contains(LOG_OSD, "drop ahead"));

    world.eval("disconnect()");
    EXPECT_TRUE(log.contains(LOG_WARNING, "disconnect() called from non-network mode"));

    EXPECT_FALSE(vis.updaterRestartRequested());
    world.eval("restartUpdater()");
    EXPECT_TRUE(vis.updaterRestartRequested());

    // Thumbnails of scenes that do not exist are not attempted.
    world.eval("createThumbnail(\"gamma\")");
    EXPECT_FALSE(osFileExists(world.base.path() + "thumbnails/gamma.png"));
    EXPECT_EQ(log.count("gamma"), 0u) << log.all();

    EXPECT_FALSE(vis.quitRequested());
    world.eval("exit()");
    EXPECT_TRUE(vis.quitRequested());
}

// The name a screenshot gets shows only in a written file, which takes GL.
TEST(HostFunctionOutput, ScreenshotWithoutGraphicsWritesNothing) {
    TempDir directory;
    directory.write("screenshot0000.png", "first");
    directory.write("screenshot0002.png", "third");
    char previous[PATH_MAX];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(directory.path().c_str()), 0);
    {
        LogCapture log;
        VisWorld world;
        startWithScenes(world);
        world.eval("frameCode = \"screenshot();\"");
        world.frames(2);
        EXPECT_FALSE(osFileExists("screenshot0001.png"));
        EXPECT_FALSE(osFileExists("screenshot0003.png"));
        EXPECT_EQ(directory.read("screenshot0000.png"), "first");
        EXPECT_FALSE(log.contains("JS Error")) << log.all();
    }
    EXPECT_EQ(chdir(previous), 0);
}

TEST(HostFunctionValues, TweaksCoverSlots300To363Only) {
    VisWorld world;
    CVisMain& vis = startWithScenes(world);
    world.eval(
        "setTweak(300, 0.25); setTweak(363, -7.5); setTweak(301, 0.1);"
        "setTweak(299, 1); setTweak(364, 1);");
    float* slots = vis.sharedRegisters();
    EXPECT_EQ(slots[0], 0.25f);
    EXPECT_EQ(slots[63], -7.5f);
    EXPECT_EQ(slots[1], 0.1f);
    for (int i = 2; i < 63; i++)
        EXPECT_EQ(slots[i], 0.0f) << "slot " << 300 + i;

    slots[17] = 3.5f;
    EXPECT_EQ(world.eval("getTweak(317) == 3.5 && getTweak(300) == 0.25 && getTweak(363) == -7.5"),
              "1");
    EXPECT_EQ(world.eval("getTweak(364) == 0 && getTweak(299) == 0"), "1");
    // Stored in single precision, so 0.1 comes back as the float nearest to it.
    EXPECT_EQ(world.eval("getTweak(301) == 0.1"), "0");
    EXPECT_EQ(world.eval("getTweak(301) > 0.1000000014 && getTweak(301) < 0.1000000016"), "1");
}

TEST(HostFunctionValues, VersionsCompareAsDecimalNumbers) {
    VisWorld world;
    startWithScenes(world);
    EXPECT_EQ(world.eval("compareVersion(\"1.67\", \"1.67\")"), "0");
    EXPECT_EQ(world.eval("compareVersion(\"1.9\", \"1.10\")"), "1");
    EXPECT_EQ(world.eval("compareVersion(\"1.6\", \"1.67\")"), "-1");
    EXPECT_EQ(world.eval("compareVersion(\"1.67\", \"1.7\")"), "-1");
    // A letter v reads as a decimal point: v2 is 0.2.
    EXPECT_EQ(world.eval("compareVersion(\"v2\", \"0.2\")"), "0");
    EXPECT_EQ(world.eval("compareVersion(\"0.3\", \"v2\")"), "1");
    EXPECT_EQ(world.eval("compareVersion(\"beta\", \"0\")"), "0");
}

TEST(HostFunctionValues, CrcFollowsTheSystemChecksum) {
    VisWorld world;
    startWithScenes(world);
    EXPECT_EQ(world.eval("crc(\"abc\", 7)"), std::to_string(referenceCrc("abc", 7)));
    EXPECT_NE(world.eval("crc(\"abc\", 0)"), world.eval("crc(\"abc\", 7)"));
    EXPECT_EQ(world.eval("crc(\"abc\", 0)"), std::to_string(referenceCrc("abc", 0)));
    // Bytes from 0x80 up are sign-extended.
    EXPECT_EQ(world.eval("crc(\"q\" + String.fromCharCode(233) + \"z\", 1234567)"),
              std::to_string(referenceCrc("q\xE9z", 1234567)));
    EXPECT_EQ(world.eval("crc(\"\", 91)"), "91");
}

TEST(HostFunctionWindow, HeadlessWindowAnswersAndMoves) {
    VisWorld world;
    CVisMain& vis = startWithScenes(world);
    EXPECT_EQ(world.eval("getMonitorPosition(0) == undefined"), "1");
    EXPECT_EQ(world.eval("getMonitorPosition(-1) == undefined"), "1");

    world.eval("setWindowPosition(37, 11, 301, 203, 0)");
    EXPECT_EQ(world.headless.left, 37);
    EXPECT_EQ(world.headless.top, 11);
    EXPECT_EQ(world.headless.width, 301);
    EXPECT_EQ(world.headless.height, 203);
    EXPECT_TRUE(world.headless.fullscreen);
    world.eval("setWindowPosition(-5, 9, 411, 157, 2)");
    EXPECT_EQ(world.headless.left, -5);
    EXPECT_EQ(world.headless.top, 9);
    EXPECT_EQ(world.headless.width, 411);
    EXPECT_EQ(world.headless.height, 157);
    EXPECT_FALSE(world.headless.fullscreen);

    EXPECT_EQ(world.eval("getVideoDevices().length"), "0");
    EXPECT_EQ(world.eval("JSON.stringify(getVideoDevices(), 0)"), "[\n\n]");

    // The test clock moves only when something sleeps.
    uint32_t before = osTickCount();
    world.eval("Thread.sleep(-25); Thread.sleep(0);");
    EXPECT_EQ(osTickCount(), before);
    world.eval("Thread.sleep(13)");
    EXPECT_EQ(osTickCount(), before + 13);
    EXPECT_FALSE(vis.quitRequested());
}

TEST(HostFunctionSettings, SettingsRoundTripAndTempo) {
    LogCapture log;
    VisWorld world;
    world.base.write("settings.js", "var settings = { \"volume\" : 7 };");
    startWithScenes(world);
    EXPECT_EQ(world.eval("settings.volume"), "7");

    world.eval("settings.colour = \"teal\"; saveSettings();");
    EXPECT_TRUE(log.contains(LOG_INFO, "Saving settings.js"));
    std::string saved = world.base.read("settings.js");
    EXPECT_NE(saved.find("\"colour\" : \"teal\""), std::string::npos) << saved;

    world.eval("settings.colour = \"plum\"; settings.extra = 3; loadSettings();");
    EXPECT_TRUE(log.contains(LOG_INFO, "Loading settings.js"));
    EXPECT_EQ(world.eval("settings.colour + \"|\" + settings.volume"), "teal|7");
    EXPECT_EQ(world.eval("settings.extra == undefined"), "1");

    EXPECT_EQ(world.beat.tempo(), 140.0f);
    world.eval("setSoundBPM(97.5)");
    EXPECT_EQ(world.beat.tempo(), 97.5f);
}
