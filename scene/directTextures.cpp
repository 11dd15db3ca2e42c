#include "scene/directTextures.h"

#include <algorithm>

#include "app/log.h"
#include "render/imageFile.h"
#include "render/texture.h"
#include "render/textureInfos.h"

DirectSceneTextures::~DirectSceneTextures() {
    for (auto& [id, entry] : textures_)
        texDelete(id);
}

int DirectSceneTextures::load(const std::string& path, const std::string& owner) {
    for (auto& [id, entry] : textures_) {
        if (entry.name == path) {
            entry.owners.push_back(owner);
            return id;
        }
    }
    // A file that does not decode still gets its id: it binds as the fallback.
    int id = textureInfos().allocateCacheSlot();
    if (std::unique_ptr<Image> image = imageLoad(path.c_str()))
        texUploadImage(id, *image);
    else
        Log(LOG_WARNING, "can't load image '%s'\n", path.c_str());
    textures_[id] = Entry{path, {owner}};
    return id;
}

int DirectSceneTextures::createFromArray(int width, int height, int depth, const void* data,
                                         bool isFloat, const std::string& owner) {
    if (width <= 0 || height <= 0 || depth <= 0) {
        Log(LOG_WARNING, "Texture array of %d x %d x %d refused\n", width, height, depth);
        return 0;
    }
    int id;
    if (!isFloat)
        id = texFromBytes(width, height, static_cast<const uint8_t*>(data));
    else if (depth == 1)
        id = texFromFloats(width, height, static_cast<const float*>(data));
    else
        id = texFromFloats3D(width, height, depth, static_cast<const float*>(data));
    if (id > 0) textures_[id] = Entry{"", {owner}};
    return id;
}

void DirectSceneTextures::release(int id, const std::string& owner, bool all) {
    auto it = textures_.find(id);
    if (it == textures_.end()) {
        Log(LOG_WARNING, "Texture %d released by '%s' is unknown\n", id, owner.c_str());
        return;
    }
    std::vector<std::string>& owners = it->second.owners;
    for (auto o = owners.begin(); o != owners.end();) {
        if (*o != owner) {
            ++o;
            continue;
        }
        o = owners.erase(o);
        if (!all) break;
    }
    dropIfUnowned(id);
}

void DirectSceneTextures::sceneFinished(const std::string& owner) {
    std::vector<int> ids;
    for (const auto& [id, entry] : textures_)
        ids.push_back(id);
    for (int id : ids) {
        std::vector<std::string>& owners = textures_[id].owners;
        owners.erase(std::remove(owners.begin(), owners.end(), owner), owners.end());
        dropIfUnowned(id);
    }
}

std::vector<std::string> DirectSceneTextures::owners(int id) const {
    auto it = textures_.find(id);
    return it == textures_.end() ? std::vector<std::string>{} : it->second.owners;
}

void DirectSceneTextures::dropIfUnowned(int id) {
    auto it = textures_.find(id);
    if (it == textures_.end() || !it->second.owners.empty()) return;
    texDelete(id);
    textures_.erase(it);
}
