// The functions control scripts call to steer the visualiser: the scene
// registry, the render list, messages, screenshots, tweak slots, the window,
// settings and the synthetic tempo. Each is a thin adapter that converts its
// arguments, finds the visualiser through `currentScript` and calls it.
#pragma once

#include <string>

class CJsEngine;

// Registers every host function in its fixed order (after the base library).
void registerHostFunctions(CJsEngine& engine);

// Version texts as numbers: every "v" reads as "."; -1 when a is older than
// b, 1 when b is older than a, else 0.
int compareVersion(const std::string& a, const std::string& b);
