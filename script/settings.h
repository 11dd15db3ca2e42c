// The settings store: every persistent setting lives in the script engine's
// global `settings` object, loaded by running `settings.js` and saved by
// writing the object back as a script, so the file stays both readable and
// executable. Keys are dotted paths ("window.width"); a read of a missing key
// stores its default (as text), so the first save lists every key consulted.
//
// Besides settings the object carries per-scene play statistics
// (settings.scenes) and up to ten distinct warning lines (settings.messages)
// that the updater reports to the content server.
#pragma once

#include <string>
#include <vector>

#include "app/settingsAccess.h"
#include "app/xmlEscape.h"

class CScript;
class CJsValue;

class CSettings : public SettingsAccess {
public:
    static constexpr int kMaxMessages = 10;

    // Gives `script` (which must outlive the store) an empty `settings`
    // object, as "var settings = {};" would.
    explicit CSettings(CScript& script);

    // Forgets every setting and runs `directory` + "settings.js" when it
    // exists. A broken file is logged by the script host and applies as far
    // as it ran. `directory` (ending in '/') is where save() writes.
    void load(const std::string& directory);
    // Writes "var settings = " + the object as JSON + ";" to settings.js in
    // the directory of the last load: first to "settings.js.tmp" beside it,
    // flushed to the disk, then renamed over it, so a failed write never
    // damages the old file. False, with a level-2 warning naming the file and
    // the reason, when the file could not be written; false without a message
    // when the store was never loaded (it has nowhere to write).
    bool save();

    // Writes replace whatever a script left on the way to the key (a number
    // where "window" should be an object, say) by objects.
    std::string getString(const std::string& key, const std::string& defaultValue) override;
    void setString(const std::string& key, const std::string& value) override;
    void setInt(const std::string& key, int value) override;

    // Adds `timePass` seconds and one frame to settings.scenes[id] for each id
    // (a scene listed twice counts twice). Ids are member names, not paths.
    void accumulateSceneStats(const std::vector<std::string>& ids, float timePass);
    void clearSceneStats();
    // Stores `text` as the next numbered member of settings.messages unless
    // it is already there or ten are stored.
    void addMessage(const std::string& text);
    void clearMessages();
    // "<Scenes><Scene id=.. time=.. frames=../>...</Scenes>", or "" when
    // settings.scenes does not exist (cleared statistics give the empty pair).
    std::string sceneStatsXml();
    // "<Messages><Message>..</Message>...</Messages>".
    std::string messagesXml();

    // The engine's `settings` object, or null when a script removed it or put
    // something else in its place.
    CJsValue* object();
    const std::string& directory() const { return directory_; }

private:
    // Binds a new empty object to the global `settings`.
    void reset();
    // The value at the dotted `key` under the settings object, or null.
    CJsValue* settingAt(const std::string& key) const;
    // The settings object, made one again if a script replaced it.
    CJsValue* settingsObject();
    // Binds `value` (new, taken over) at the dotted key under settings.
    void store(const std::string& key, CJsValue* value);

    CScript& script_;
    std::string directory_;
    bool loaded_ = false;
};
