// The configuration dialog's logic: see configDialog.h. The controls are set
// from expressions evaluated in the dialog's own engine rather than by reading
// values directly, so that a setting stored as text ("300"), as a double or as
// a list in any order means to the dialog what it means to the control
// scripts.
#include "app/configDialog.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/log.h"
#include "js/engine.h"
#include "js/library.h"
#include "script/script.h"
#include "vfs/osFile.h"

#ifndef VORTALIS_VERSION
#error "VORTALIS_VERSION must name the program's version"
#endif

const std::array<ConfigTheme, kConfigThemeCount> kConfigThemes = {{
    {"Heat", "heat"},
    {"Pop", "pop"},
    {"Jazzy", "jazzy"},
    {"Chilled", "chilled"},
    {"Romance", "romance"},
    {"Black + White", "blackwhite"},
}};

const ConfigSlider kMovementSpeed = {"Movement Speed", 40, 240, 120};
const ConfigSlider kSceneChangeSpeed = {"Scene Change Speed", 2, 120, 15};

namespace {

const char kTempSuffix[] = ".tmp";

// The whole file, or the empty text when it cannot be read (a directory
// opens but does not read).
std::string readWholeFile(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

// A fresh engine with both libraries, having run the two files.
struct DialogEngine {
    explicit DialogEngine(const CConfigDialog& dialog) : script(nullptr) {
        registerMathLibrary(script.engine());
        for (const std::string& path : {dialog.settingsPath(), dialog.deviceIdPath()}) {
            std::string text = readWholeFile(path);
            if (!text.empty()) script.runCode(text);
        }
    }

    int evalInt(const std::string& code) { return parseJsInt(script.evalString(code)); }

    bool defined(const std::string& path) {
        const CJsValue* value = script.engine().lookupPath(path);
        return value && !value->isUndefined();
    }

    // The slider's position: the setting's integer value clamped to the
    // range, or the slider's own value when the setting is undefined.
    int sliderValue(const std::string& path, const ConfigSlider& slider) {
        if (!defined(path)) return slider.missing;
        return std::clamp(evalInt("Integer.parseInt(" + path + ")"), slider.minimum,
                          slider.maximum);
    }

    CScript script;
};

// The member `name` of `parent` as an object, put in place of anything else.
// Without this, assignments below a missing or non-object `settings` would
// vanish without an error and OK would store nothing.
CJsValue* objectMember(CJsValue* parent, const std::string& name) {
    CJsBinding* binding = parent->lookupChild(name);
    if (binding && binding->value->isObject()) return binding->value;
    CJsValue* object = new CJsValue(std::string(), CJsValue::OBJECT);
    if (!binding) return parent->appendChild(name, object)->value;
    binding->rebind(object);
    return binding->value;
}

// Empty on success, otherwise the line that tells the user what went wrong.
std::string replaceFile(const std::string& path, const std::string& text) {
    const std::string temp = path + kTempSuffix;
    bool written = osFileWriteSynced(temp, text);
    if (written && std::rename(temp.c_str(), path.c_str()) == 0) return std::string();
    int error = errno;
    ::unlink(temp.c_str());
    std::string line = "Unable to write " + path + ": " + std::strerror(error);
    Log(LOG_WARNING, "CConfigDialog - %s\n", line.c_str());
    return line;
}

}  // namespace

CConfigDialog::CConfigDialog(std::string baseDirectory)
    : baseDirectory_(std::move(baseDirectory)) {}

std::string CConfigDialog::versionLine() {
    return std::string("Vortalis Screensaver v") + VORTALIS_VERSION;
}

void CConfigDialog::open() {
    DialogEngine engine(*this);
    choices_ = ConfigChoices();
    choices_.deviceId = cutToLength(
        engine.script.evalString("DEVICE_UID!=undefined?DEVICE_UID:\"\""), kDeviceIdMaxLength);
    engine.script.runCode(
        "var themes = "
        "settings.theme_string!=undefined?settings.theme_string.split(\",\"):[];");
    for (int i = 0; i < kConfigThemeCount; i++) {
        std::string word = kConfigThemes[i].word;
        choices_.themes[i] = engine.evalInt("themes.contains(\"" + word + "\")?1:0") != 0;
    }
    choices_.sceneChangeSpeed = engine.sliderValue("settings.vis.scene_length", kSceneChangeSpeed);
    choices_.movementSpeed = engine.sliderValue("settings.fakesound.bpm", kMovementSpeed);
    error_.clear();
}

bool CConfigDialog::accept() {
    DialogEngine engine(*this);
    CJsValue* settings = objectMember(engine.script.engine().root(), "settings");
    objectMember(settings, "vis");
    objectMember(settings, "fakesound");

    std::string code = "var themes=[];";
    for (int i = 0; i < kConfigThemeCount; i++) {
        if (choices_.themes[i])
            code += std::string("themes[themes.length]=\"") + kConfigThemes[i].word + "\";";
    }
    int sceneLength =
        std::clamp(choices_.sceneChangeSpeed, kSceneChangeSpeed.minimum, kSceneChangeSpeed.maximum);
    int bpm = std::clamp(choices_.movementSpeed, kMovementSpeed.minimum, kMovementSpeed.maximum);
    code += "settings.vis.scene_length=" + std::to_string(sceneLength) + ";";
    code += "settings.fakesound.bpm=" + std::to_string(bpm) + ";";
    code += "settings.theme_string=themes.join(\",\");";
    engine.script.runCode(code);

    // The statements above may have replaced the object; write what is there.
    std::string text = "var settings = ";
    objectMember(engine.script.engine().root(), "settings")->writeJson(text, std::string());
    text += ";\n";

    std::string deviceId = cutToLength(choices_.deviceId, kDeviceIdMaxLength);
    std::string identity;
    if (!deviceId.empty()) identity = "var DEVICE_UID = " + quoteScriptString(deviceId) + ";\n";

    error_.clear();
    for (const std::string& line :
         {replaceFile(settingsPath(), text), replaceFile(deviceIdPath(), identity)}) {
        if (line.empty()) continue;
        if (!error_.empty()) error_ += "\n";
        error_ += line;
    }
    return error_.empty();
}

std::string quoteScriptString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

std::string cutToLength(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        end--;
    return text.substr(0, end);
}
