// One `Scene` element of a scene list: its id, its image file and its data
// values, read by key with run-time overrides from the render node in progress
// and JavaScript-valued entries evaluated on every read.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/sceneContext.h"

class TiXmlDocument;
class TiXmlElement;

// "true" or "yes" in any case, or an all-digit text with a non-zero value.
bool stringToBool(const std::string& text);

// The `Scene` children of the document's first `SceneList` element, in order;
// none when the document has no such element.
std::vector<const TiXmlElement*> sceneElements(const TiXmlDocument& document);

class SceneDefinition {
public:
    // Copies what it needs of `element`. Content without an `id` attribute or
    // without `Filename` text is damaged: it is logged at level 5 with the
    // list file's name and null is returned, so that one bad entry does not
    // end the program.
    static std::unique_ptr<SceneDefinition> fromElement(const TiXmlElement& element,
                                                        const std::string& listFile,
                                                        SceneContext context);
    ~SceneDefinition();

    // Whether the element's `Condition` holds; an element without one always does.
    static bool conditionHolds(const TiXmlElement& element, SceneContext context);

    const std::string& id() const { return id_; }
    const std::string& filename() const { return filename_; }  // relative to scenes/
    const std::string& listFile() const { return listFile_; }  // "[JS]" for script-given text

    std::string text(const std::string& key, const std::string& defaultValue) const;
    double decimal(const std::string& key, double defaultValue) const;
    int integer(const std::string& key, int defaultValue) const;

    std::string type() const { return text("Type", ""); }
    int inputs() const;
    std::string styles() const { return text("Styles", ""); }
    double weight() const { return decimal("Weight", 1.0); }
    std::string sceneId() const { return text("SceneId", ""); }
    std::string schemeId() const { return text("SchemeId", ""); }

    // The virtual path of a resource reference (xml://key, file://path,
    // js://expression or a plain name) inside `directory` ("tex/", "shaders/",
    // "data/"). Resolved once: a value that itself names a scheme stays as it is.
    std::string resolve(const std::string& reference, const std::string& directory) const;

private:
    SceneDefinition() = default;

    std::string id_;
    std::string filename_;
    std::string listFile_;
    std::unique_ptr<TiXmlElement> data_;
    SceneContext context_;
};
