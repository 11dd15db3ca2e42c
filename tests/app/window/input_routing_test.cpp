#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/inputRouting.h"

namespace {

struct RecordingScript : InputScript {
    std::vector<std::string> executed;
    void execute(const std::string& code) override { executed.push_back(code); }
};

struct RecordingScene : InputScene {
    bool present = true;
    std::vector<std::string> calls;
    bool hasInputScene() override { return present; }
    void keyEvent(int code) override { calls.push_back("key " + std::to_string(code)); }
    void mouseEvent(int x, int y, int state) override {
        calls.push_back("mouse " + std::to_string(x) + " " + std::to_string(y) + " " +
                        std::to_string(state));
    }
};

class InputRoutingTest : public ::testing::Test {
protected:
    void route(int type, const std::string& text = "", int x = 0, int y = 0) {
        window.queueEvent(type, text, x, y);
        drainWindowEvents(targets);
    }

    CWindowBase window;
    RecordingScript script;
    RecordingScene scene;
    bool quitRequested = false;
    int mouseMoveCount = 0;
    InputTargets targets{window, script, scene, quitRequested, mouseMoveCount};
};

TEST_F(InputRoutingTest, QuitEventEndsTheRunAndNothingElse) {
    route(EVENT_QUIT);
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(script.executed.empty());
    EXPECT_TRUE(scene.calls.empty());
}

TEST_F(InputRoutingTest, ResizeStoresTheClientSize) {
    route(EVENT_RESIZE, "", 1024, 768);
    EXPECT_EQ(window.width, 1024);
    EXPECT_EQ(window.height, 768);
    EXPECT_FALSE(quitRequested);
    EXPECT_TRUE(script.executed.empty());
}

TEST_F(InputRoutingTest, KeyReachesScriptAndInputScene) {
    route(EVENT_KEY, "a");
    ASSERT_EQ(script.executed.size(), 1u);
    EXPECT_EQ(script.executed[0], "if (onKeyPress!=undefined) onKeyPress(\"a\");");
    EXPECT_EQ(scene.calls, std::vector<std::string>{"key 97"});
    EXPECT_FALSE(quitRequested);
}

TEST_F(InputRoutingTest, KeyTextIsEscapedForTheScript) {
    route(EVENT_KEY, "\"");
    route(EVENT_KEY, "\\");
    ASSERT_EQ(script.executed.size(), 2u);
    EXPECT_EQ(script.executed[0], "if (onKeyPress!=undefined) onKeyPress(\"\\\"\");");
    EXPECT_EQ(script.executed[1], "if (onKeyPress!=undefined) onKeyPress(\"\\\\\");");
    EXPECT_EQ(scene.calls, (std::vector<std::string>{"key 34", "key 92"}));
}

TEST_F(InputRoutingTest, LongKeyTextReachesOnlyTheScript) {
    route(EVENT_KEY, "ab");
    EXPECT_EQ(script.executed.size(), 1u);
    EXPECT_TRUE(scene.calls.empty());
}

TEST_F(InputRoutingTest, WithAnEmptyRenderListTheSceneHearsNothing) {
    scene.present = false;
    route(EVENT_KEY, "z");
    route(EVENT_MOUSE_MOVE, "", 1, 2);
    route(EVENT_MOUSE_DOWN, "right", 3, 4);
    EXPECT_EQ(script.executed.size(), 3u);
    EXPECT_TRUE(scene.calls.empty());
    EXPECT_TRUE(quitRequested);
}

TEST_F(InputRoutingTest, ButtonsCallTheirHandlerThenEndTheRun) {
    route(EVENT_MOUSE_DOWN, "right", 10, 20);
    ASSERT_EQ(script.executed.size(), 1u);
    EXPECT_EQ(script.executed[0], "if (onMouseDown!=undefined) onMouseDown(10, 20, \"right\");");
    EXPECT_EQ(scene.calls, std::vector<std::string>{"mouse 10 20 1"});
    EXPECT_TRUE(quitRequested);

    quitRequested = false;
    route(EVENT_MOUSE_UP, "right", -5, 7);
    ASSERT_EQ(script.executed.size(), 2u);
    EXPECT_EQ(script.executed[1], "if (onMouseUp!=undefined) onMouseUp(-5, 7, \"right\");");
    EXPECT_EQ(scene.calls.back(), "mouse -5 7 -1");
    EXPECT_TRUE(quitRequested);
}

TEST_F(InputRoutingTest, SixthMouseMoveEndsTheRun) {
    for (int i = 1; i <= 5; ++i) {
        route(EVENT_MOUSE_MOVE, "", i, 2 * i);
        EXPECT_FALSE(quitRequested) << "after move " << i;
    }
    EXPECT_EQ(script.executed.back(), "if (onMouseMove!=undefined) onMouseMove(5, 10);");
    EXPECT_EQ(scene.calls.back(), "mouse 5 10 0");
    // The count is kept across frames and never reset.
    route(EVENT_KEY, "q");
    route(EVENT_MOUSE_MOVE, "", 6, 12);
    EXPECT_TRUE(quitRequested);
    EXPECT_EQ(mouseMoveCount, 6);
    EXPECT_EQ(script.executed.back(), "if (onMouseMove!=undefined) onMouseMove(6, 12);");
}

TEST_F(InputRoutingTest, InAHostsWindowInputReachesScriptsAndScenesButEndsNothing) {
    targets.inputEndsRun = false;
    route(EVENT_MOUSE_DOWN, "right", 31, 17);
    route(EVENT_MOUSE_UP, "right", 33, 19);
    for (int i = 1; i <= 9; ++i)
        route(EVENT_MOUSE_MOVE, "", 3 * i, 50 - i);
    EXPECT_FALSE(quitRequested);
    EXPECT_EQ(mouseMoveCount, 9);
    EXPECT_EQ(script.executed[0], "if (onMouseDown!=undefined) onMouseDown(31, 17, \"right\");");
    EXPECT_EQ(scene.calls[1], "mouse 33 19 -1");
    EXPECT_EQ(scene.calls.back(), "mouse 27 41 0");
    // The host's own quit request (a signal, a closed window) still ends it.
    route(EVENT_QUIT);
    EXPECT_TRUE(quitRequested);
}

TEST_F(InputRoutingTest, DoubleClicksAndUnknownKindsAreIgnored) {
    route(EVENT_DOUBLE_CLICK, "right", 1, 1);
    route(7, "x", 1, 1);
    route(42);
    EXPECT_FALSE(quitRequested);
    EXPECT_TRUE(script.executed.empty());
    EXPECT_TRUE(scene.calls.empty());
}

TEST_F(InputRoutingTest, DrainRoutesEveryQueuedEventInOrder) {
    window.queueEvent(EVENT_KEY, "h", 0, 0);
    window.queueEvent(EVENT_MOUSE_MOVE, "", 4, 5);
    window.queueEvent(EVENT_KEY, "i", 0, 0);
    drainWindowEvents(targets);
    EXPECT_EQ(scene.calls, (std::vector<std::string>{"key 104", "mouse 4 5 0", "key 105"}));
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

}  // namespace
