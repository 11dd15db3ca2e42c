// The configuration dialog's logic, apart from any window: what its controls
// show when it opens and what OK writes back. Both steps run settings.js and
// the device identity file in a fresh script engine of their own, so the
// dialog understands the settings exactly as the visualiser will read them,
// and OK changes only the three settings it edits while keeping the rest.
#pragma once

#include <array>
#include <cstddef>
#include <string>

struct ConfigTheme {
    const char* label;  // the check box's text
    const char* word;   // its name in settings.theme_string
};

constexpr int kConfigThemeCount = 6;
// In the order of the check boxes, which is also the order OK stores them in.
extern const std::array<ConfigTheme, kConfigThemeCount> kConfigThemes;

struct ConfigSlider {
    const char* label;
    int minimum;
    int maximum;
    int missing;  // shown when the setting is undefined
};

extern const ConfigSlider kMovementSpeed;     // settings.fakesound.bpm
extern const ConfigSlider kSceneChangeSpeed;  // settings.vis.scene_length, in seconds

// In bytes; a longer identifier is cut at a character boundary.
constexpr size_t kDeviceIdMaxLength = 255;

struct ConfigChoices {
    std::array<bool, kConfigThemeCount> themes{};
    int movementSpeed = 0;
    int sceneChangeSpeed = 0;
    std::string deviceId;
};

class CConfigDialog {
public:
    static constexpr const char* kTitle = "Configure Vortalis Screensaver";
    static constexpr const char* kSettingsFile = "settings.js";
    static constexpr const char* kDeviceIdFile = "deviceid.js";

    // `baseDirectory` ends in '/'; nothing is read before open().
    explicit CConfigDialog(std::string baseDirectory);

    // Sets the choices from the files; missing or empty files count as
    // defining nothing, and a script error in them is logged by the engine and
    // leaves what ran before it.
    void open();
    // Writes the choices: settings.js with the three settings replaced and the
    // device identity file with the identifier (empty when it is). Each file
    // goes to a temporary file beside it that is renamed over it, so a failed
    // write leaves the old file whole. False when a file could not be written;
    // error() then names it and why, and the other file is written anyway.
    bool accept();

    ConfigChoices& choices() { return choices_; }
    const ConfigChoices& choices() const { return choices_; }
    // Why the last accept() failed, one line per file; empty after a success.
    const std::string& error() const { return error_; }

    std::string settingsPath() const { return baseDirectory_ + kSettingsFile; }
    std::string deviceIdPath() const { return baseDirectory_ + kDeviceIdFile; }

    // "Vortalis Screensaver v" and the program's version.
    static std::string versionLine();

private:
    std::string baseDirectory_;
    ConfigChoices choices_;
    std::string error_;
};

// `text` in double quotes, escaping only what the script lexer reads back
// inside them: the quote, the backslash and the line feed.
std::string quoteScriptString(const std::string& text);
// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cutToLength(const std::string& text, size_t limit);
