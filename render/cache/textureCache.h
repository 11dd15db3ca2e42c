// The texture cache: every texture that comes from a file or from an array a
// scene supplies, shared by name (or by identical contents) among the scenes
// that load it, and kept for `gl.texture_life` seconds after its last owner
// let go so that a returning scene finds it ready.
//
// File textures are decoded by a loader thread and uploaded on the main
// thread at the next update() or at the first bind, whichever comes first.
// The texture list is guarded by a mutex that the loader holds only while it
// scans the list, never while it decodes; a record the loader is decoding
// stays alive (it holds a reference) even if the main thread drops it.
//
// Everything except the loader runs on the main thread. The owner installs
// the cache as the rendering services' hook (texSetCacheHook) so that
// texBind and the size queries make textures resident.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/cache/textureCacheTexture.h"
#include "render/cache/textureUploader.h"
#include "render/texture.h"

class SettingsAccess;

class CTextureCache : public TextureCacheHook {
public:
    // Starts the loader thread (fatal when it cannot be started). `uploader`
    // must outlive the cache; `settings` give `gl.texture_life`.
    CTextureCache(SettingsAccess* settings, TextureUploader* uploader);
    // Stops the loader if destroy() was not called (waiting as long as it
    // takes) and frees every texture.
    ~CTextureCache() override;
    CTextureCache(const CTextureCache&) = delete;
    CTextureCache& operator=(const CTextureCache&) = delete;

    // The id of the file texture `name` (a path, optionally followed by ";"
    // and a tweak script) for `owner`; returns at once, decoding comes later.
    int load(const std::string& name, const std::string& owner);
    // A texture from `width` x `height` x `depth` RGBA pixels, bytes or
    // floats, shared with an earlier array of identical contents.
    int createFromArray(int width, int height, int depth, const void* data, bool isFloat,
                        const std::string& owner);
    // Drops one (or every) occurrence of `owner` from texture `id`.
    void release(int id, const std::string& owner, bool allOccurrences);
    // A scene ended: whatever it still owns is released, with a warning.
    void sceneFinished(const std::string& owner);

    // Waits (at most 200 polls of 10 ms) for the loader's attempt on `id`,
    // then uploads the image if it is ready.
    void ensureTextureLoaded(int id) override;
    void report(int id) override;

    // Textures whose image is not uploaded yet (being decoded or ready).
    int pendingCount() const;
    // Once per frame: uploads what the loader finished and frees at most one
    // texture unused for longer than its life.
    void update();
    // Stops the loader (fatal if it does not stop within 200 polls of 10 ms)
    // and frees every texture. Called at shutdown; the destructor does the
    // same without the time limit when it was not called.
    void destroy();

    // Counters for tests and benchmarks.
    struct Statistics {
        int uploads = 0;    // images uploaded
        int waitPolls = 0;  // 10 ms polls spent waiting for the loader
    };
    const Statistics& statistics() const { return statistics_; }
    // The record of `id`, or null (main thread).
    const CTextureCacheTexture* find(int id) const;

private:
    using TexturePtr = std::shared_ptr<CTextureCacheTexture>;

    void loaderMain();
    // Under the list lock: frees images the main thread is done with and
    // picks the first texture still to decode.
    TexturePtr nextToDecode();
    TexturePtr findShared(int id) const;
    void upload(CTextureCacheTexture& texture);
    void freeTexture(const TexturePtr& texture);
    void expireOne();
    int textureLife();
    void stopLoader(bool timeLimited);

    SettingsAccess* settings_;
    TextureUploader* uploader_;
    mutable std::mutex listMutex_;
    // Wakes the idle loader for a new load or the stop request.
    std::condition_variable wake_;
    std::vector<TexturePtr> textures_;
    uint32_t lastExpiryCheck_;
    std::atomic<bool> stopRequest_{false};
    std::thread loader_;
    bool destroyed_ = false;
    Statistics statistics_;
};
