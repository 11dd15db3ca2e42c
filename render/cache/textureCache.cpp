// The texture cache and its loader threads. See textureCache.h.
#include "render/cache/textureCache.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "vfs/crc.h"

namespace {

constexpr int kWaitPolls = 200;
constexpr uint32_t kPollMs = 10;
constexpr uint32_t kExpiryIntervalMs = 1000;
// Decoding is bound by the processor: loaders beyond this many would only
// take cores from the frame loop.
constexpr int kMaxLoaders = 4;

}  // namespace

CTextureCache::CTextureCache(SettingsAccess* settings, TextureUploader* uploader, int loaders)
    : settings_(settings),
      uploader_(uploader),
      lastExpiryCheck_(osTickCount()),
      fourChannels_(uploader->wantsFourChannels()) {
    Log(LOG_INFO, "Starting CTextureCache thread\n");
    if (loaders < 1) loaders = static_cast<int>(std::thread::hardware_concurrency());
    loaders = std::min(std::max(loaders, 1), kMaxLoaders);
    // Only the direct decoders decode into given memory.
    sparesKept_ = fourChannels_ ? static_cast<size_t>(loaders) + 1 : 0;
    startLoaders(loaders);
    if (uploader_->uploadsOffThread()) startUploadThread();
    Log(LOG_INFO, "CTextureCache started\n");
}

CTextureCache::~CTextureCache() {
    if (destroyed_) return;
    stopLoader(false);
    stopUploadThread();
    while (!textures_.empty())
        freeTexture(textures_.front());
}

void CTextureCache::startLoaders(int count) {
    for (int i = 0; i < count; i++) {
        // Counted before the thread runs, so that a stop request made at once
        // still waits for it.
        runningLoaders_++;
        try {
            loaders_.emplace_back(&CTextureCache::loaderMain, this);
        } catch (const std::system_error&) {
            runningLoaders_--;
            break;
        }
    }
    // Fewer loaders only make decoding slower; none at all leaves every file
    // texture unloaded.
    if (loaders_.empty()) Log(LOG_FATAL, "CTextureCache: Error launching worker thread!\n");
}

void CTextureCache::destroy() {
    if (destroyed_) return;
    stopLoader(true);
    stopUploadThread();
    while (!textures_.empty())
        freeTexture(textures_.front());
    destroyed_ = true;
}

void CTextureCache::stopLoader(bool timeLimited) {
    if (loaders_.empty()) return;
    Log(LOG_INFO, "Waiting for CTextureCache thread to finish\n");
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        stopRequest_ = true;
    }
    wake_.notify_all();
    for (int poll = 0; poll < kWaitPolls && runningLoaders_ > 0; poll++)
        osSleep(kPollMs);
    if (runningLoaders_ > 0 && timeLimited)
        Log(LOG_FATAL, "CTextureCache thread didn't stop in time\n");
    // Acknowledged (the last loader's last act), or the destructor, which may
    // wait as long as the loaders need rather than leave them on freed state.
    for (std::thread& loader : loaders_)
        loader.join();
    loaders_.clear();
    Log(LOG_INFO, "CTextureCache finished\n");
}

void CTextureCache::loaderMain() {
    // Frames come first: a loader woken by a load must not take the
    // processor from the main thread in the middle of a frame. Relative to
    // the thread it came from, as a process started niced may not go back.
    auto self = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0) setpriority(PRIO_PROCESS, self, std::min(nice + kLoaderNice, 19));

    // The stop request is looked at between decodes, not only between scans,
    // so that a long queue cannot hold up shutdown.
    while (!stopRequest_) {
        LoaderJob job;
        nextToDecode(&job);
        job.unused.clear();
        if (!job.texture) continue;
        job.texture->loadToImg(fourChannels_, std::move(job.spare));
        job.texture->needsLoad = false;
        if (job.texture->imageReady) uploadWake_.notify_one();
    }
    // The last one out acknowledges for all.
    if (--runningLoaders_ == 0) stopRequest_ = false;
}

void CTextureCache::startUploadThread() {
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    try {
        uploadThread_ = std::thread(&CTextureCache::uploadThreadMain, this, &started);
    } catch (const std::system_error&) {
        return;
    }
    // The context is made current on the thread itself; where that fails
    // the uploads stay on the main thread.
    if (result.get()) {
        Log(LOG_INFO, "CTextureCache: Uploading on a shared context\n");
        return;
    }
    uploadThread_.join();
    Log(LOG_WARNING, "CTextureCache: No upload context; uploading on the main thread\n");
}

void CTextureCache::uploadThreadMain(std::promise<bool>* started) {
    bool ready = uploader_->beginUploadThread();
    started->set_value(ready);
    if (!ready) return;
    std::unique_lock<std::mutex> lock(listMutex_);
    while (!uploadStop_) {
        TexturePtr texture = nextToUpload();
        if (!texture) {
            // A loader wakes this thread; the time limit covers a wake that
            // came between the scan and the wait.
            uploadWake_.wait_for(lock, std::chrono::milliseconds(kPollMs));
            continue;
        }
        lock.unlock();
        OffThreadUpload upload = uploader_->uploadOffThread(*texture->image);
        lock.lock();
        if (texture->dropped) {
            uploader_->discard(upload);
        } else {
            texture->offThread = upload;
            texture->uploadFenced = true;
        }
    }
    lock.unlock();
    // Released here, before the window's context can go.
    uploader_->endUploadThread();
}

CTextureCache::TexturePtr CTextureCache::nextToUpload() {
    for (const TexturePtr& texture : textures_) {
        if (!texture->imageReady || texture->uploadClaimed || !texture->image) continue;
        texture->uploadClaimed = true;
        return texture;
    }
    return nullptr;
}

void CTextureCache::stopUploadThread() {
    if (!uploadThread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        uploadStop_ = true;
    }
    uploadWake_.notify_all();
    uploadThread_.join();
}

void CTextureCache::publish(CTextureCacheTexture& texture) {
    uploader_->publish(texture.id, texture.offThread, texture.width, texture.height);
    texture.uploadFenced = false;
    texture.imageReady = false;
    statistics_.published++;
    // From here the image is the loader's to free.
    texture.freeImage = true;
    Log(LOG_INFO, "CTextureCacheTexture::loadToGL done '%s'\n", texture.name.c_str());
}

void CTextureCache::uploadNow(const TexturePtr& texture) {
    bool mine = false;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        if (texture->imageReady && !texture->uploadClaimed) {
            texture->uploadClaimed = true;
            mine = true;
        }
    }
    if (mine) {
        upload(*texture);
        return;
    }
    // The upload thread has it: wait for its fence (the upload is under way,
    // so this is bounded by one upload).
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(listMutex_);
            if (!texture->imageReady) return;
            if (texture->uploadFenced) break;
        }
        osSleep(1);
    }
    std::lock_guard<std::mutex> lock(listMutex_);
    uploader_->uploadDone(texture->offThread, true);
    publish(*texture);
}

void CTextureCache::nextToDecode(LoaderJob* job) {
    std::unique_lock<std::mutex> lock(listMutex_);
    for (int scan = 0; scan < 2 && !stopRequest_; scan++) {
        for (const TexturePtr& texture : textures_) {
            if (texture->freeImage) {
                if (texture->image && spares_.size() < sparesKept_)
                    spares_.push_back(std::move(texture->image->pixels));
                else if (texture->image)
                    job->unused.push_back(std::move(texture->image->pixels));
                texture->image.reset();
                texture->freeImage = false;
            }
            if (texture->needsLoad && !texture->claimed) {
                texture->claimed = true;
                job->texture = texture;
                if (!spares_.empty()) {
                    job->spare = std::move(spares_.back());
                    spares_.pop_back();
                }
                return;
            }
        }
        // Nothing to decode: sleep until a load (or the stop request), or
        // one poll at most, which is how uploaded images get freed.
        if (scan == 0) {
            uint64_t seen = loadsMade_;
            idleLoaders_++;
            wake_.wait_for(lock, std::chrono::milliseconds(kPollMs),
                           [&] { return stopRequest_ || loadsMade_ != seen; });
            idleLoaders_--;
        }
    }
    // Idle: spare memory is only worth keeping while a burst of loads lasts.
    for (std::vector<uint8_t>& spare : spares_)
        job->unused.push_back(std::move(spare));
    spares_.clear();
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
    bool idle;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        textures_.push_back(std::move(texture));
        loadsMade_++;
        idle = idleLoaders_ > 0;
    }
    // Decoding starts now, not at the next frame. Busy loaders look at the
    // list again when they finish, so only an idle one is woken: a woken
    // thread may take the processor from this one, once per load otherwise.
    if (idle) wake_.notify_one();
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
    if (!texture->imageReady) return;
    if (uploadsOffThread())
        uploadNow(texture);
    else
        upload(*texture);
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
    if (uploadsOffThread()) {
        // Polling a fence costs no upload; every finished texture goes out.
        std::lock_guard<std::mutex> lock(listMutex_);
        for (const TexturePtr& texture : textures_)
            if (texture->uploadFenced && uploader_->uploadDone(texture->offThread, false))
                publish(*texture);
    } else {
        // One upload a frame: images that finish together would otherwise
        // stack their uploads into one long frame. The rest follow in the
        // next frames (or at their first bind).
        for (const TexturePtr& texture : textures_) {
            if (!texture->imageReady) continue;
            upload(*texture);
            break;
        }
    }
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
    bool uploading;
    {
        std::lock_guard<std::mutex> lock(listMutex_);
        auto found = std::find(textures_.begin(), textures_.end(), keep);
        if (found == textures_.end()) return;
        textures_.erase(found);
        keep->dropped = true;
        // The upload thread still reads the image; it deletes what it made.
        uploading = keep->uploadClaimed && !keep->uploadFenced && keep->imageReady;
        if (keep->uploadFenced) uploader_->discard(keep->offThread);
        keep->uploadFenced = false;
    }
    uploader_->remove(keep->id);
    keep->data.clear();
    // While the loader still decodes into the record, the image is the
    // loader's; its reference keeps the record alive until it is done. An
    // image already uploaded and only waiting for the loader to free it is
    // no reason for a warning; one that was never uploaded is.
    if (!keep->needsLoad && keep->image && !uploading) {
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
