// An X window made by the test, as a screensaver host makes one for the
// program to draw in, read back through X itself. Kept apart because Xlib's
// macros collide with GoogleTest's names.
#pragma once

#include <cstdint>
#include <memory>

class HostWindow {
public:
    // A mapped, raised window of width x height at (left, top) on $DISPLAY;
    // valid() is false when the display cannot be opened.
    HostWindow(int left, int top, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool valid() const;
    uint32_t id() const;
    void resize(int width, int height);
    // The colour the X server shows at (x, y) as 0xRRGGBB, or -1.
    long pixel(int x, int y);
    // A press and release of button 1 at (x, y), delivered to every client
    // that selected button events on the window.
    void click(int x, int y);

private:
    struct State;
    std::unique_ptr<State> state_;
};
