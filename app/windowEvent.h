// The input record that the window queues and the frame step drains. The
// kinds keep the numbering that scripts and scenes were written against.
#pragma once

#include <string>

enum WindowEventType {
    EVENT_NONE = 0,         // the queue is empty
    EVENT_QUIT = 1,         // the window was asked to close
    EVENT_RESIZE = 2,       // x, y = new client width and height
    EVENT_KEY = 3,          // text = the one printable character typed
    EVENT_MOUSE_DOWN = 4,   // x, y, text
    EVENT_MOUSE_UP = 5,     // x, y, text
    EVENT_MOUSE_MOVE = 6,   // x, y
    EVENT_DOUBLE_CLICK = 8  // queued after the press that completed it
};

struct WindowEvent {
    int type = EVENT_NONE;
    std::string text;
    int x = 0;
    int y = 0;
};
