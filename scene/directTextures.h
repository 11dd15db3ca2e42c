// Scene textures decoded and uploaded at once on the calling thread, shared
// by file name and released when their last owner gives them up. Used by
// tools and tests, and by the visualiser until the texture cache with its
// loader thread takes over behind the same interface.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scene/sceneHost.h"

class DirectSceneTextures : public SceneTextures {
public:
    ~DirectSceneTextures() override;
    int load(const std::string& path, const std::string& owner) override;
    int createFromArray(int width, int height, int depth, const void* data, bool isFloat,
                        const std::string& owner) override;
    void release(int id, const std::string& owner, bool all) override;
    void sceneFinished(const std::string& owner) override;

    // Textures alive and the owners of one (tests).
    size_t count() const { return textures_.size(); }
    std::vector<std::string> owners(int id) const;

private:
    struct Entry {
        std::string name;  // file path; empty for array textures
        std::vector<std::string> owners;
    };
    void dropIfUnowned(int id);
    std::map<int, Entry> textures_;
};
