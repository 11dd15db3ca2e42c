#include "tools/preview/sceneCatalogue.h"

#include <dirent.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/xmlParse.h"

namespace {

std::string dataText(const TiXmlElement* data, const char* key) {
    const TiXmlElement* element = data ? data->FirstChildElement(key) : nullptr;
    return element && element->GetText() ? element->GetText() : "";
}

// The Inputs rule of the scene definition: an explicit value wins, else it
// follows from the Type.
int inputsOf(const TiXmlElement* data) {
    std::string inputs = dataText(data, "Inputs");
    if (!inputs.empty()) return std::atoi(inputs.c_str());
    std::string type = dataText(data, "Type");
    if (type == "fade") return 2;
    if (type == "overlay" || type == "announce") return 1;
    return 0;
}

}  // namespace

std::vector<CatalogueScene> readSceneCatalogue(const std::string& directory) {
    std::vector<std::string> lists;
    if (DIR* dir = opendir(directory.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0)
                lists.push_back(name);
        }
        closedir(dir);
    }
    std::sort(lists.begin(), lists.end());
    std::vector<CatalogueScene> scenes;
    for (const std::string& list : lists) {
        std::ifstream file(directory + "/" + list, std::ios::binary);
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        TiXmlDocument document;
        parseXmlText(document, text.str());
        if (document.Error()) continue;
        const TiXmlElement* root = document.FirstChildElement("SceneList");
        for (const TiXmlElement* scene = root ? root->FirstChildElement("Scene") : nullptr; scene;
             scene = scene->NextSiblingElement("Scene")) {
            if (!scene->Attribute("id")) continue;
            const TiXmlElement* data = scene->FirstChildElement("Data");
            scenes.push_back(CatalogueScene{scene->Attribute("id"), list, dataText(data, "Styles"),
                                            inputsOf(data)});
        }
    }
    return scenes;
}

std::vector<CatalogueScene> scenesWithPictures(const std::vector<CatalogueScene>& catalogue) {
    std::vector<CatalogueScene> scenes;
    for (const CatalogueScene& scene : catalogue)
        if (scene.inputs == 0) scenes.push_back(scene);
    return scenes;
}
