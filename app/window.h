// The window as the visualiser sees it. The base class keeps the geometry,
// the options and the event ring, and its platform operations do nothing
// (create succeeds, queries answer 0 or null, monitor rectangles are zeros),
// so that the frame step, input routing and scripts can be exercised without
// a display. `CGLWin` is the SDL2 implementation.
#pragma once

#include <string>

#include "app/windowEvent.h"

struct MonitorRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class CWindowBase {
public:
    static constexpr int kEventRingSize = 256;

    virtual ~CWindowBase() = default;

    // Opens the window and makes its OpenGL context current; false on failure.
    virtual bool create() { return true; }
    // Closes the window and releases the context; safe to call when not open.
    virtual void destroy() {}
    virtual void makeCurrent() {}
    virtual void* renderingContext() { return nullptr; }
    // A second OpenGL context sharing the rendering context's textures, for
    // uploads on another thread; null when none could be made. It goes with
    // the window, so whoever made it current must release it first.
    virtual void* uploadContext() { return nullptr; }
    // Makes the upload context current on the calling thread (`on`), or
    // releases it there; false on failure.
    virtual bool makeUploadContextCurrent(bool /*on*/) { return false; }
    // Takes at most one pending platform message without waiting and turns it
    // into queued events.
    virtual void processMessage() {}
    // Presents the back buffer; does nothing while the window is hidden.
    virtual void swapBuffers() {}
    virtual void* windowHandle() { return nullptr; }
    virtual void* deviceContext() { return nullptr; }
    virtual void setShowOnCreate(bool show) { showOnCreate = show; }
    // Moves, sizes and shows the window; nothing happens when it already sits
    // at exactly these values.
    virtual void setPosition(int x, int y, int w, int h);
    virtual void setFullScreen(bool on) { fullscreen = on; }
    virtual bool isShown() { return shown; }
    virtual void show(bool on) { shown = on; }
    // index < 0: the union of all displays; otherwise that display, or all
    // zeros when there is no such display.
    virtual MonitorRect monitorRect(int index);

    // Appends an event to the ring. When 255 events are already unread the
    // oldest is dropped, so a full ring never looks empty.
    void queueEvent(int type, const std::string& text, int x, int y);
    // The oldest unread event, or an event of type EVENT_NONE with empty text.
    WindowEvent nextEvent();

    int left = 0;
    int top = 0;
    int width = 640;
    int height = 480;
    bool fullscreen = false;
    std::string title = "Vortalis Visualizer";
    int colourBits = 32;
    bool changeDisplayMode = false;
    bool takeFocus = false;
    bool showSystemCursor = false;
    bool displayChanged = false;
    bool showOnCreate = true;
    bool shown = false;

private:
    WindowEvent ring_[kEventRingSize];
    int writeIndex_ = 0;
    int readIndex_ = 0;
};
