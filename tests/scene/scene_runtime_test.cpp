// The scene runtime without a display: initialisation slices and forced
// initialisation under the fake clock, VM failures in each entry point,
// kill, input forwarding.
#include <gtest/gtest.h>

#include "scene/sceneNatives.h"
#include "tests/scene/fake_clock.h"
#include "tests/scene/scene_world.h"
#include "tests/support/log_capture.h"
#include "vm/native.h"

namespace {

// "V texBind(I,I)" is checked against the clock after every call; in these
// tests it stands for 10 ms of work.
void tenMillisecondsOfWork(VMState* s) {
    vmPop(s);
    vmPop(s);
    fakeClockAdvance(10);
}

const char* const kEmptyEntries = R"vsa(
render:
    RETURN
kill:
    RETURN
)vsa";

std::string workScene(int calls) {
    return R"vsa(
.native work "V texBind(I,I)"
.word n
.func "V init()" init
.func "V render()" render
.func "V kill()" kill
init:
    REF n
    LITERALINCREMENT 1
    LITERAL 0
    LITERAL 0
    NATIVE work
    REF n
    DEREF
    LITERAL )vsa" +
           std::to_string(calls) +
           R"vsa(
    INTLT
    JNZ init
    RETURN
)vsa" + kEmptyEntries;
}

class SceneRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { vmSetNativeHandler("V texBind(I,I)", tenMillisecondsOfWork); }
    void TearDown() override { installGraphicsNatives(); }

    LogCapture log;
    SceneWorld world;
};

TEST_F(SceneRuntimeTest, BackgroundInitialisationTakesFortyMillisecondSlices) {
    CScene& scene = world.scene("slow", workScene(10));  // 100 ms of work
    scene.initialise(false);
    EXPECT_FALSE(scene.initialised());
    EXPECT_TRUE(scene.initPending());
    scene.initialise(false);
    EXPECT_FALSE(scene.initialised());
    scene.initialise(false);
    EXPECT_TRUE(scene.initialised());
    EXPECT_FALSE(scene.initPending());
    EXPECT_EQ(log.count("Deferring initialization until next frame - took too long!"), 2u);
    EXPECT_TRUE(world.host.vmErrors.empty());
}

TEST_F(SceneRuntimeTest, ForcedInitialisationFinishesABackgroundStart) {
    CScene& scene = world.scene("started", workScene(30));  // 300 ms
    scene.initialise(false);
    ASSERT_TRUE(scene.initPending());
    scene.initialise(true);
    EXPECT_TRUE(scene.initialised());
    EXPECT_FALSE(scene.initPending());
    EXPECT_EQ(log.count("Deferring initialization"), 1u);
}

TEST_F(SceneRuntimeTest, ForcedInitialisationBlocksUntilDone) {
    CScene& scene = world.scene("blocking", workScene(100));  // one second
    scene.initialise(true);
    EXPECT_TRUE(scene.initialised());
    EXPECT_EQ(log.count("Deferring initialization"), 0u);
}

TEST_F(SceneRuntimeTest, ForcedInitialisationOverTheDefaultBudgetIsAVMError) {
    CScene& scene = world.scene("endless", workScene(1000));  // ten seconds
    scene.initialise(true);
    EXPECT_TRUE(log.contains(5, "VM timed out in endless::V init() after 2000 ms"));
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/endless.vsi V init(), stack trace :"));
    EXPECT_FALSE(scene.initialised());
    EXPECT_FALSE(scene.initPending());
    EXPECT_EQ(scene.vm(), nullptr);
    EXPECT_EQ(world.host.vmErrors, std::vector<std::string>{"endless"});
}

TEST_F(SceneRuntimeTest, MissingKillIsAVMErrorThatEmptiesTheRenderList) {
    CScene& scene = world.scene("nokill", R"vsa(
.func "V init()" init
.func "V render()" init
init:
    RETURN
)vsa");
    scene.initialise(true);
    ASSERT_TRUE(scene.initialised());
    scene.kill();
    EXPECT_TRUE(log.contains("No function 'V kill()'"));
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/nokill.vsi V kill()"));
    EXPECT_EQ(world.host.vmErrors, std::vector<std::string>{"nokill"});
    EXPECT_FALSE(scene.initialised());
    EXPECT_EQ(scene.vm(), nullptr);
}

TEST_F(SceneRuntimeTest, KillOfAnUninitialisedSceneRunsNoCode) {
    CScene& scene = world.scene("nokill", R"vsa(
.func "V init()" init
init:
    RETURN
)vsa");
    scene.kill();
    EXPECT_TRUE(world.host.vmErrors.empty());
    EXPECT_FALSE(log.contains("V kill()"));
}

TEST_F(SceneRuntimeTest, MissingCodeFileLeavesTheSceneDefined) {
    CScene& scene = world.scene("gone", workScene(1));
    std::remove((world.directory.path() + "scenes/gone.vsi").c_str());
    scene.initialise(true);
    EXPECT_TRUE(log.contains(5, "File 'scenes/gone.vsi' couldn't be loaded!"));
    EXPECT_FALSE(scene.initialised());
    EXPECT_FALSE(scene.initPending());
    EXPECT_TRUE(world.host.vmErrors.empty());
}

TEST_F(SceneRuntimeTest, UnknownNativeFailsAtLinking) {
    CScene& scene = world.scene("unlinked", R"vsa(
.native missing "V noSuchNative(I)"
.func "V init()" init
init:
    RETURN
)vsa");
    scene.initialise(true);
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/unlinked.vsi [linking]"));
    EXPECT_FALSE(scene.initialised());
}

TEST_F(SceneRuntimeTest, StepAndRenderOfAnUninitialisedSceneOnlyWarn) {
    CScene& scene = world.scene("idle", workScene(1));
    scene.step();
    EXPECT_TRUE(scene.render());
    EXPECT_TRUE(log.contains(2, "CScene::visStep in uninitialised scene 'idle'"));
    EXPECT_TRUE(log.contains(2, "CScene::visRender in uninitialised scene 'idle'"));
}

TEST_F(SceneRuntimeTest, StepIsOptionalAndAFailingStepDropsTheScene) {
    CScene& quiet = world.scene("quiet", workScene(1));
    quiet.initialise(true);
    quiet.step();
    EXPECT_TRUE(quiet.initialised());

    CScene& broken = world.scene("broken", R"vsa(
.native assert "V assert(I)"
.func "V init()" init
.func "V step()" step
init:
    RETURN
step:
    LITERAL 0
    NATIVE assert
    RETURN
)vsa");
    broken.initialise(true);
    broken.step();
    EXPECT_TRUE(log.contains(5, "VM ASSERTION FAILED at op"));
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/broken.vsi V step()"));
    EXPECT_FALSE(broken.initialised());
    EXPECT_EQ(world.host.vmErrors, std::vector<std::string>{"broken"});
}

TEST_F(SceneRuntimeTest, InputReachesTheOptionalEntryPoints) {
    CScene& scene = world.scene("input", R"vsa(
.native print "V print(*I,F)"
.string m "mouse"
.string k "key"
.func "V init()" init
.func "V mouseEvent(I,I,I)" mouse
.func "V keyEvent(I)" key
init:
    RETURN
mouse:
    REF m
    COPYVAR -3
    COPYVAR -2
    INTADD
    COPYVAR -1
    INTADD
    ITOF
    NATIVE print
    RETURN
key:
    REF k
    COPYVAR -1
    ITOF
    NATIVE print
    RETURN
)vsa");
    scene.mouseEvent(1, 2, 3);  // not initialised: nothing
    scene.initialise(true);
    scene.mouseEvent(10, 20, -1);
    scene.keyEvent('A');
    EXPECT_EQ(printed(log), (std::vector<std::string>{"mouse 29.000000", "key 65.000000"}));

    CScene& deaf = world.scene("deaf", workScene(1));
    deaf.initialise(true);
    deaf.keyEvent('A');
    EXPECT_TRUE(world.host.vmErrors.empty());
}

TEST_F(SceneRuntimeTest, AnInputHandlerThatNeverReturnsTimesOut) {
    CScene& scene = world.scene("stuck", R"vsa(
.native work "V texBind(I,I)"
.func "V init()" init
.func "V keyEvent(I)" key
init:
    RETURN
key:
    LITERAL 0
    LITERAL 0
    NATIVE work
    J key
)vsa");
    scene.initialise(true);
    scene.keyEvent('x');
    EXPECT_TRUE(log.contains(5, "VM timed out in stuck::V keyEvent(I) after 2000 ms"));
    EXPECT_TRUE(log.contains(5, "VM Error in scenes/stuck.vsi V keyEvent(I)"));
    EXPECT_FALSE(scene.initialised());
    EXPECT_EQ(world.host.vmErrors, std::vector<std::string>{"stuck"});
}

}  // namespace
