// The texture cache: every texture that comes from a file or from an array a
// scene supplies, shared by name (or by identical contents) among the scenes
// that load it, and kept for `gl.texture_life` seconds after its last owner
// let go so that a returning scene finds it ready.
//
// File textures are decoded by loader threads (one per core, so a scene
// start costs about its longest share of the decodes rather than their sum)
// and uploaded by an upload thread on a context that shares the main one's
// textures: update() only publishes the textures whose fence has signalled,
// so frames carry no uploads at all. Where the uploader has no such context,
// update() uploads at most one texture instead, so that no frame carries
// more than one upload however many images finished together. Either way the
// first bind uploads (or waits for) its own texture at once. The loaders give
// images the layout the uploader copies fastest, so the upload itself does
// no conversion.
//
// The texture list is guarded by a mutex that a loader holds only while it
// scans the list and claims a record, never while it decodes; a record a
// loader is decoding stays alive (it holds a reference) even if the main
// thread drops it.
//
// Everything except the loaders runs on the main thread. The owner installs
// the cache as the rendering services' hook (texSetCacheHook) so that
// texBind and the size queries make textures resident.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <future>
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
    // The loaders' niceness: a few steps below the main thread, so that when
    // both want a core the frames get about three times the loaders' share.
    static constexpr int kLoaderNice = 5;

    // Starts `loaders` loader threads, 0 for one per core (fatal when none
    // can be started). `uploader` must outlive the cache; `settings` give
    // `gl.texture_life`.
    CTextureCache(SettingsAccess* settings, TextureUploader* uploader, int loaders = 0);
    // Stops the loaders if destroy() was not called (waiting as long as they
    // take) and frees every texture.
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
    // Once per frame: publishes every texture uploaded off the main thread
    // whose fence has signalled (or, without an upload thread, uploads the
    // first texture the loaders finished) and frees at most one texture
    // unused for longer than its life.
    void update();
    // Stops the loaders (fatal if they do not all stop within 200 polls of
    // 10 ms) and frees every texture. Called at shutdown; the destructor does the
    // same without the time limit when it was not called.
    void destroy();

    // Counters for tests and benchmarks.
    struct Statistics {
        int uploads = 0;    // images uploaded
        int waitPolls = 0;  // 10 ms polls spent waiting for the loader
        int published = 0;  // textures uploaded by the upload thread, published
    };
    const Statistics& statistics() const { return statistics_; }
    int loaderCount() const { return static_cast<int>(loaders_.size()); }
    // Whether an upload thread with a shared context runs.
    bool uploadsOffThread() const { return uploadThread_.joinable(); }
    // The record of `id`, or null (main thread).
    const CTextureCacheTexture* find(int id) const;

private:
    using TexturePtr = std::shared_ptr<CTextureCacheTexture>;

    void startLoaders(int count);
    void loaderMain();
    // What a loader takes out of the list lock: a texture to decode (or
    // none) with pixel memory to decode into, and memory to free.
    struct LoaderJob {
        TexturePtr texture;
        std::vector<uint8_t> spare;
        std::vector<std::vector<uint8_t>> unused;
    };
    // Claims the first texture no loader has taken, waiting up to one poll
    // for a load when there is none. Uploaded images become spare pixel
    // memory for the next decodes; an idle loader lets all of it go.
    void nextToDecode(LoaderJob* job);
    TexturePtr findShared(int id) const;
    void upload(CTextureCacheTexture& texture);
    void freeTexture(const TexturePtr& texture);
    void expireOne();
    int textureLife();
    void stopLoader(bool timeLimited);
    void startUploadThread();
    void uploadThreadMain(std::promise<bool>* started);
    void stopUploadThread();
    // The first texture with an image and without an upload, claimed (list lock).
    TexturePtr nextToUpload();
    // Main thread: gives the record its finished off-thread texture.
    void publish(CTextureCacheTexture& texture);
    // Main thread, first bind: the record's upload, made here or awaited.
    void uploadNow(const TexturePtr& texture);

    SettingsAccess* settings_;
    TextureUploader* uploader_;
    mutable std::mutex listMutex_;
    // Wakes idle loaders for a new load or the stop request.
    std::condition_variable wake_;
    std::vector<TexturePtr> textures_;
    // Counts loads (list lock), so a loader that found nothing to do cannot
    // sleep through a load made just after its scan.
    uint64_t loadsMade_ = 0;
    int idleLoaders_ = 0;  // waiting for a load (list lock)
    // Pixel memory of uploaded images (list lock), at most one a loader and
    // one more: decoding into pages already mapped saves faulting in a fresh
    // image's worth of them.
    std::vector<std::vector<uint8_t>> spares_;
    size_t sparesKept_ = 0;
    uint32_t lastExpiryCheck_;
    // Images without alpha get an opaque one on the loaders (see the uploader).
    const bool fourChannels_;
    // Set by the main thread; cleared by the last loader to stop, as its
    // acknowledgement.
    std::atomic<bool> stopRequest_{false};
    std::atomic<int> runningLoaders_{0};
    std::vector<std::thread> loaders_;
    bool destroyed_ = false;
    // The upload thread (not started without a shared context); woken by
    // the loaders when an image is ready, stopped through its flag (list lock).
    std::thread uploadThread_;
    std::condition_variable uploadWake_;
    bool uploadStop_ = false;
    Statistics statistics_;
};
