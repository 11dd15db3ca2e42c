// The host functions: one table in registration order, each entry an adapter
// that reads its arguments by parameter name, converts them silently and
// calls the visualiser. Scripts see the signature texts, so they are fixed.
#include "vis/hostFunctions.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/clock.h"
#include "app/log.h"
#include "app/window.h"
#include "js/engine.h"
#include "render/cache/textureCache.h"
#include "script/script.h"
#include "script/settings.h"
#include "vfs/crc.h"
#include "vfs/fileSystem.h"
#include "vis/visMain.h"

namespace {

constexpr int kFirstTweak = 300;
constexpr int kLastTweak = 363;

// The visualiser behind the script that is running; a host function called
// outside any run is an internal fault.
CVisMain& vis() {
    VIS_ASSERT(currentScript != nullptr && currentScript->owner() != nullptr);
    return *currentScript->owner();
}

// For the functions that do without the check: null when there is none.
CVisMain* visOrNull() {
    return currentScript ? currentScript->owner() : nullptr;
}

std::string text(CJsValue* scope, const char* name) {
    return scope->argument(name)->asString();
}
int integer(CJsValue* scope, const char* name) {
    return scope->argument(name)->asInt();
}
void resultInt(CJsValue* scope, int value) {
    scope->setResult(new CJsValue(static_cast<int32_t>(value)));
}
void resultString(CJsValue* scope, const std::string& value) {
    scope->setResult(new CJsValue(value));
}
void member(CJsValue* object, const char* name, CJsValue* value) {
    object->appendChild(name, value);
}

void getScenes(CJsValue* scope, void*) {
    resultInt(scope, vis().registry().count());
}

void getSceneInfo(CJsValue* scope, void*) {
    CScene* scene = vis().registry().at(integer(scope, "sceneNum"));
    std::string key = text(scope, "keyName");
    if (!scene)
        resultString(scope, "");
    else if (key == "id")
        resultString(scope, scene->id());
    else if (key == "finished")
        resultInt(scope, scene->finished() ? 1 : 0);
    else if (key == "xml_file")
        resultString(scope, scene->listFile());
    else
        resultString(scope, scene->text(key, ""));
}

void getScene(CJsValue* scope, void*) {
    CScene* scene = vis().registry().at(integer(scope, "sceneNum"));
    if (!scene) return;
    CJsValue* object = new CJsValue(std::string(), CJsValue::OBJECT);
    scope->setResult(object);
    member(object, "id", new CJsValue(scene->id()));
    member(object, "type", new CJsValue(scene->text("Type", "")));
    member(object, "scene_id", new CJsValue(scene->text("SceneId", "")));
    member(object, "scheme_id", new CJsValue(scene->text("SchemeId", "")));
    member(object, "finished", new CJsValue(static_cast<int32_t>(scene->finished() ? 1 : 0)));
}

void findSceneId(CJsValue* scope, void*) {
    int index = vis().registry().findIndex(text(scope, "sceneId"));
    if (index < 0)
        resultString(scope, "");
    else
        resultInt(scope, index);
}

void getRandomScene(CJsValue* scope, void*) {
    CVisMain& visualiser = vis();
    resultString(scope,
                 visualiser.registry().getRandomScene(text(scope, "type"), text(scope, "theme"),
                                                      visualiser.settingsStore().object()));
}

void reloadVisible(CJsValue*, void*) {
    vis().registry().reloadVisible();
}

void reloadXML(CJsValue* scope, void*) {
    vis().registry().queueFiles({text(scope, "filename")});
}

void addArchive(CJsValue* scope, void*) {
    std::string name = text(scope, "filename");
    if (!vis().addArchive(name)) Log(LOG_WARNING, "Loading archive %s failed\n", name.c_str());
}

void removeArchive(CJsValue* scope, void*) {
    std::string name = text(scope, "filename");
    if (!vis().removeArchive(name)) Log(LOG_WARNING, "Archive %s not found loaded\n", name.c_str());
}

void loadScenes(CJsValue* scope, void*) {
    vis().registry().loadText(text(scope, "xml"));
}

void removeScene(CJsValue* scope, void*) {
    vis().registry().removeScene(text(scope, "sceneId"));
}

void renderSceneInitialise(CJsValue* scope, void*) {
    vis().renderList().initialiseInBackground(text(scope, "id"));
}

void renderScenesInitialised(CJsValue* scope, void*) {
    CVisMain& visualiser = vis();
    int pending = visualiser.textureCache() ? visualiser.textureCache()->pendingCount() : 0;
    resultInt(scope, visualiser.renderList().allInitialised(pending) ? 1 : 0);
}

void renderSceneInsert(CJsValue* scope, void*) {
    vis().renderList().insert(text(scope, "id"), integer(scope, "pos"));
}

void renderSceneRemove(CJsValue* scope, void*) {
    vis().renderList().remove(text(scope, "id"));
}

void renderSceneRemoveAll(CJsValue*, void*) {
    vis().renderList().removeAll();
}

void renderScenes(CJsValue* scope, void*) {
    resultInt(scope, vis().renderList().count());
}

void renderSceneAt(CJsValue* scope, void*) {
    resultString(scope, vis().renderList().idAt(integer(scope, "idx")));
}

void renderSceneFind(CJsValue* scope, void*) {
    resultInt(scope, vis().renderList().find(text(scope, "id")));
}

void renderSceneSet(CJsValue* scope, void*) {
    vis().renderList().set(integer(scope, "idx"), text(scope, "key"), text(scope, "value"));
}

void renderSceneGet(CJsValue* scope, void*) {
    std::string value;
    if (vis().renderList().get(integer(scope, "idx"), text(scope, "key"), value))
        resultString(scope, value);
}

void print(CJsValue* scope, void*) {
    vis();
    Log(LOG_INFO, "JS: %s\n", text(scope, "text").c_str());
}

void printOSD(CJsValue* scope, void*) {
    vis();
    Log(LOG_OSD, "%s\n", text(scope, "text").c_str());
}

void screenshot(CJsValue*, void*) {
    CVisMain& visualiser = vis();
    char name[32];
    for (int number = 0;; number++) {
        std::snprintf(name, sizeof name, "screenshot%04d.png", number);
        if (!osFileExists(name)) break;
    }
    visualiser.requestScreenshot(name);
}

void createThumbnail(CJsValue* scope, void*) {
    std::string id = text(scope, "sceneId");
    if (CScene* scene = vis().registry().find(id))
        scene->createThumbnail("thumbnails/" + id + ".png");
}

void exitVisualiser(CJsValue*, void*) {
    vis().requestQuit();
}

void disconnect(CJsValue*, void*) {
    vis();
    Log(LOG_WARNING, "disconnect() called from non-network mode\n");
}

void compareVersions(CJsValue* scope, void*) {
    vis();
    resultInt(scope, compareVersion(text(scope, "a"), text(scope, "b")));
}

void setTweak(CJsValue* scope, void*) {
    CVisMain& visualiser = vis();
    int number = integer(scope, "num");
    if (number < kFirstTweak || number > kLastTweak) return;
    double value = scope->argument("val")->asDouble();
    visualiser.sharedRegisters()[number - kFirstTweak] = static_cast<float>(value);
}

void getTweak(CJsValue* scope, void*) {
    CVisMain& visualiser = vis();
    int number = integer(scope, "num");
    double value = 0.0;
    if (number >= kFirstTweak && number <= kLastTweak)
        value = visualiser.sharedRegisters()[number - kFirstTweak];
    scope->setResult(new CJsValue(value));
}

void restartUpdater(CJsValue*, void*) {
    if (CVisMain* visualiser = visOrNull()) visualiser->requestUpdaterRestart();
}

void getMonitorPosition(CJsValue* scope, void*) {
    CVisMain* visualiser = visOrNull();
    if (!visualiser) return;
    MonitorRect rect = visualiser->window().monitorRect(integer(scope, "monitor"));
    if (rect.width <= 0 || rect.height <= 0) return;
    CJsValue* object = new CJsValue(std::string(), CJsValue::OBJECT);
    scope->setResult(object);
    member(object, "x", new CJsValue(static_cast<int32_t>(rect.left)));
    member(object, "y", new CJsValue(static_cast<int32_t>(rect.top)));
    member(object, "width", new CJsValue(static_cast<int32_t>(rect.width)));
    member(object, "height", new CJsValue(static_cast<int32_t>(rect.height)));
}

void setWindowPosition(CJsValue* scope, void*) {
    CVisMain* visualiser = visOrNull();
    if (!visualiser) return;
    CWindowBase& window = visualiser->window();
    // A window without a border is what the window calls full-screen style.
    window.setFullScreen(integer(scope, "border") == 0);
    window.setPosition(integer(scope, "x"), integer(scope, "y"), integer(scope, "width"),
                       integer(scope, "height"));
}

void getVideoDevices(CJsValue* scope, void*) {
    scope->setResult(new CJsValue(std::string(), CJsValue::ARRAY));
}

void threadSleep(CJsValue* scope, void*) {
    int milliseconds = integer(scope, "millis");
    if (milliseconds > 0) osSleep(static_cast<uint32_t>(milliseconds));
}

void crcOf(CJsValue* scope, void*) {
    std::string bytes = text(scope, "str");
    uint32_t seed = static_cast<uint32_t>(integer(scope, "seed"));
    resultInt(scope, static_cast<int32_t>(crc(bytes.data(), static_cast<int>(bytes.size()), seed)));
}

void loadSettings(CJsValue*, void*) {
    CVisMain* visualiser = visOrNull();
    if (!visualiser) return;
    Log(LOG_INFO, "Loading settings.js\n");
    visualiser->settingsStore().load(visualiser->baseDirectory());
}

void saveSettings(CJsValue*, void*) {
    CVisMain* visualiser = visOrNull();
    if (!visualiser) return;
    Log(LOG_INFO, "Saving settings.js\n");
    visualiser->settingsStore().save();
}

void setSoundBPM(CJsValue* scope, void*) {
    if (CVisMain* visualiser = visOrNull())
        visualiser->setSoundTempo(scope->argument("bpm")->asDouble());
}

struct HostFunction {
    const char* signature;
    JsCallback callback;
};

const HostFunction kHostFunctions[] = {
    {"function getScenes()", getScenes},
    {"function getSceneInfo(sceneNum, keyName)", getSceneInfo},
    {"function getScene(sceneNum)", getScene},
    {"function findSceneId(sceneId)", findSceneId},
    {"function getRandomScene(type, theme)", getRandomScene},
    {"function reloadVisible()", reloadVisible},
    {"function reloadXML(filename)", reloadXML},
    {"function addArchive(filename)", addArchive},
    {"function removeArchive(filename)", removeArchive},
    {"function loadScenes(xml)", loadScenes},
    {"function removeScene(sceneId)", removeScene},
    {"function renderSceneInitialise(id)", renderSceneInitialise},
    {"function renderScenesInitialised()", renderScenesInitialised},
    {"function renderSceneInsert(id, pos)", renderSceneInsert},
    {"function renderSceneRemove(id)", renderSceneRemove},
    {"function renderSceneRemoveAll()", renderSceneRemoveAll},
    {"function renderScenes()", renderScenes},
    {"function renderSceneAt(idx)", renderSceneAt},
    {"function renderSceneFind(id)", renderSceneFind},
    {"function renderSceneSet(idx, key, value)", renderSceneSet},
    {"function renderSceneGet(idx, key)", renderSceneGet},
    {"function print(text)", print},
    {"function printOSD(text)", printOSD},
    {"function screenshot()", screenshot},
    {"function createThumbnail(sceneId)", createThumbnail},
    {"function exit()", exitVisualiser},
    {"function disconnect()", disconnect},
    {"function compareVersion(a,b)", compareVersions},
    {"function setTweak(num,val)", setTweak},
    {"function getTweak(num)", getTweak},
    {"function restartUpdater()", restartUpdater},
    {"function getMonitorPosition(monitor)", getMonitorPosition},
    {"function setWindowPosition(x,y,width,height,border)", setWindowPosition},
    {"function getVideoDevices()", getVideoDevices},
    {"function Thread.sleep(millis)", threadSleep},
    {"function crc(str, seed)", crcOf},
    {"function loadSettings()", loadSettings},
    {"function saveSettings()", saveSettings},
    {"function setSoundBPM(bpm)", setSoundBPM},
};

}  // namespace

void registerHostFunctions(CJsEngine& engine) {
    for (const HostFunction& function : kHostFunctions)
        engine.registerNative(function.signature, function.callback, nullptr);
}

int compareVersion(const std::string& a, const std::string& b) {
    auto number = [](std::string version) {
        for (char& c : version)
            if (c == 'v') c = '.';
        return std::strtod(version.c_str(), nullptr);
    };
    double older = number(a);
    double newer = number(b);
    if (older < newer) return -1;
    if (newer < older) return 1;
    return 0;
}
