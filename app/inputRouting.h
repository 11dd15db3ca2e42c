// Routes the window's queued events to the control script, to the input scene
// and to the end of the run. A screensaver ends on any mouse button and on
// sustained movement: the sixth mouse-move event since start. Inside a
// screensaver host's window the host owns input and decides when the run
// ends, so there input still reaches scripts and scenes but ends nothing.
//
// The script host and the scene runtime are reached through the two small
// interfaces below, so that routing is tested with recording fakes.
#pragma once

#include <string>

#include "app/window.h"

class InputScript {
public:
    virtual ~InputScript() = default;
    // Runs one piece of JavaScript; the texts passed are guarded calls such as
    // "if (onMouseMove!=undefined) onMouseMove(3, 4);", so missing handlers are fine.
    virtual void execute(const std::string& code) = 0;
};

// The scene named by the last render-list entry.
class InputScene {
public:
    virtual ~InputScene() = default;
    // False while the render list is empty; then nothing is sent.
    virtual bool hasInputScene() = 0;
    // "V keyEvent(I)" with the character code.
    virtual void keyEvent(int code) = 0;
    // "V mouseEvent(I,I,I)"; state 1 pressed, -1 released, 0 moved.
    virtual void mouseEvent(int x, int y, int state) = 0;
};

struct InputTargets {
    CWindowBase& window;
    InputScript& script;
    InputScene& scene;
    bool& quitRequested;
    int& mouseMoveCount;       // never reset: counts from the start of the run
    bool inputEndsRun = true;  // false inside a screensaver host's window
};

constexpr int kMouseMovesBeforeQuit = 5;

void routeEvent(const WindowEvent& event, InputTargets& targets);

// Routes every queued event until the window reports an empty queue.
void drainWindowEvents(InputTargets& targets);
