#include "scene/sceneDefinition.h"

#include <tinyxml.h>

#include <cctype>
#include <cstdlib>

#include "app/log.h"

namespace {

bool startsWith(const std::string& text, const char* prefix, std::string* rest) {
    size_t length = std::char_traits<char>::length(prefix);
    if (text.compare(0, length, prefix) != 0) return false;
    *rest = text.substr(length);
    return true;
}

std::string childText(const TiXmlElement& element, const char* name) {
    const TiXmlElement* child = element.FirstChildElement(name);
    const char* text = child ? child->GetText() : nullptr;
    return text ? text : "";
}

}  // namespace

bool stringToBool(const std::string& text) {
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "true" || lower == "yes") return true;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    // All digits: non-zero when any digit is.
    for (char c : text)
        if (c != '0') return true;
    return false;
}

std::vector<const TiXmlElement*> sceneElements(const TiXmlDocument& document) {
    std::vector<const TiXmlElement*> scenes;
    const TiXmlElement* list = document.FirstChildElement("SceneList");
    if (!list) return scenes;
    for (const TiXmlElement* scene = list->FirstChildElement("Scene"); scene;
         scene = scene->NextSiblingElement("Scene"))
        scenes.push_back(scene);
    return scenes;
}

std::unique_ptr<SceneDefinition> SceneDefinition::fromElement(const TiXmlElement& element,
                                                              const std::string& listFile,
                                                              SceneContext context) {
    const char* id = element.Attribute("id");
    std::string filename = childText(element, "Filename");
    if (!id || filename.empty()) {
        Log(LOG_SERIOUS, "Scene without %s in '%s' skipped\n", id ? "Filename" : "id",
            listFile.c_str());
        return nullptr;
    }
    std::unique_ptr<SceneDefinition> scene(new SceneDefinition());
    scene->id_ = id;
    scene->filename_ = filename;
    scene->listFile_ = listFile;
    scene->context_ = context;
    if (const TiXmlElement* data = element.FirstChildElement("Data"))
        scene->data_.reset(static_cast<TiXmlElement*>(data->Clone()));
    return scene;
}

SceneDefinition::~SceneDefinition() = default;

bool SceneDefinition::conditionHolds(const TiXmlElement& element, SceneContext context) {
    const TiXmlElement* condition = element.FirstChildElement("Condition");
    if (!condition) return true;
    const char* expression = condition->GetText();
    if (!context.script) return false;
    return stringToBool(context.script->evaluateToText(expression ? expression : ""));
}

std::string SceneDefinition::text(const std::string& key, const std::string& defaultValue) const {
    if (context_.renderNode) {
        std::string overridden = context_.renderNode->innermostProperty(key);
        if (!overridden.empty()) return overridden;
    }
    const TiXmlElement* entry = data_ ? data_->FirstChildElement(key.c_str()) : nullptr;
    const char* value = entry ? entry->GetText() : nullptr;
    if (!value) return defaultValue;
    const char* type = entry->Attribute("type");
    if (type && std::string(type) == "js")
        return context_.script ? context_.script->evaluateToText(value) : std::string();
    return value;
}

double SceneDefinition::decimal(const std::string& key, double defaultValue) const {
    std::string value = text(key, "");
    return value.empty() ? defaultValue : std::atof(value.c_str());
}

int SceneDefinition::integer(const std::string& key, int defaultValue) const {
    std::string value = text(key, "");
    return value.empty() ? defaultValue : std::atoi(value.c_str());
}

int SceneDefinition::inputs() const {
    std::string kind = text("Type", "scene");
    int composed = 0;
    if (kind == "fade")
        composed = 2;
    else if (kind == "overlay" || kind == "announce")
        composed = 1;
    return integer("Inputs", composed);
}

std::string SceneDefinition::resolve(const std::string& reference,
                                     const std::string& directory) const {
    std::string rest;
    std::string resolved = reference;
    if (startsWith(reference, "xml://", &rest))
        resolved = text(rest, "");
    else if (startsWith(reference, "file://", &rest))
        resolved = rest;
    else if (startsWith(reference, "js://", &rest))
        resolved = context_.script ? context_.script->evaluateToText(rest) : std::string();
    return directory + resolved;
}
