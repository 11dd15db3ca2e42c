// What a running scene needs from the visualiser that plays it: the shared
// registers, the frame's time step, the render tree (innermost job, child
// render requests, the emptying of the render list after a VM error), the
// sound analyser, the script host and the texture loader.
//
// The scene runtime and the natives reach everything outside the scene
// through this one interface, so that the visualiser, the preview tool and
// test fakes can each play scenes.
#pragma once

#include <string>

#include "scene/sceneContext.h"

class CScene;
class SoundAnalyser;
class SoundSource;

// Textures that come from files or from arrays a scene supplies, shared
// between scenes and released per owner (the scene id). The texture cache
// implements it; `DirectSceneTextures` decodes synchronously.
class SceneTextures {
public:
    virtual ~SceneTextures() = default;
    // The texture id for the image file at virtual `path`, 0 when none.
    virtual int load(const std::string& path, const std::string& owner) = 0;
    // A texture from `width` x `height` x `depth` pixels: one packed RGBA word
    // each, or four floats each when `isFloat`. 0 on failure.
    virtual int createFromArray(int width, int height, int depth, const void* data, bool isFloat,
                                const std::string& owner) = 0;
    // Gives up one use (or every use, `all`) of texture `id` by `owner`.
    virtual void release(int id, const std::string& owner, bool all) = 0;
    // The scene `owner` ended: every use it still holds is given up.
    virtual void sceneFinished(const std::string& owner) = 0;
};

class SceneHost : public ScriptEvaluator, public RenderNodeProperties {
public:
    static constexpr int kSharedRegisters = 64;

    // The 64 floats that scenes share through ids 300-363.
    virtual float* sharedRegisters() = 0;
    // The filtered frame time step in seconds, and its replacement (thumbnails).
    virtual float timePass() = 0;
    virtual void setTimePass(float seconds) = 0;
    // Width / height of the size at which scenes render.
    virtual float aspectRatio() = 0;
    // The time step of the innermost render job, 0 when no job runs.
    virtual float innermostJobTime() = 0;
    // Pushes a job for child `index` of the innermost job's node; width and
    // height both non-zero render it into a texture of that size.
    virtual void pushChildJob(int index, float time, int width, int height) = 0;
    // The texture id of the last job that rendered into a texture.
    virtual int renderedTexture() = 0;
    // Called after a scene's VM failed and its resources were freed: removes
    // every render-list node, discards the pending jobs and releases the open
    // render textures.
    virtual void sceneVMError(CScene& scene) = 0;

    // The analyser whose values scenes read; null when there is none.
    virtual const SoundAnalyser* soundAnalyser() = 0;
    // Replaces the sound source and returns the previous one (thumbnails
    // render with a beat of their own).
    virtual SoundSource* swapSoundSource(SoundSource* source) = 0;
    // Lets the sound source produce timePass() worth of blocks and analyses them.
    virtual void advanceSound() = 0;

    // Runs JavaScript statements in the control script; errors are the script
    // host's warnings.
    virtual void executeScript(const std::string& code) = 0;
    virtual SceneTextures& textures() = 0;
    // The base directory (ends with '/'), where thumbnails are written.
    virtual std::string baseDirectory() = 0;
};
