// What the window needs from X11 itself to draw in a window that a
// screensaver host made. Kept apart from the window code because Xlib's
// macros (None, Bool, Status...) collide with ordinary names.
#pragma once

#include <SDL.h>

#include <cstdint>

// The root window of the default screen of $DISPLAY, or 0 when the display
// cannot be opened.
uint32_t x11RootWindow();

// Whether `id` names an existing window on $DISPLAY. Asked on a connection of
// our own with a quiet error handler, so that a wrong id is an answer here
// rather than an X error that ends the process inside SDL.
bool x11WindowExists(uint32_t id);

// SDL selects no events on a window it did not create; this asks the X server
// for the window's structure events, so that SDL reports its size changes.
// Structure events may be selected by any number of clients, unlike button
// presses, which the host may hold.
void x11WatchStructure(SDL_Window* window);
