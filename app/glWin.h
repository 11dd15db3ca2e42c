// The program's one top-level window with its OpenGL context, on SDL2. It asks
// for a compatibility-profile context (the renderer uses fixed-function
// matrices, client arrays and quads), double buffered with at least 16 depth
// bits, and turns SDL events into the window events of the base class.
#pragma once

#include <SDL.h>

#include <functional>
#include <string>

#include "app/window.h"
#include "app/windowEventSdl.h"

class CGLWin : public CWindowBase {
public:
    enum class BoxKind { Warning, Error, Question };
    // Shows one message box; for a question, true means "yes". The default
    // prints the text on stderr and shows an SDL message box.
    using MessageBoxHandler =
        std::function<bool(BoxKind kind, const std::string& title, const std::string& text)>;

    CGLWin();
    ~CGLWin() override;
    CGLWin(const CGLWin&) = delete;
    CGLWin& operator=(const CGLWin&) = delete;

    bool create() override;
    void destroy() override;
    void makeCurrent() override;
    void* renderingContext() override { return context_; }
    void processMessage() override;
    void swapBuffers() override;
    void* windowHandle() override { return window_; }
    // SDL has no separate device context; the window stands for it.
    void* deviceContext() override { return window_; }
    void setPosition(int x, int y, int w, int h) override;
    void setFullScreen(bool on) override;
    void show(bool on) override;
    MonitorRect monitorRect(int index) override;

    // Whether SDL reaches a display that OpenGL can draw on; false when it
    // could only fall back to a driver that draws nowhere.
    bool displayAvailable();

    void setMessageBoxHandler(MessageBoxHandler handler) { boxes_ = std::move(handler); }
    // The open window that receives events, or null.
    static CGLWin* receiver() { return receiver_; }

private:
    bool ensureVideo();
    bool askFullScreenFallback();
    bool fail(const char* text);
    bool pixelFormatSuitable();
    void applyTranslation(const SdlTranslation& translation);
    void logStep(const char* step);

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    SDL_Cursor* blankCursor_ = nullptr;
    bool videoReady_ = false;
    bool cursorHidden_ = false;
    MessageBoxHandler boxes_;

    static CGLWin* receiver_;
};
