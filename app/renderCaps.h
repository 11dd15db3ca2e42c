// What the capability probe found, in the form the rendering services take.
// Header-only, so that a program linking both the window library and the
// rendering services (the visualiser, the preview, benchmarks) shares it
// without the window library depending on rendering.
#pragma once

#include "app/glCaps.h"
#include "render/renderState.h"

inline RenderCaps renderCapsFrom(const GLCapabilities& found, SettingsAccess& settings) {
    RenderCaps caps;
    caps.multitexture = found.multitexture;
    caps.vertexBufferObjects = found.vertexBufferObjects;
    caps.floatTextures = found.floatTextures;
    caps.floatTextureFormat = static_cast<GLenum>(floatTextureFormat(found, settings));
    caps.floatRenderTextureFormat = static_cast<GLenum>(floatRenderTextureFormat(found, settings));
    return caps;
}
