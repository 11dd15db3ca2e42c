#include "app/windowEventSdl.h"

namespace {

// Scripts have always been told "right", whichever button it was.
const char* const kButtonText = "right";

bool isReportedButton(Uint8 button) {
    return button == SDL_BUTTON_LEFT || button == SDL_BUTTON_MIDDLE || button == SDL_BUTTON_RIGHT;
}

void translateWindowEvent(const SDL_WindowEvent& window, SdlTranslation& out) {
    switch (window.event) {
        case SDL_WINDOWEVENT_MOVED:
            out.moved = true;
            out.left = window.data1;
            out.top = window.data2;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            out.resized = true;
            out.width = window.data1;
            out.height = window.data2;
            out.events.push_back({EVENT_RESIZE, "", window.data1, window.data2});
            break;
        case SDL_WINDOWEVENT_CLOSE:
            out.closeRequested = true;
            break;
        default:
            break;
    }
}

// Only printable characters reach scripts and scenes, one event each; the
// bytes of multi-byte UTF-8 sequences are all above that range.
void translateText(const char* text, SdlTranslation& out) {
    for (const char* c = text; *c; ++c) {
        unsigned char code = static_cast<unsigned char>(*c);
        if (code >= 32 && code <= 127) out.events.push_back({EVENT_KEY, std::string(1, *c), 0, 0});
    }
}

void translateButton(const SDL_MouseButtonEvent& button, int type, SdlTranslation& out) {
    if (!isReportedButton(button.button)) return;
    out.events.push_back({type, kButtonText, button.x, button.y});
    if (type == EVENT_MOUSE_DOWN && button.clicks == 2)
        out.events.push_back({EVENT_DOUBLE_CLICK, kButtonText, button.x, button.y});
}

}  // namespace

SdlTranslation translateSdlEvent(const SDL_Event& event) {
    SdlTranslation out;
    switch (event.type) {
        case SDL_QUIT:
            out.events.push_back({EVENT_QUIT, "", 0, 0});
            break;
        case SDL_WINDOWEVENT:
            translateWindowEvent(event.window, out);
            break;
        case SDL_TEXTINPUT:
            translateText(event.text.text, out);
            break;
        case SDL_MOUSEMOTION:
            out.events.push_back({EVENT_MOUSE_MOVE, "", event.motion.x, event.motion.y});
            break;
        case SDL_MOUSEBUTTONDOWN:
            translateButton(event.button, EVENT_MOUSE_DOWN, out);
            break;
        case SDL_MOUSEBUTTONUP:
            translateButton(event.button, EVENT_MOUSE_UP, out);
            break;
        default:
            break;
    }
    return out;
}
