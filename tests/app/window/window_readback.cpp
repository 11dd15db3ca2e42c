#include "tests/app/window/window_readback.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

long shownPixel(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return -1;
    Display* display = info.info.x11.display;
    XWindowAttributes attributes;
    XSync(display, False);
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes) ||
        attributes.map_state != IsViewable)
        return -1;
    XImage* image = XGetImage(display, info.info.x11.window, attributes.width / 2,
                              attributes.height / 2, 1, 1, AllPlanes, ZPixmap);
    if (!image) return -1;
    unsigned long pixel = XGetPixel(image, 0, 0);
    long rgb = channel(pixel, image->red_mask) << 16 | channel(pixel, image->green_mask) << 8 |
               channel(pixel, image->blue_mask);
    XDestroyImage(image);
    return rgb;
}
