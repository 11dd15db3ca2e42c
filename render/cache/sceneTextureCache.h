// The texture cache behind the scenes' texture interface, so that texLoad,
// texFromArray, texDestroy and the end of a scene go through the cache. Only
// this header knows the scene side's interface; the cache itself does not.
#pragma once

#include <string>

#include "render/cache/textureCache.h"
#include "scene/sceneHost.h"

class CacheSceneTextures : public SceneTextures {
public:
    explicit CacheSceneTextures(CTextureCache& cache) : cache_(cache) {}

    int load(const std::string& path, const std::string& owner) override {
        return cache_.load(path, owner);
    }
    int createFromArray(int width, int height, int depth, const void* data, bool isFloat,
                        const std::string& owner) override {
        return cache_.createFromArray(width, height, depth, data, isFloat, owner);
    }
    void release(int id, const std::string& owner, bool all) override {
        cache_.release(id, owner, all);
    }
    void sceneFinished(const std::string& owner) override { cache_.sceneFinished(owner); }

private:
    CTextureCache& cache_;
};
