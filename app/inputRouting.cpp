#include "app/inputRouting.h"

namespace {

// Key and button texts end up inside a JavaScript string literal.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void routeKey(const WindowEvent& event, InputTargets& targets) {
    targets.script.execute("if (onKeyPress!=undefined) onKeyPress(" + quoted(event.text) + ");");
    if (event.text.size() == 1 && targets.scene.hasInputScene())
        targets.scene.keyEvent(static_cast<unsigned char>(event.text[0]));
}

void routeButton(const WindowEvent& event, InputTargets& targets) {
    bool pressed = event.type == EVENT_MOUSE_DOWN;
    std::string name = pressed ? "onMouseDown" : "onMouseUp";
    targets.script.execute("if (" + name + "!=undefined) " + name + "(" + std::to_string(event.x) +
                           ", " + std::to_string(event.y) + ", " + quoted(event.text) + ");");
    if (targets.scene.hasInputScene()) targets.scene.mouseEvent(event.x, event.y, pressed ? 1 : -1);
    if (targets.inputEndsRun) targets.quitRequested = true;
}

void routeMove(const WindowEvent& event, InputTargets& targets) {
    targets.script.execute("if (onMouseMove!=undefined) onMouseMove(" + std::to_string(event.x) +
                           ", " + std::to_string(event.y) + ");");
    if (targets.scene.hasInputScene()) targets.scene.mouseEvent(event.x, event.y, 0);
    if (++targets.mouseMoveCount > kMouseMovesBeforeQuit && targets.inputEndsRun)
        targets.quitRequested = true;
}

}  // namespace

void routeEvent(const WindowEvent& event, InputTargets& targets) {
    switch (event.type) {
        case EVENT_QUIT:
            targets.quitRequested = true;
            break;
        case EVENT_RESIZE:
            targets.window.width = event.x;
            targets.window.height = event.y;
            break;
        case EVENT_KEY:
            routeKey(event, targets);
            break;
        case EVENT_MOUSE_DOWN:
        case EVENT_MOUSE_UP:
            routeButton(event, targets);
            break;
        case EVENT_MOUSE_MOVE:
            routeMove(event, targets);
            break;
        default:
            break;
    }
}

void drainWindowEvents(InputTargets& targets) {
    for (WindowEvent event = targets.window.nextEvent(); event.type != EVENT_NONE;
         event = targets.window.nextEvent())
        routeEvent(event, targets);
}
