// The program's one top-level window with its OpenGL context, on SDL2. It asks
// for a compatibility-profile context (the renderer uses fixed-function
// matrices, client arrays and quads), double buffered with at least 16 depth
// bits, and turns SDL events into the window events of the base class.
//
// Instead of opening a window of its own it can draw in an X window that a
// screensaver host made (SDL's foreign windows with OpenGL): the host owns
// that window's place, size, cursor and input, so moving, restyling and
// showing do nothing, and the size follows the host's. For offline rendering
// it opens a hidden window that only carries the OpenGL context.
#pragma once

#include <SDL.h>

#include <cstdint>
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

    // Before create(): draw in the host's X window `id`, or in the root
    // window of the default screen when `id` is 0.
    void useHostWindow(uint32_t id);
    // Before create(): open a hidden window whatever the geometry and
    // full-screen settings say; it is never shown and never swapped.
    void useHiddenWindow();

    bool create() override;
    void destroy() override;
    void makeCurrent() override;
    void* renderingContext() override { return context_; }
    void* uploadContext() override { return uploadContext_; }
    bool makeUploadContextCurrent(bool on) override;
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
    enum class Placement { Own, Host, Hidden };

    bool createInHost();
    bool createContext();
    bool ensureVideo();
    bool askFullScreenFallback();
    bool fail(const char* text);
    bool pixelFormatSuitable();
    void applyTranslation(const SdlTranslation& translation);
    void logStep(const char* step);

    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    SDL_GLContext uploadContext_ = nullptr;
    SDL_Cursor* blankCursor_ = nullptr;
    bool videoReady_ = false;
    bool cursorHidden_ = false;
    Placement placement_ = Placement::Own;
    uint32_t hostWindow_ = 0;
    MessageBoxHandler boxes_;

    static CGLWin* receiver_;
};
