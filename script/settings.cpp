// The settings store: see settings.h. Every write goes through objectMember,
// which turns whatever a script left on the way to a key into an object, so
// the store never hangs members on a number or a string and never fails to
// store what it was given.
#include "script/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "app/log.h"
#include "js/engine.h"
#include "script/script.h"
#include "vfs/osFile.h"

namespace {

const char kFileName[] = "settings.js";
// The save is written here first and renamed over settings.js, so that a
// failure half-way leaves the old file whole.
const char kTempSuffix[] = ".tmp";

CJsValue* newObject() {
    return new CJsValue(std::string(), CJsValue::OBJECT);
}

// The member `name` of `parent` as an object: added when missing, and put in
// place of anything else a script stored under that name.
CJsValue* objectMember(CJsValue* parent, const std::string& name) {
    CJsBinding* binding = parent->lookupChild(name);
    if (!binding) return parent->appendChild(name, newObject())->value;
    if (!binding->value->isObject()) binding->rebind(newObject());
    return binding->value;
}

// The member `name` of `object`, or null.
const CJsValue* member(const CJsValue* object, const std::string& name) {
    const CJsBinding* binding = object->lookupChild(name);
    return binding ? binding->value : nullptr;
}

// The value at the dotted `key` under `object`, or null when a segment is
// missing. Segments are mostly short enough to need no heap copy, unlike the whole
// path from root.
CJsValue* memberAt(CJsValue* object, const std::string& key) {
    size_t from = 0;
    for (;;) {
        size_t dot = key.find('.', from);
        const CJsBinding* binding = object->lookupChild(key.substr(from, dot - from));
        if (!binding) return nullptr;
        object = binding->value;
        if (dot == std::string::npos) return object;
        from = dot + 1;
    }
}

std::string memberText(const CJsValue* object, const std::string& name) {
    const CJsValue* value = member(object, name);
    return value ? value->asString() : CJsValue().asString();
}

// Objects and arrays list members; a function's children are its parameters.
bool hasMembers(const CJsValue* value) {
    return value && (value->isObject() || value->isArray()) && !value->isFunction();
}

// Makes a finished rename durable; a failure here loses nothing that the
// rename did not already promise, so it is not reported.
void syncDirectory(const std::string& directory) {
    int fd =
        ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

CSettings::CSettings(CScript& script) : script_(script) {
    reset();
}

CJsValue* CSettings::settingAt(const std::string& key) const {
    const CJsBinding* settings = script_.engine().root()->lookupChild("settings");
    return settings ? memberAt(settings->value, key) : nullptr;
}

void CSettings::reset() {
    // What "var settings = {};" leaves, without scanning and running a script:
    // hosts that make a store per use (the fuzzer, tests) would pay for that
    // each time.
    script_.engine().root()->setChild("settings", newObject());
}

void CSettings::load(const std::string& directory) {
    directory_ = directory;
    loaded_ = true;
    reset();
    const std::string path = directory + kFileName;
    if (!osFileExists(path)) return;
    Log(LOG_INFO, "CSettings - loading %s\n", path.c_str());
    uint32_t size = osFileSize(path);
    if (size == 0) return;
    uint32_t got = 0;
    VFileBuffer text(osFileLoad(path, size, &got));
    if (!text || got == 0) return;
    script_.runCode(std::string(text.get(), got));
}

bool CSettings::save() {
    if (!loaded_) return false;
    std::string text = "var settings = ";
    if (const CJsValue* settings = member(script_.engine().root(), "settings")) {
        settings->writeJson(text, std::string());
    } else {
        CJsValue empty(std::string(), CJsValue::OBJECT);
        empty.writeJson(text, std::string());
    }
    text += ";";
    const std::string path = directory_ + kFileName;
    const std::string temp = path + kTempSuffix;
    if (!osFileWriteSynced(temp, text)) {
        int error = errno;
        ::unlink(temp.c_str());
        Log(LOG_WARNING, "CSettings - unable to write %s: %s\n", temp.c_str(),
            std::strerror(error));
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        Log(LOG_WARNING, "CSettings - unable to replace %s: %s\n", path.c_str(),
            std::strerror(error));
        return false;
    }
    syncDirectory(directory_);
    return true;
}

std::string CSettings::getString(const std::string& key, const std::string& defaultValue) {
    if (const CJsValue* value = settingAt(key)) {
        return value->asString();
    }
    setString(key, defaultValue);
    return defaultValue;
}

void CSettings::setString(const std::string& key, const std::string& value) {
    store(key, new CJsValue(value));
}

void CSettings::setInt(const std::string& key, int value) {
    store(key, new CJsValue(static_cast<int32_t>(value)));
}

void CSettings::store(const std::string& key, CJsValue* value) {
    CJsValue* parent = settingsObject();
    size_t from = 0;
    for (size_t dot; (dot = key.find('.', from)) != std::string::npos; from = dot + 1) {
        parent = objectMember(parent, key.substr(from, dot - from));
    }
    // A new value rather than a changed one: a script may share the old one
    // under another name.
    parent->setChild(key.substr(from), value);
}

CJsValue* CSettings::settingsObject() {
    return objectMember(script_.engine().root(), "settings");
}

void CSettings::accumulateSceneStats(const std::vector<std::string>& ids, float timePass) {
    CJsValue* scenes = objectMember(settingsObject(), "scenes");
    for (const std::string& id : ids) {
        CJsValue* entry = objectMember(scenes, id);
        const CJsValue* time = member(entry, "time");
        const CJsValue* frames = member(entry, "frames");
        double seconds = (time ? time->asDouble() : 0.0) + timePass;
        int32_t count = frames ? frames->asInt() : 0;
        if (count < INT32_MAX) count++;
        entry->setChild("time", new CJsValue(seconds));
        entry->setChild("frames", new CJsValue(count));
    }
}

void CSettings::clearSceneStats() {
    CJsValue* scenes = settingAt("scenes");
    if (hasMembers(scenes)) scenes->clearChildren();
}

void CSettings::addMessage(const std::string& text) {
    CJsValue* messages = objectMember(settingsObject(), "messages");
    int stored = 0;
    for (const CJsBinding* child = messages->firstChild; child; child = child->next) {
        if (child->name == "count") continue;
        if (child->value->asString() == text) return;
        stored++;
    }
    if (stored >= kMaxMessages) return;
    // A script may have numbered its own messages with gaps.
    std::string name = std::to_string(stored);
    while (messages->lookupChild(name))
        name = std::to_string(++stored);
    messages->appendChild(name, new CJsValue(text));
}

void CSettings::clearMessages() {
    CJsValue* messages = settingAt("messages");
    if (hasMembers(messages)) messages->clearChildren();
}

std::string CSettings::sceneStatsXml() {
    const CJsValue* scenes = settingAt("scenes");
    if (!scenes) return std::string();
    std::string out = "<Scenes>";
    if (hasMembers(scenes)) {
        for (const CJsBinding* child = scenes->firstChild; child; child = child->next) {
            if (child->name.empty()) continue;
            out += "<Scene id=\"";
            out += xmlEscape(child->name);
            out += "\" time=\"";
            out += xmlEscape(memberText(child->value, "time"));
            out += "\" frames=\"";
            out += xmlEscape(memberText(child->value, "frames"));
            out += "\"/>";
        }
    }
    return out + "</Scenes>";
}

std::string CSettings::messagesXml() {
    std::string out = "<Messages>";
    const CJsValue* messages = settingAt("messages");
    if (hasMembers(messages)) {
        for (const CJsBinding* child = messages->firstChild; child; child = child->next) {
            if (child->name == "count") continue;
            out += "<Message>";
            out += xmlEscape(child->value->asString());
            out += "</Message>";
        }
    }
    return out + "</Messages>";
}

CJsValue* CSettings::object() {
    CJsBinding* binding = script_.engine().root()->lookupChild("settings");
    return binding && binding->value->isObject() ? binding->value : nullptr;
}
