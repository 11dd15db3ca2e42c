// What a scene's definition needs from the rest of the visualiser while its
// values are read: the script host to evaluate JavaScript-valued entries and
// conditions, and the render tree for the properties of the render node whose
// job is in progress. Both are optional; without them those steps find nothing.
#pragma once

#include <string>

class ScriptEvaluator {
public:
    virtual ~ScriptEvaluator() = default;
    // The expression's value as text; the empty text when evaluation fails
    // (the script host has logged why).
    virtual std::string evaluateToText(const std::string& expression) = 0;
};

class RenderNodeProperties {
public:
    virtual ~RenderNodeProperties() = default;
    // The value set for `key` on the render node of the innermost render job,
    // or the empty text when no job runs or the node has no such value.
    virtual std::string innermostProperty(const std::string& key) = 0;
};

struct SceneContext {
    ScriptEvaluator* script = nullptr;
    RenderNodeProperties* renderNode = nullptr;
};
