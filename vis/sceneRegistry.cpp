// The scene registry. Scenes leave the registry before they are killed and
// destroyed: a kill may fail in the VM and make the visualiser empty its
// render list, which looks scenes up here again, and it must then find a
// consistent registry rather than a half-erased entry.
#include "vis/sceneRegistry.h"

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "app/random.h"
#include "app/xmlParse.h"
#include "js/value.h"
#include "vfs/fileSystem.h"

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool isArrayIndex(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (c < '0' || c > '9') return false;
    return true;
}

// Walks the elements rather than counting up to arrayLength(): a sparse
// array with one huge index must not cost a loop over every missing slot.
bool arrayHolds(const CJsValue& array, const std::string& id) {
    for (const CJsBinding* item = array.firstChild; item; item = item->next) {
        if (isArrayIndex(item->name) && item->value && item->value->asString() == id) return true;
    }
    return false;
}

const CJsValue* member(const CJsValue* object, const std::string& name) {
    const CJsBinding* binding = object ? object->lookupChild(name) : nullptr;
    return binding ? binding->value : nullptr;
}

bool themeMatches(const std::string& item, const std::string& id, const std::string& styles,
                  const CJsValue* favourites) {
    if (item == "favourites" && favourites) return arrayHolds(*favourites, id);
    return styles.find(item) != std::string::npos;
}

}  // namespace

bool sceneMatchesThemes(const std::string& id, const std::string& styles, const std::string& themes,
                        const CJsValue* favourites) {
    if (themes.empty()) return true;
    if (styles.empty()) return false;
    if (favourites && !favourites->isArray()) favourites = nullptr;
    size_t start = 0;
    for (;;) {
        size_t comma = themes.find(',', start);
        size_t length = comma == std::string::npos ? std::string::npos : comma - start;
        if (themeMatches(themes.substr(start, length), id, styles, favourites)) return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}

CSceneRegistry::CSceneRegistry(SceneHost* host, SceneContext context)
    : host_(host), context_(context) {}

CSceneRegistry::~CSceneRegistry() {
    dropAll();
}

int CSceneRegistry::findIndex(const std::string& id) const {
    for (size_t i = 0; i < scenes_.size(); ++i)
        if (scenes_[i]->id() == id) return static_cast<int>(i);
    return -1;
}

CScene* CSceneRegistry::find(const std::string& id) const {
    return at(findIndex(id));
}

CScene* CSceneRegistry::at(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return scenes_[index].get();
}

std::unique_ptr<CScene> CSceneRegistry::take(const CScene* scene) {
    for (auto it = scenes_.begin(); it != scenes_.end(); ++it) {
        if (it->get() != scene) continue;
        std::unique_ptr<CScene> taken = std::move(*it);
        scenes_.erase(it);
        return taken;
    }
    return nullptr;
}

void CSceneRegistry::queueFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (!endsWith(path, ".xml")) continue;
        if (std::find(loadQueue_.begin(), loadQueue_.end(), path) != loadQueue_.end()) continue;
        loadQueue_.push_back(path);
    }
    loadQueueTotal_ = static_cast<int>(loadQueue_.size());
}

bool CSceneRegistry::loadNextQueued() {
    if (!loadQueue_.empty()) {
        // A copy: reading the list may run conditions that queue more files.
        std::string path = loadQueue_.front();
        loadQueue_.erase(loadQueue_.begin());
        loadFromXML(path);
    }
    if (!loadQueue_.empty()) return false;
    loadQueueTotal_ = 0;
    return true;
}

void CSceneRegistry::loadFromXML(const std::string& path) {
    Log(LOG_INFO, "loadFromXML '%s'\n", path.c_str());
    char* text = vfileLoad(path);
    if (!text) {
        Log(LOG_WARNING, "Cannot load XML file '%s'\n", path.c_str());
        return;
    }
    std::string xml(text);
    std::free(text);
    if (registerElements(xml, path))
        Log(LOG_SUPPRESSED, "loadFromXML success '%s'\n", path.c_str());
}

void CSceneRegistry::loadText(const std::string& xml) {
    registerElements(xml, "[JS]");
}

bool CSceneRegistry::registerElements(const std::string& text, const std::string& listFile) {
    TiXmlDocument document;
    parseXmlText(document, text);
    if (document.Error()) {
        Log(LOG_WARNING, "XML error in '%s' at line %d: %s\n", listFile.c_str(),
            document.ErrorRow(), document.ErrorDesc());
        return false;
    }
    for (const TiXmlElement* element : sceneElements(document))
        registerElement(*element, listFile);
    return true;
}

void CSceneRegistry::registerElement(const TiXmlElement& element, const std::string& listFile) {
    const char* attribute = element.Attribute("id");
    std::string id = attribute ? attribute : "";
    if (findIndex(id) >= 0)
        Log(LOG_INFO, "Scene ID %s is already loaded. Reloading...\n", id.c_str());
    if (!SceneDefinition::conditionHolds(element, context_)) return;
    // Made before the old scene goes, so that a damaged entry (logged by
    // fromElement) leaves the scene it would have replaced in place.
    std::unique_ptr<SceneDefinition> definition =
        SceneDefinition::fromElement(element, listFile, context_);
    if (!definition) return;
    bool wasInitialised = false;
    if (const CScene* old = find(id)) {
        wasInitialised = old->initialised();
        removeScene(id);
    }
    scenes_.push_back(std::make_unique<CScene>(host_, std::move(definition)));
    CScene* scene = scenes_.back().get();
    if (wasInitialised) scene->initialise(true);
}

void CSceneRegistry::removeScene(const std::string& id) {
    CScene* scene = find(id);
    if (!scene) {
        Log(LOG_WARNING, "removeScene(%s) NOT FOUND\n", id.c_str());
        return;
    }
    Log(LOG_INFO, "Removing scene %s\n", id.c_str());
    take(scene).reset();
}

void CSceneRegistry::removeScenesOfFiles(
    const std::vector<std::string>& paths,
    const std::function<void(const std::string& id)>& removeNodes) {
    size_t i = 0;
    while (i < scenes_.size()) {
        CScene* scene = scenes_[i].get();
        if (std::find(paths.begin(), paths.end(), scene->listFile()) == paths.end()) {
            ++i;
            continue;
        }
        // Copied: the scene and its id are gone once it is destroyed, and the
        // render list may look it up while its nodes are removed.
        std::string id = scene->id();
        removeNodes(id);
        std::unique_ptr<CScene> taken = take(scene);
        if (taken) taken->kill();
    }
}

void CSceneRegistry::retireArchive(const std::string& name) {
    CVFileSystem& files = CVFileSystem::get();
    std::string path = !name.empty() && name[0] == '/' ? name : files.baseDirectory() + name;
    CVFileArchive* archive = files.findArchive(path);
    if (!archive) {
        Log(LOG_WARNING, "ARCHIVE: %s NOT FOUND\n", name.c_str());
        archivesToDelete_.push_back(name);
        return;
    }
    Log(LOG_INFO, "ARCHIVE: We should remove %s, checking for XMLs\n", name.c_str());
    std::vector<std::string> lists;
    files.listArchiveFiles(archive, "scenes/", ".xml", lists);
    std::vector<std::string> ids;
    for (const auto& scene : scenes_)
        if (std::find(lists.begin(), lists.end(), scene->listFile()) != lists.end())
            ids.push_back(scene->id());
    Log(LOG_INFO, "ARCHIVE: removing %d scenes\n", static_cast<int>(ids.size()));
    for (const std::string& id : ids)
        removeScene(id);
    Log(LOG_INFO, "ARCHIVE: removing from archive list\n");
    files.removeArchive(path);
    Log(LOG_INFO, "ARCHIVE: deleting %s\n", path.c_str());
    if (std::remove(path.c_str()) != 0)
        Log(LOG_WARNING, "ARCHIVE: cannot delete %s: %s\n", path.c_str(), std::strerror(errno));
}

void CSceneRegistry::reloadVisible() {
    std::vector<CScene*> playing;
    for (const auto& scene : scenes_) {
        if (!scene->initialised()) continue;
        playing.push_back(scene.get());
        scene->kill();
    }
    CVFileSystem::get().reloadArchives();
    for (CScene* scene : playing)
        scene->initialise(true);
}

void CSceneRegistry::dropAll() {
    loadQueue_.clear();
    loadQueueTotal_ = 0;
    std::vector<std::unique_ptr<CScene>> dropped;
    dropped.swap(scenes_);
    for (auto& scene : dropped) {
        scene->kill();
        scene.reset();
    }
}

std::string CSceneRegistry::getRandomScene(const std::string& type, const std::string& themes,
                                           const CJsValue* settings) const {
    if (!settings) {
        Log(LOG_WARNING, "JS settings not found!\n");
        return "";
    }
    const CJsValue* favourites = member(settings, "favourites");
    if (favourites && !favourites->isArray()) favourites = nullptr;
    const CJsValue* ratings = member(settings, "scene");
    if (ratings && !ratings->isObject()) ratings = nullptr;

    struct Candidate {
        const CScene* scene;
        double weight;
    };
    std::vector<Candidate> candidates;
    double total = 0.0;
    for (const auto& scene : scenes_) {
        const SceneDefinition& definition = scene->definition();
        if (definition.type() != type) continue;
        if (!sceneMatchesThemes(scene->id(), definition.styles(), themes, favourites)) continue;
        double weight = definition.weight();
        if (const CJsValue* rating = member(ratings, definition.sceneId()))
            weight *= rating->asDouble();
        candidates.push_back({scene.get(), weight});
        total += weight;
    }

    double r = static_cast<double>(visRand()) / kVisRandMax * total;
    for (const Candidate& candidate : candidates) {
        r -= candidate.weight;
        if (r <= 0.0) return candidate.scene->id();
    }
    return "";
}
