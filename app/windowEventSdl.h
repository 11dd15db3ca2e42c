// The translation of one SDL event into what the window does with it. It is a
// pure function so that the mapping can be checked with hand-made events and
// no display; `CGLWin` applies the result.
#pragma once

#include <SDL.h>

#include <vector>

#include "app/windowEvent.h"

struct SdlTranslation {
    std::vector<WindowEvent> events;  // to queue, in order
    bool closeRequested = false;      // post a quit, which returns as EVENT_QUIT
    bool moved = false;               // left and top changed
    int left = 0;
    int top = 0;
    bool resized = false;  // client size changed: new viewport and geometry
    int width = 0;
    int height = 0;
};

SdlTranslation translateSdlEvent(const SDL_Event& event);
