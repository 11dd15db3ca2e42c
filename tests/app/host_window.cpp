#include "tests/app/host_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <initializer_list>
#include <thread>

namespace {

long channel(unsigned long pixel, unsigned long mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return static_cast<long>(((pixel >> shift) & mask) * 255 / mask);
}

}  // namespace

struct HostWindow::State {
    Display* display = nullptr;
    Window window = 0;
};

HostWindow::HostWindow(int left, int top, int width, int height) : state_(new State) {
    // A busy X server now and then refuses a connection; ask again.
    for (int attempt = 1; attempt <= 5 && !state_->display; attempt++) {
        state_->display = XOpenDisplay(nullptr);
        if (!state_->display) std::this_thread::sleep_for(std::chrono::milliseconds(50 * attempt));
    }
    if (!state_->display) return;
    Display* display = state_->display;
    XSetWindowAttributes attributes = {};
    // No window manager moves it, and other tests' windows stay below it.
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    state_->window =
        XCreateWindow(display, DefaultRootWindow(display), left, top, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, state_->window);
    XSync(display, False);
}

HostWindow::~HostWindow() {
    if (!state_->display) return;
    if (state_->window) XDestroyWindow(state_->display, state_->window);
    XCloseDisplay(state_->display);
}

bool HostWindow::valid() const {
    return state_->display && state_->window;
}

uint32_t HostWindow::id() const {
    return static_cast<uint32_t>(state_->window);
}

void HostWindow::resize(int width, int height) {
    XResizeWindow(state_->display, state_->window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XSync(state_->display, False);
}

long HostWindow::pixel(int x, int y) {
    Display* display = state_->display;
    XRaiseWindow(display, state_->window);
    XSync(display, False);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, state_->window, &attributes) ||
        attributes.map_state != IsViewable || x >= attributes.width || y >= attributes.height)
        return -1;
    XImage* image = XGetImage(display, state_->window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return -1;
    unsigned long value = XGetPixel(image, 0, 0);
    long rgb = channel(value, image->red_mask) << 16 | channel(value, image->green_mask) << 8 |
               channel(value, image->blue_mask);
    XDestroyImage(image);
    return rgb;
}

void HostWindow::click(int x, int y) {
    Display* display = state_->display;
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent event = {};
        event.xbutton.type = type;
        event.xbutton.display = display;
        event.xbutton.window = state_->window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = Button1;
        event.xbutton.same_screen = True;
        XSendEvent(display, state_->window, False,
                   type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
    XSync(display, False);
}
