// Reads what the X server really shows in a window. Kept apart because Xlib's
// macros collide with GoogleTest's names.
#pragma once

#include <SDL.h>

// The colour at the centre of the window as 0xRRGGBB, or -1 when the window
// system cannot be asked (not X11, or the window is not mapped). Mesa's
// software path cannot read the front buffer back through GL, hence this.
long shownPixel(SDL_Window* window);
