#include <gtest/gtest.h>

#include <cstring>

#include "app/windowEventSdl.h"

namespace {

SDL_Event textEvent(const char* text) {
    SDL_Event event = {};
    event.type = SDL_TEXTINPUT;
    std::strncpy(event.text.text, text, sizeof event.text.text - 1);
    return event;
}

SDL_Event buttonEvent(Uint32 type, Uint8 button, int x, int y, Uint8 clicks = 1) {
    SDL_Event event = {};
    event.type = type;
    event.button.button = button;
    event.button.x = x;
    event.button.y = y;
    event.button.clicks = clicks;
    event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    return event;
}

SDL_Event windowEvent(Uint8 kind, int data1 = 0, int data2 = 0) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = kind;
    event.window.data1 = data1;
    event.window.data2 = data2;
    return event;
}

TEST(SdlTranslation, QuitBecomesTypeOneWithEmptyText) {
    SDL_Event event = {};
    event.type = SDL_QUIT;
    SdlTranslation out = translateSdlEvent(event);
    ASSERT_EQ(out.events.size(), 1u);
    EXPECT_EQ(out.events[0].type, EVENT_QUIT);
    EXPECT_EQ(out.events[0].text, "");
}

TEST(SdlTranslation, OnlyPrintableCharactersBecomeKeyEvents) {
    SdlTranslation out = translateSdlEvent(textEvent(" a~"));
    ASSERT_EQ(out.events.size(), 3u);
    EXPECT_EQ(out.events[0].text, " ");
    EXPECT_EQ(out.events[1].text, "a");
    EXPECT_EQ(out.events[2].text, "~");
    for (const WindowEvent& event : out.events)
        EXPECT_EQ(event.type, EVENT_KEY);

    EXPECT_TRUE(translateSdlEvent(textEvent("\t")).events.empty());
    EXPECT_TRUE(translateSdlEvent(textEvent("\x1f")).events.empty());
    // "é" in UTF-8: both bytes lie above 127.
    EXPECT_TRUE(translateSdlEvent(textEvent("\xc3\xa9")).events.empty());
    SdlTranslation mixed = translateSdlEvent(textEvent("x\xc3\xa9y"));
    ASSERT_EQ(mixed.events.size(), 2u);
    EXPECT_EQ(mixed.events[1].text, "y");
}

TEST(SdlTranslation, KeyPressesWithoutTextQueueNothing) {
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_a;
    EXPECT_TRUE(translateSdlEvent(event).events.empty());
}

TEST(SdlTranslation, EveryButtonReportsRight) {
    for (Uint8 button : {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_RIGHT}) {
        SdlTranslation down = translateSdlEvent(buttonEvent(SDL_MOUSEBUTTONDOWN, button, 12, 34));
        SdlTranslation up = translateSdlEvent(buttonEvent(SDL_MOUSEBUTTONUP, button, 56, 78));
        ASSERT_EQ(down.events.size(), 1u);
        ASSERT_EQ(up.events.size(), 1u);
        EXPECT_EQ(down.events[0].type, EVENT_MOUSE_DOWN);
        EXPECT_EQ(down.events[0].text, "right");
        EXPECT_EQ(down.events[0].x, 12);
        EXPECT_EQ(down.events[0].y, 34);
        EXPECT_EQ(up.events[0].type, EVENT_MOUSE_UP);
        EXPECT_EQ(up.events[0].text, "right");
        EXPECT_EQ(up.events[0].x, 56);
        EXPECT_EQ(up.events[0].y, 78);
    }
    // The side buttons were never reported.
    EXPECT_TRUE(
        translateSdlEvent(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 1, 1)).events.empty());
}

TEST(SdlTranslation, DoubleClickQueuesEightAfterThePress) {
    SdlTranslation out =
        translateSdlEvent(buttonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 6, 2));
    ASSERT_EQ(out.events.size(), 2u);
    EXPECT_EQ(out.events[0].type, EVENT_MOUSE_DOWN);
    EXPECT_EQ(out.events[1].type, EVENT_DOUBLE_CLICK);
    EXPECT_EQ(out.events[1].text, "right");
    EXPECT_EQ(out.events[1].x, 5);
    EXPECT_EQ(out.events[1].y, 6);
    // The release of the second click is an ordinary release.
    SdlTranslation up = translateSdlEvent(buttonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 5, 6, 2));
    ASSERT_EQ(up.events.size(), 1u);
    EXPECT_EQ(up.events[0].type, EVENT_MOUSE_UP);
}

TEST(SdlTranslation, MotionCarriesClientCoordinates) {
    SDL_Event event = {};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = 300;
    event.motion.y = 7;
    event.motion.xrel = 99;
    SdlTranslation out = translateSdlEvent(event);
    ASSERT_EQ(out.events.size(), 1u);
    EXPECT_EQ(out.events[0].type, EVENT_MOUSE_MOVE);
    EXPECT_EQ(out.events[0].x, 300);
    EXPECT_EQ(out.events[0].y, 7);
}

TEST(SdlTranslation, WindowChanges) {
    SdlTranslation resized = translateSdlEvent(windowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600));
    EXPECT_TRUE(resized.resized);
    EXPECT_EQ(resized.width, 800);
    EXPECT_EQ(resized.height, 600);
    ASSERT_EQ(resized.events.size(), 1u);
    EXPECT_EQ(resized.events[0].type, EVENT_RESIZE);
    EXPECT_EQ(resized.events[0].x, 800);
    EXPECT_EQ(resized.events[0].y, 600);

    SdlTranslation moved = translateSdlEvent(windowEvent(SDL_WINDOWEVENT_MOVED, -20, 40));
    EXPECT_TRUE(moved.moved);
    EXPECT_FALSE(moved.resized);
    EXPECT_EQ(moved.left, -20);
    EXPECT_EQ(moved.top, 40);
    EXPECT_TRUE(moved.events.empty());

    // Closing comes back later as a quit, never as an event of its own.
    SdlTranslation close = translateSdlEvent(windowEvent(SDL_WINDOWEVENT_CLOSE));
    EXPECT_TRUE(close.closeRequested);
    EXPECT_TRUE(close.events.empty());

    SdlTranslation exposed = translateSdlEvent(windowEvent(SDL_WINDOWEVENT_EXPOSED));
    EXPECT_FALSE(exposed.closeRequested || exposed.moved || exposed.resized);
    EXPECT_TRUE(exposed.events.empty());
}

}  // namespace
