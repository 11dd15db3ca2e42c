#include "app/glWin.h"

#include <SDL_opengl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/log.h"
#include "app/x11Host.h"

CGLWin* CGLWin::receiver_ = nullptr;

namespace {

bool showPlatformBox(CGLWin::BoxKind kind, const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    if (kind != CGLWin::BoxKind::Question) {
        Uint32 flags =
            kind == CGLWin::BoxKind::Error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_WARNING;
        SDL_ShowSimpleMessageBox(flags, title.c_str(), text.c_str(), nullptr);
        return true;
    }
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
    };
    SDL_MessageBoxData box = {
        SDL_MESSAGEBOX_WARNING, nullptr, title.c_str(), text.c_str(), 2, buttons, nullptr};
    int chosen = 1;
    // When no box can be shown at all, going on windowed is the kinder answer.
    if (SDL_ShowMessageBox(&box, &chosen) != 0) return true;
    return chosen == 1;
}

// A fully transparent 32 x 32 cursor with its hot spot where the arrow's was.
SDL_Cursor* createBlankCursor() {
    static const Uint8 bits[32 * 32 / 8] = {};
    return SDL_CreateCursor(bits, bits, 32, 32, 19, 2);
}

bool displayModeExists(int width, int height) {
    SDL_DisplayMode wanted = {0, width, height, 0, nullptr};
    SDL_DisplayMode closest;
    if (!SDL_GetClosestDisplayMode(0, &wanted, &closest)) return false;
    return closest.w == width && closest.h == height;
}

bool headlessDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

void setContextAttributes(int colourBits) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    int channel = colourBits >= 24 ? 8 : 5;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
}

}  // namespace

CGLWin::CGLWin() : boxes_(showPlatformBox) {}

CGLWin::~CGLWin() {
    destroy();
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool CGLWin::ensureVideo() {
    if (videoReady_) return true;
    // A close request must come back to us as an event, not as a second quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A busy X server now and then refuses a connection, and SDL then quietly
    // falls back to a driver that draws nowhere; ask again before settling.
    for (int attempt = 1;; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            Log(LOG_WARNING, "CGLWin: SDL video unavailable: %s\n", SDL_GetError());
            return false;
        }
        if (!headlessDriver() || attempt == 5 || SDL_getenv("SDL_VIDEODRIVER")) break;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Delay(50 * attempt);
    }
    videoReady_ = true;
    return true;
}

bool CGLWin::displayAvailable() {
    return ensureVideo() && !headlessDriver();
}

void CGLWin::logStep(const char* step) {
    Log(LOG_INFO, "GLWnd %s %s\n", title.c_str(), step);
}

bool CGLWin::fail(const char* text) {
    Log(LOG_INFO, "CGLWin: %s (%s)\n", text, SDL_GetError());
    destroy();
    // Nobody looks at a box over a screen locker or behind a render job.
    if (placement_ == Placement::Own)
        boxes_(BoxKind::Warning, "ERROR", text);
    else
        std::fprintf(stderr, "ERROR: %s\n", text);
    return false;
}

// True to go on windowed; false when the user declined and creation must fail.
bool CGLWin::askFullScreenFallback() {
    if (boxes_(BoxKind::Question, title,
               "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed "
               "Mode Instead?")) {
        fullscreen = false;
        return true;
    }
    boxes_(BoxKind::Error, "ERROR", "Program Will Now Close.");
    return false;
}

bool CGLWin::pixelFormatSuitable() {
    int doubleBuffered = 0, depthBits = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depthBits);
    return doubleBuffered == 1 && depthBits >= 16;
}

void CGLWin::useHostWindow(uint32_t id) {
    placement_ = Placement::Host;
    hostWindow_ = id;
}

void CGLWin::useHiddenWindow() {
    placement_ = Placement::Hidden;
}

bool CGLWin::create() {
    if (window_) return true;
    if (!ensureVideo()) return fail("Window Creation Error.");
    if (placement_ == Placement::Host) return createInHost();
    if (placement_ == Placement::Hidden) {
        fullscreen = false;
        showOnCreate = false;
    }
    if (!showSystemCursor && placement_ == Placement::Own) {
        blankCursor_ = createBlankCursor();
        if (blankCursor_) SDL_SetCursor(blankCursor_);
    }
    bool switchMode = false;
    if (fullscreen && changeDisplayMode) {
        switchMode = displayModeExists(width, height);
        if (!switchMode && !askFullScreenFallback()) return false;
    }
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (fullscreen) {
        flags |= switchMode ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (showOnCreate) cursorHidden_ = SDL_ShowCursor(SDL_DISABLE) >= 0;
    } else {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    Log(LOG_INFO, "Original WindowRect %d,%d %d,%d\n", left, top, left + width, top + height);

    setContextAttributes(colourBits);
    window_ = SDL_CreateWindow(title.c_str(), left, top, width, height, flags);
    if (!window_) return fail("Window Creation Error.");
    int borderTop = 0, borderLeft = 0, borderBottom = 0, borderRight = 0;
    SDL_GetWindowBordersSize(window_, &borderTop, &borderLeft, &borderBottom, &borderRight);
    Log(LOG_INFO, "WindowRect adjusted to %d,%d %d,%d\n", left - borderLeft, top - borderTop,
        left + width + borderRight, top + height + borderBottom);

    if (!createContext()) return false;
    if (!pixelFormatSuitable()) return fail("Can't Find A Suitable PixelFormat.");
    displayChanged = switchMode;

    if (showOnCreate) {
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        if (takeFocus) SDL_SetWindowInputFocus(window_);
        shown = true;
    }
    receiver_ = this;
    return true;
}

bool CGLWin::createContext() {
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return fail("Can't Create A GL Rendering Context.");
    // A context joins the share group only when it is made, so the upload
    // context comes now; without one the textures are uploaded on this thread.
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
    if (SDL_GL_MakeCurrent(window_, context_) == 0) uploadContext_ = SDL_GL_CreateContext(window_);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    if (!uploadContext_) Log(LOG_INFO, "CGLWin: No shared upload context: %s\n", SDL_GetError());
    if (SDL_GL_MakeCurrent(window_, context_) != 0)
        return fail("Can't Activate The GL Rendering Context.");
    return true;
}

bool CGLWin::makeUploadContextCurrent(bool on) {
    if (!uploadContext_) return false;
    return SDL_GL_MakeCurrent(window_, on ? uploadContext_ : nullptr) == 0;
}

// The host made the window with a visual of its choosing; the context is
// made for that visual, and a host that gave one without double buffering or
// depth still gets pictures, only perhaps with flicker.
bool CGLWin::createInHost() {
    uint32_t id = hostWindow_ ? hostWindow_ : x11RootWindow();
    if (!id || !x11WindowExists(id)) {
        Log(LOG_WARNING, "CGLWin: there is no X window 0x%lx to draw in\n",
            static_cast<unsigned long>(id));
        return fail("Window Creation Error.");
    }
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    setContextAttributes(colourBits);
    window_ = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
    if (!window_) return fail("Window Creation Error.");
    fullscreen = false;
    SDL_GetWindowPosition(window_, &left, &top);
    SDL_GetWindowSize(window_, &width, &height);
    Log(LOG_INFO, "Drawing in the host's window 0x%lx of %d x %d\n", static_cast<unsigned long>(id),
        width, height);
    x11WatchStructure(window_);
    if (!createContext()) return false;
    if (!pixelFormatSuitable())
        Log(LOG_WARNING, "CGLWin: the host's window has no double buffer or depth buffer\n");
    shown = true;
    receiver_ = this;
    return true;
}

void CGLWin::destroy() {
    if (!window_ && !context_ && !blankCursor_) return;
    logStep("Remove internal message handler");
    if (receiver_ == this) receiver_ = nullptr;
    if (fullscreen) {
        logStep("Switch fullscreen");
        if (displayChanged && window_) SDL_SetWindowFullscreen(window_, 0);
        displayChanged = false;
    }
    if (cursorHidden_) SDL_ShowCursor(SDL_ENABLE);
    cursorHidden_ = false;
    if (blankCursor_) {
        SDL_SetCursor(SDL_GetDefaultCursor());
        SDL_FreeCursor(blankCursor_);
        blankCursor_ = nullptr;
    }
    if (context_) {
        logStep("Release DC and RC contexts");
        if (SDL_GL_MakeCurrent(window_, nullptr) != 0)
            Log(LOG_WARNING, "CGLWin: Release Of DC And RC Failed\n");
        logStep("Delete RC");
        if (uploadContext_) SDL_GL_DeleteContext(uploadContext_);
        uploadContext_ = nullptr;
        SDL_GL_DeleteContext(context_);
        context_ = nullptr;
    }
    // The device context is the window's own under SDL; it goes with the window.
    logStep("Release DC");
    if (window_) {
        logStep("Destroy Window");
        SDL_DestroyWindow(window_);
        window_ = nullptr;
    }
    logStep("Unregister class");
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoReady_ = false;
    shown = false;
    logStep("Window Killed.");
}

void CGLWin::makeCurrent() {
    if (window_ && context_) SDL_GL_MakeCurrent(window_, context_);
}

void CGLWin::processMessage() {
    if (!videoReady_) return;
    SDL_Event event;
    if (SDL_PollEvent(&event)) applyTranslation(translateSdlEvent(event));
}

void CGLWin::applyTranslation(const SdlTranslation& translation) {
    if (translation.moved) {
        left = translation.left;
        top = translation.top;
    }
    if (translation.resized) {
        width = translation.width;
        height = translation.height;
        if (window_) SDL_GetWindowPosition(window_, &left, &top);
        if (context_) glViewport(0, 0, width, std::max(height, 1));
    }
    if (translation.closeRequested) {
        SDL_Event quit = {};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
    for (const WindowEvent& event : translation.events)
        queueEvent(event.type, event.text, event.x, event.y);
}

void CGLWin::swapBuffers() {
    if (shown && window_) SDL_GL_SwapWindow(window_);
}

void CGLWin::setPosition(int x, int y, int w, int h) {
    if (placement_ != Placement::Own) return;
    if (x == left && y == top && w == width && h == height) return;
    if (window_) {
        SDL_SetWindowPosition(window_, x, y);
        SDL_SetWindowSize(window_, w, h);
        SDL_ShowWindow(window_);
        shown = true;
    }
    CWindowBase::setPosition(x, y, w, h);
}

void CGLWin::setFullScreen(bool on) {
    if (placement_ != Placement::Own || on == fullscreen) return;
    fullscreen = on;
    if (!window_) return;
    if (!on && (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN))
        SDL_SetWindowFullscreen(window_, 0);
    SDL_SetWindowBordered(window_, on ? SDL_FALSE : SDL_TRUE);
    SDL_ShowWindow(window_);
    shown = true;
}

void CGLWin::show(bool on) {
    if (placement_ != Placement::Own) return;
    if (window_) {
        if (on)
            SDL_ShowWindow(window_);
        else
            SDL_HideWindow(window_);
    }
    shown = on;
}

MonitorRect CGLWin::monitorRect(int index) {
    MonitorRect rect;
    if (!ensureVideo()) return rect;
    int count = SDL_GetNumVideoDisplays();
    if (index >= count) return rect;
    SDL_Rect bounds;
    if (index >= 0) {
        if (SDL_GetDisplayBounds(index, &bounds) == 0)
            rect = {bounds.x, bounds.y, bounds.w, bounds.h};
        return rect;
    }
    SDL_Rect all = {0, 0, 0, 0};
    for (int i = 0; i < count; ++i)
        if (SDL_GetDisplayBounds(i, &bounds) == 0) SDL_UnionRect(&all, &bounds, &all);
    return {all.x, all.y, all.w, all.h};
}
