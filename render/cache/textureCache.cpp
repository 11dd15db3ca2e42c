// The texture cache and its loader thread. See textureCache.h.
#include "render/cache/textureCache.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include "app/clock.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "vfs/crc.h"

namespace {

constexpr int kWaitPolls = 200;
constexpr uint32_t kPollMs = 10;
constexpr uint32_t kExpiryIntervalMs = 1000;

}  // namespace

CTextureCache::CTextureCache(SettingsAccess* settings, TextureUploader* uploader)
    : settings_(settings), uploader_(uploader), lastExpiryCheck_(osTickCount()) {
    Log(LOG_INFO, "Starting CTextureCache thread\n");
    try {
        loader_ = std::thread(&CTextureCache::loaderMain, this);
    } catch (const std::system_error&) {
        Log(LOG_FATAL, "CTextureCache: Error launching worker thread!\n");
    }
    Log(LOG_INFO, "CTextureCache started\n");
}

CTextureCache::~CTextureCache() {
    if (destroyed_) return;
    stopLoader(false);
    while (!textures_.empty())
        freeTexture(textures_.front());
}

void CTextureCache::destroy() {
    if (destroyed_) return;
    stopLoader(true);
    while (!textures_.empty())
        freeTexture(textures_.front());
    destroyed_ = true;
}

void CTextureCache::stopLoader(bool timeLimited) {
    if (!loader_.joinable()) return;
    Log(LOG_INFO, "Waiting for CTextureCache thread to finish\n");
    stopRequest_ = true;
    wake_.notify_all();
    for (int poll = 0; poll < kWaitPolls && stopRequest_; poll++)
        osSleep(kPollMs);
    if (stopRequest_ && timeLimited) Log(LOG_FATAL, "CTextureCache thread didn't stop in time\n");
    // Acknowledged (its last act), or the destructor, which may wait as long
    // as the loader needs rather than leave it running on freed state.
    loader_.join();
    Log(LOG_INFO, "CTextureCache finished\n");
}

void CTextureCache::loaderMain() {
    // The stop request is looked at between decodes, not only between scans,
    // so that a long queue cannot hold up shutdown.
    while (!stopRequest_) {
        TexturePtr job = nextToDecode();
        if (!job) {
            // A new load or the stop request cuts the rest short.
            std::unique_lock<std::mutex> lock(listMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(kPollMs));
            continue;
        }
        job->loadToImg();
        job->needsLoad = false;
    }
    stopRequest_ = false;
}

CTextureCache::TexturePtr CTextureCache::nextToDecode() {
    std::lock_guard<std::mutex> lock(listMutex_);
    TexturePtr job;
    for (const TexturePtr& texture : textures_) {
        if (texture->freeImage) {
            texture->image.reset();
            texture->freeImage = false;
        }
        if (!job && texture->needsLoad) job = texture;
    }
    return job;
}

int CTextureCache::load(const std::string& name, const std::string& owner) {
    for (const TexturePtr& texture : textures_) {
        if (texture->name != name) continue;
        Log(LOG_INFO, "CTextureCache: Reusing '%s'\n", name.c_str());
        texture->addOwner(owner);
        return texture->id;
    }
    Log(LOG_INFO, "CTextureCache: Loading texture '%s'\n", name.c_str());
    int id = uploader_->allocateSlot();
    auto texture = std::make_shared<CTextureCacheTexture>(name, id, uploader_->maxTextureSize());
    texture->lastUse = osTickCount();
    texture->addOwner(owner);
    texture->needsLoad = true;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        textures_.push_back(std::move(texture));
    }
    wake_.notify_one();
    return id;
}

int CTextureCache::createFromArray(int width, int height, int depth, const void* data, bool isFloat,
                                   const std::string& owner) {
    int64_t length = static_cast<int64_t>(width) * height * depth * 4 * (isFloat ? 4 : 1);
    if (width < 1 || height < 1 || depth < 1 || length > INT_MAX || !data) {
        Log(LOG_WARNING, "CTextureCache: Invalid array texture %d x %d x %d\n", width, height,
            depth);
        return 0;
    }
    uint32_t checksum = crc(data, static_cast<int>(length), 0);
    for (const TexturePtr& texture : textures_) {
        if (texture->width != width || texture->height != height || texture->depth != depth ||
            texture->isFloat != isFloat || texture->checksum != checksum ||
            texture->data.size() != static_cast<size_t>(length) ||
            std::memcmp(texture->data.data(), data, length) != 0)
            continue;
        Log(LOG_INFO, "CTextureCache: Reusing '%s'\n", texture->name.c_str());
        texture->addOwner(owner);
        return texture->id;
    }
    Log(LOG_INFO, "CTextureCache: Creating %stexture (USERGEN %d,%d,%d)\n", isFloat ? " FP" : "",
        width, height, depth);
    int id;
    if (!isFloat)
        id = uploader_->fromBytes(width, height, static_cast<const uint8_t*>(data));
    else if (depth == 1)
        id = uploader_->fromFloats(width, height, static_cast<const float*>(data));
    else
        id = uploader_->fromFloats3D(width, height, depth, static_cast<const float*>(data));
    auto texture = std::make_shared<CTextureCacheTexture>("USERGEN[" + std::to_string(id) + "]", id,
                                                          uploader_->maxTextureSize());
    texture->lastUse = osTickCount();
    texture->width = width;
    texture->height = height;
    texture->depth = depth;
    texture->isFloat = isFloat;
    texture->checksum = checksum;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    texture->data.assign(bytes, bytes + length);
    texture->addOwner(owner);
    std::lock_guard<std::mutex> lock(listMutex_);
    textures_.push_back(std::move(texture));
    return id;
}

void CTextureCache::release(int id, const std::string& owner, bool allOccurrences) {
    TexturePtr texture = findShared(id);
    if (!texture) {
        Log(LOG_WARNING, "CTextureCache: Unable to find texture %d to remove\n", id);
        return;
    }
    Log(LOG_INFO, "CTextureCache: Scene %s is finished with texture %s\n", owner.c_str(),
        texture->name.c_str());
    if (texture->removeOwner(owner, allOccurrences) || !allOccurrences)
        texture->lastUse = osTickCount();
    if (texture->owners.empty() && textureLife() == 0) {
        Log(LOG_INFO, "CTextureCache: Freeing '%s' as unused\n", texture->name.c_str());
        freeTexture(texture);
    }
}

void CTextureCache::sceneFinished(const std::string& owner) {
    std::vector<int> ids;
    for (const TexturePtr& texture : textures_) {
        if (!texture->ownedBy(owner)) continue;
        Log(LOG_WARNING, "CTextureCache: Scene %s did not automatically free texture %s\n",
            owner.c_str(), texture->name.c_str());
        if (texture->id != 0) ids.push_back(texture->id);
    }
    for (int id : ids)
        release(id, owner, true);
}

void CTextureCache::ensureTextureLoaded(int id) {
    TexturePtr texture = findShared(id);
    if (!texture) {
        Log(LOG_WARNING, "CTextureCache::ensureTextureLoaded texture ID %d not found\n", id);
        return;
    }
    if (texture->needsLoad) {
        for (int poll = 0; poll < kWaitPolls && texture->needsLoad; poll++) {
            osSleep(kPollMs);
            statistics_.waitPolls++;
        }
        if (texture->needsLoad)
            Log(LOG_SERIOUS, "CTextureCache::timed out waiting for Texture ID %d to load\n", id);
    }
    if (texture->imageReady) upload(*texture);
}

void CTextureCache::upload(CTextureCacheTexture& texture) {
    if (!texture.image) {
        texture.imageReady = false;
        return;
    }
    uploader_->uploadImage(texture.id, *texture.image);
    statistics_.uploads++;
    texture.imageReady = false;
    // From here the image is the loader's to free.
    texture.freeImage = true;
    Log(LOG_INFO, "CTextureCacheTexture::loadToGL done '%s'\n", texture.name.c_str());
}

void CTextureCache::report(int id) {
    TexturePtr texture = findShared(id);
    if (!texture) {
        Log(LOG_INFO, "Unknown Texture ID %d\n", id);
        return;
    }
    Log(LOG_INFO, "Texture '%s' %d x %d x %d\n", texture->name.c_str(), texture->width.load(),
        texture->height.load(), texture->depth);
}

int CTextureCache::pendingCount() const {
    int count = 0;
    for (const TexturePtr& texture : textures_)
        if (texture->needsLoad || texture->imageReady) count++;
    return count;
}

void CTextureCache::update() {
    for (const TexturePtr& texture : textures_)
        if (texture->imageReady) upload(*texture);
    if (osTickCount() - lastExpiryCheck_ < kExpiryIntervalMs) return;
    expireOne();
}

void CTextureCache::expireOne() {
    int life = textureLife();
    uint32_t now = osTickCount();
    for (const TexturePtr& texture : textures_) {
        if (!texture->owners.empty()) continue;
        if (static_cast<int64_t>(now - texture->lastUse) <= static_cast<int64_t>(life) * 1000)
            continue;
        Log(LOG_INFO, "CTextureCache: Freeing '%s' as over %d secs since used\n",
            texture->name.c_str(), life);
        // The check time stays, so the next frame looks again: one texture per frame.
        freeTexture(texture);
        return;
    }
    lastExpiryCheck_ = now;
}

void CTextureCache::freeTexture(const TexturePtr& texture) {
    TexturePtr keep = texture;  // the caller's reference may live in the list
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        auto found = std::find(textures_.begin(), textures_.end(), keep);
        if (found == textures_.end()) return;
        textures_.erase(found);
    }
    uploader_->remove(keep->id);
    keep->data.clear();
    // While the loader still decodes into the record, the image is the
    // loader's; its reference keeps the record alive until it is done. An
    // image already uploaded and only waiting for the loader to free it is
    // no reason for a warning; one that was never uploaded is.
    if (!keep->needsLoad && keep->image) {
        if (!keep->freeImage)
            Log(LOG_WARNING, "Image still allocated for '%s'\n", keep->name.c_str());
        keep->image.reset();
    }
}

int CTextureCache::textureLife() {
    return settings_ ? settings_->getInt("gl.texture_life", 60) : 60;
}

CTextureCache::TexturePtr CTextureCache::findShared(int id) const {
    for (const TexturePtr& texture : textures_)
        if (texture->id == id) return texture;
    return nullptr;
}

const CTextureCacheTexture* CTextureCache::find(int id) const {
    return findShared(id).get();
}
