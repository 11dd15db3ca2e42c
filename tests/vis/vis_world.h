// A visualiser on a base directory of the test's own: files and scene images
// go into one archive (content.vortapack) that is written when the
// visualiser starts, scene images are assembled from sources, and the window
// is the plain headless one unless a test passes a real one. The platform
// tick is the scene tests' fake clock, so time moves only when a test says.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/window.h"
#include "sound/syntheticBeatSource.h"
#include "tests/support/temp_dir.h"
#include "vis/visMain.h"

class VisWorld {
public:
    VisWorld();
    ~VisWorld();

    // A file of the archive.
    void file(const std::string& name, const std::string& content);
    // Assembles `source` into scenes/<id>.vsi (failing the test on assembler
    // errors) and returns its <Scene> element for a list; `data` is the inner
    // XML of its Data element.
    std::string scene(const std::string& id, const std::string& source,
                      const std::string& data = "");
    // The control script data/device.js (data/utils.js stays empty unless set).
    void controlScript(const std::string& code) { file("data/device.js", code); }

    // Writes the archive and constructs the visualiser, then queues the scene lists.
    CVisMain& start(CWindowBase* window = nullptr, uint32_t flags = VIS_DEVICE_MODE,
                    const char* startupScript = nullptr);
    // Advances the fake clock by `milliseconds` before each of `count` steps.
    void frames(int count, uint32_t milliseconds = 20);
    // kill() and deletion; the destructor calls it too.
    void stop();
    // Runs `code` in the control script's engine and returns its value as text.
    std::string eval(const std::string& code);

    TempDir base;
    CWindowBase headless;
    SyntheticBeatSource beat{140.0};
    std::unique_ptr<CVisMain> vis;

private:
    std::map<std::string, std::string> files_;
};

// The source of a scene that prints `tag` with 1 in "V init()", 2 in step,
// 3 in render and 4 in kill, and draws nothing: for runs without GL. The log
// shows "VM PRINT: '<tag>' 1.000000" and so on.
std::string printingScene(const std::string& tag);
