// The visualiser's script host: one JavaScript engine with the base library,
// the control scripts and the event snippets run each frame. A script error
// never leaves the host: it becomes one warning line "JS Error: ... in <code>"
// and a false or empty result, so a broken script never stops the program.
#pragma once

#include <memory>
#include <string>

class CJsEngine;
class CVisMain;

class CScript {
public:
    // Creates the engine with the base library; the math library is not
    // registered. `owner` is the visualiser that host functions reach through
    // `currentScript`; it may be null for tools and tests.
    explicit CScript(CVisMain* owner);
    ~CScript();
    CScript(const CScript&) = delete;
    CScript& operator=(const CScript&) = delete;

    // Runs `code` at global scope; false (with the warning) on a script error.
    bool runCode(const std::string& code);
    // The value of `code` as text; the empty text (with the warning) on an error.
    std::string evalString(const std::string& code);
    // Loads a file through the virtual file system and runs it; a missing file
    // returns silently, and the result is not reported.
    void executeFile(const std::string& path);
    // Runs call + "(\"" + argument + "\");" — the argument is inserted as is.
    bool callHandler(const std::string& call, const std::string& argument);

    void setGlobalString(const std::string& name, const std::string& value);
    void setGlobalNumber(const std::string& name, double value);
    std::string getGlobalString(const std::string& name, const std::string& defaultValue);

    CVisMain* owner() const { return owner_; }
    CJsEngine& engine() { return *engine_; }

private:
    CVisMain* owner_;
    std::unique_ptr<CJsEngine> engine_;
};

// The host that most recently started a run; never cleared. Host functions
// find the visualiser through it because natives receive no host pointer.
extern CScript* currentScript;
