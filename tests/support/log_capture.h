// Collects what the logger writes while a test runs, and routes log.txt into a
// temporary directory so that tests never touch a real one.
#pragma once

#include <string>
#include <vector>

struct CapturedLine {
    int level;
    std::string label;
    std::string text;
};

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<CapturedLine>& lines() const { return lines_; }
    // True when some captured text contains `fragment`.
    bool contains(const std::string& fragment) const;
    // True when a message at `level` contains `fragment`.
    bool contains(int level, const std::string& fragment) const;
    size_t count(const std::string& fragment) const;
    void clear() { lines_.clear(); }
    // Every captured text joined, for failure output.
    std::string all() const;

private:
    std::vector<CapturedLine> lines_;
};
