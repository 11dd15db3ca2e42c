// Reads every scene list under scenes/ as the visualiser does and picks out
// one scene's definition.
#pragma once

#include <memory>
#include <string>

#include "scene/sceneDefinition.h"

// The definition of scene `id` from the first list that defines it (its
// Condition holding), or null after a message naming the lists read.
std::unique_ptr<SceneDefinition> findSceneDefinition(const std::string& id, SceneContext context);
