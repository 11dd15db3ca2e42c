#include <SDL.h>
#include <SDL_opengl.h>

#include <cstring>

#include "tests/app/window/display_fixture.h"

namespace {

class GLEventsTest : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        prepare(window);
        window.width = 200;
        window.height = 150;
        ASSERT_TRUE(window.create());
        // Whatever the X server said while the window appeared is not ours.
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        id = SDL_GetWindowID(static_cast<SDL_Window*>(window.windowHandle()));
    }

    // Processes messages until SDL's queue is empty; the X server may have
    // slipped events of its own in between ours.
    void processAll() {
        while (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
            window.processMessage();
    }

    void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

    void pushButton(Uint32 type, Uint8 button, int x, int y, Uint8 clicks = 1) {
        SDL_Event event = {};
        event.type = type;
        event.button.windowID = id;
        event.button.button = button;
        event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.button.clicks = clicks;
        event.button.x = x;
        event.button.y = y;
        push(event);
    }

    void pushWindowEvent(Uint8 kind, int data1 = 0, int data2 = 0) {
        SDL_Event event = {};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = id;
        event.window.event = kind;
        event.window.data1 = data1;
        event.window.data2 = data2;
        push(event);
    }

    CGLWin window;
    Uint32 id = 0;
};

TEST_F(GLEventsTest, PushedEventsArriveOneMessageAtATime) {
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = id;
    motion.motion.x = 17;
    motion.motion.y = 23;
    push(motion);
    SDL_Event text = {};
    text.type = SDL_TEXTINPUT;
    text.text.windowID = id;
    std::strcpy(text.text.text, "k");
    push(text);

    window.processMessage();
    WindowEvent first = window.nextEvent();
    EXPECT_EQ(first.type, EVENT_MOUSE_MOVE);
    EXPECT_EQ(first.x, 17);
    EXPECT_EQ(first.y, 23);
    // Only one message was taken, so the key is still pending.
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);

    window.processMessage();
    WindowEvent second = window.nextEvent();
    EXPECT_EQ(second.type, EVENT_KEY);
    EXPECT_EQ(second.text, "k");
}

TEST_F(GLEventsTest, ButtonsAndDoubleClick) {
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 3, 4);
    pushButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 3, 4);
    pushButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 6, 2);
    for (int i = 0; i < 3; ++i)
        window.processMessage();
    int expected[] = {EVENT_MOUSE_DOWN, EVENT_MOUSE_UP, EVENT_MOUSE_DOWN, EVENT_DOUBLE_CLICK};
    for (int type : expected) {
        WindowEvent event = window.nextEvent();
        EXPECT_EQ(event.type, type);
        EXPECT_EQ(event.text, "right");
    }
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

TEST_F(GLEventsTest, CloseRequestComesBackAsQuit) {
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    window.processMessage();
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
    processAll();
    WindowEvent quit = window.nextEvent();
    EXPECT_EQ(quit.type, EVENT_QUIT);
    EXPECT_EQ(quit.text, "");
}

TEST_F(GLEventsTest, ResizeSetsViewportGeometryAndQueuesTheSize) {
    pushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 180, 120);
    window.processMessage();
    WindowEvent resized = window.nextEvent();
    EXPECT_EQ(resized.type, EVENT_RESIZE);
    EXPECT_EQ(resized.x, 180);
    EXPECT_EQ(resized.y, 120);
    EXPECT_EQ(window.width, 180);
    EXPECT_EQ(window.height, 120);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 180);
    EXPECT_EQ(viewport[3], 120);

    // A window squashed to nothing keeps a viewport one pixel high.
    pushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 180, 0);
    processAll();
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);
    EXPECT_EQ(window.nextEvent().y, 0);
}

TEST_F(GLEventsTest, MoveStoresThePosition) {
    pushWindowEvent(SDL_WINDOWEVENT_MOVED, 70, 80);
    window.processMessage();
    EXPECT_EQ(window.left, 70);
    EXPECT_EQ(window.top, 80);
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

TEST_F(GLEventsTest, RingKeepsTheNewestWhenNotDrained) {
    for (int i = 0; i < 260; ++i) {
        SDL_Event motion = {};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.windowID = id;
        motion.motion.x = i;
        push(motion);
    }
    processAll();
    WindowEvent oldest = window.nextEvent();
    EXPECT_EQ(oldest.type, EVENT_MOUSE_MOVE);
    EXPECT_EQ(oldest.x, 260 - 255);
}

}  // namespace
