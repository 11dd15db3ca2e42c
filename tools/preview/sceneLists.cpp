#include "tools/preview/sceneLists.h"

#include <tinyxml.h>

#include <cstdlib>

#include "app/log.h"
#include "app/xmlParse.h"
#include "vfs/fileSystem.h"

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::unique_ptr<SceneDefinition> findSceneDefinition(const std::string& id, SceneContext context) {
    int lists = 0;
    int scenes = 0;
    std::unique_ptr<SceneDefinition> found;
    for (const std::string& name : CVFileSystem::get().listFiles("scenes/")) {
        if (!endsWith(name, ".xml")) continue;
        char* text = vfileLoad(name);
        if (!text) continue;
        TiXmlDocument document;
        parseXmlText(document, text);
        std::free(text);
        ++lists;
        for (const TiXmlElement* element : sceneElements(document)) {
            if (!SceneDefinition::conditionHolds(*element, context)) continue;
            auto definition = SceneDefinition::fromElement(*element, name, context);
            if (!definition) continue;
            ++scenes;
            if (!found && definition->id() == id) found = std::move(definition);
        }
    }
    Log(LOG_INFO, "Read %d scene lists with %d scenes\n", lists, scenes);
    if (!found) Log(LOG_SERIOUS, "Scene '%s' is in no scene list\n", id.c_str());
    return found;
}
