#include <gtest/gtest.h>

#include "app/window.h"

namespace {

TEST(WindowRing, EmptyRingAnswersTypeNoneWithEmptyText) {
    CWindowBase window;
    WindowEvent event = window.nextEvent();
    EXPECT_EQ(event.type, EVENT_NONE);
    EXPECT_EQ(event.text, "");
}

TEST(WindowRing, EventsComeBackInOrderAcrossTheWrap) {
    CWindowBase window;
    // Five events in, four out, many times over: the indices wrap repeatedly
    // while the backlog grows to 200.
    int nextIn = 0, nextOut = 0;
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 5; ++i, ++nextIn)
            window.queueEvent(EVENT_MOUSE_MOVE, "", nextIn, -nextIn);
        for (int i = 0; i < 4; ++i, ++nextOut) {
            WindowEvent event = window.nextEvent();
            ASSERT_EQ(event.type, EVENT_MOUSE_MOVE);
            ASSERT_EQ(event.x, nextOut);
            ASSERT_EQ(event.y, -nextOut);
        }
    }
    for (; nextOut < nextIn; ++nextOut)
        ASSERT_EQ(window.nextEvent().x, nextOut);
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

TEST(WindowRing, OverflowDropsOnlyTheOldest) {
    CWindowBase window;
    for (int i = 0; i < 300; ++i)
        window.queueEvent(EVENT_KEY, std::string(1, 'a' + i % 26), i, 0);
    for (int i = 300 - 255; i < 300; ++i) {
        WindowEvent event = window.nextEvent();
        ASSERT_EQ(event.type, EVENT_KEY) << i;
        ASSERT_EQ(event.x, i);
        ASSERT_EQ(event.text, std::string(1, 'a' + i % 26));
    }
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

TEST(WindowRing, ExactlyFullRingIsNotMistakenForEmpty) {
    CWindowBase window;
    for (int i = 0; i < CWindowBase::kEventRingSize; ++i)
        window.queueEvent(EVENT_MOUSE_UP, "right", i, i);
    WindowEvent first = window.nextEvent();
    EXPECT_EQ(first.type, EVENT_MOUSE_UP);
    EXPECT_EQ(first.x, 1);
}

TEST(WindowBase, OperationsWithoutAPlatformDoNothingHarmful) {
    CWindowBase window;
    EXPECT_TRUE(window.create());
    EXPECT_EQ(window.windowHandle(), nullptr);
    EXPECT_EQ(window.renderingContext(), nullptr);
    MonitorRect rect = window.monitorRect(0);
    EXPECT_EQ(rect.left | rect.top | rect.width | rect.height, 0);
    window.setPosition(10, 20, 300, 200);
    EXPECT_EQ(window.left, 10);
    EXPECT_EQ(window.top, 20);
    EXPECT_EQ(window.width, 300);
    EXPECT_EQ(window.height, 200);
    window.processMessage();
    EXPECT_EQ(window.nextEvent().type, EVENT_NONE);
}

}  // namespace
