#include "app/window.h"

void CWindowBase::setPosition(int x, int y, int w, int h) {
    left = x;
    top = y;
    width = w;
    height = h;
}

MonitorRect CWindowBase::monitorRect(int) {
    return MonitorRect{};
}

void CWindowBase::queueEvent(int type, const std::string& text, int x, int y) {
    WindowEvent& slot = ring_[writeIndex_];
    slot.type = type;
    slot.text = text;
    slot.x = x;
    slot.y = y;
    writeIndex_ = (writeIndex_ + 1) % kEventRingSize;
    // Equal indices mean "empty"; overtaking the reader would lose every
    // unread event at once, so give up only the oldest.
    if (writeIndex_ == readIndex_) readIndex_ = (readIndex_ + 1) % kEventRingSize;
}

WindowEvent CWindowBase::nextEvent() {
    if (readIndex_ == writeIndex_) return WindowEvent{};
    WindowEvent event = ring_[readIndex_];
    readIndex_ = (readIndex_ + 1) % kEventRingSize;
    return event;
}
