#include "tests/support/log_capture.h"

#include "app/log.h"

LogCapture::LogCapture() {
    logSetMirror([this](int level, const char* label, const char* text) {
        lines_.push_back({level, label, text});
    });
}

LogCapture::~LogCapture() {
    logSetMirror(nullptr);
}

bool LogCapture::contains(const std::string& fragment) const {
    return count(fragment) > 0;
}

bool LogCapture::contains(int level, const std::string& fragment) const {
    for (const auto& line : lines_)
        if (line.level == level && line.text.find(fragment) != std::string::npos) return true;
    return false;
}

size_t LogCapture::count(const std::string& fragment) const {
    size_t n = 0;
    for (const auto& line : lines_)
        if (line.text.find(fragment) != std::string::npos) ++n;
    return n;
}

std::string LogCapture::all() const {
    std::string out;
    for (const auto& line : lines_)
        out += std::to_string(line.level) + " " + line.text;
    return out;
}
