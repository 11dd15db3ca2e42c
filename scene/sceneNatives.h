// The natives that need a scene or the visualiser: the graphics natives
// (vertex buffers, state, matrices, textures, render targets, shaders,
// viewport sampling, visualiser ids, child scenes) and the scene natives
// (XML parameters, the control script, data files). They replace the
// placeholders the VM registers, so the table order never changes.
#pragma once

#include <string>

#include "vm/vm.h"

class CScene;

// Installs every handler below in the native table; call after the VM
// registry exists (later registries get them too). False when a signature is
// missing from the table.
bool sceneInstallNatives();

// The scene a native serves; null (after a level-5 message and with the
// error flag set) when the VM belongs to no scene.
CScene* nativeScene(VMState* s);

// Integer text with base detection (0x hexadecimal, 0 octal, else decimal):
// signed when it starts with '-', else unsigned; the low 32 bits.
int32_t sceneTextToInt(const std::string& text);

bool installGraphicsNatives();
bool installSceneParameterNatives();
