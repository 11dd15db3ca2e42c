#include "app/x11Host.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace {

int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

// A busy X server now and then refuses a connection; ask again before
// giving up, as the window does.
Display* openDisplay() {
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        SDL_Delay(50 * attempt);
    }
    return nullptr;
}

}  // namespace

uint32_t x11RootWindow() {
    Display* display = openDisplay();
    if (!display) return 0;
    uint32_t root = static_cast<uint32_t>(RootWindow(display, DefaultScreen(display)));
    XCloseDisplay(display);
    return root;
}

bool x11WindowExists(uint32_t id) {
    Display* display = openDisplay();
    if (!display) return false;
    XSync(display, False);
    int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(ignoreError);
    XWindowAttributes attributes;
    bool exists = XGetWindowAttributes(display, static_cast<Window>(id), &attributes) != 0;
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return exists;
}

void x11WatchStructure(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XSelectInput(info.info.x11.display, info.info.x11.window, StructureNotifyMask);
    XFlush(info.info.x11.display);
}
