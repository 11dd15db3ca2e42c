// The main thread loads, binds, releases and ends scenes at random while the
// loader decodes, so that ThreadSanitizer sees every hand-over between the
// two threads: list changes during scans, records dropped mid-decode, images
// freed by the loader after upload, waits on a texture being decoded. No GL:
// the uploader records, and checks each upload against the texture's name.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/random.h"
#include "app/settingsAccess.h"
#include "js/engine.h"
#include "render/cache/textureCache.h"
#include "tests/render/cache/cache_test_support.h"
#include "tests/support/log_capture.h"

namespace {

constexpr int kFiles = 12;
constexpr int kScenes = 6;

std::string fileName(int i) {
    return "tex/stress" + std::to_string(i) + ".png";
}
// File i is (8 + i) x (4 + i) pixels of red 20 x i.
int fileIndex(const std::string& name) {
    return std::stoi(name.substr(10));
}

// Uploads on the cache's upload thread: each becomes a pending handle that
// the main thread publishes (recorded as an upload of the id then) or that
// is discarded; a fence signals on its second poll. A publish of an id that
// is not allocated, a handle used twice or an upload inside update() is a
// misuse; handles still pending at the end leaked.
class OffThreadUploader : public RecordingUploader {
public:
    bool uploadsOffThread() override { return true; }
    bool beginUploadThread() override { return true; }
    OffThreadUpload uploadOffThread(const Image& image) override {
        Upload upload{0, image.width, image.height, image.hasAlpha, {}, {}};
        std::copy(image.pixels.begin(), image.pixels.begin() + 3, upload.firstPixel);
        std::lock_guard<std::mutex> lock(mutex);
        unsigned handle = ++lastHandle;
        pending[handle] = upload;
        return {handle, &pending[handle]};
    }
    bool uploadDone(const OffThreadUpload& upload, bool wait) override {
        return wait || ++polls[upload.glName] >= 2;
    }
    void publish(int id, OffThreadUpload& upload, int, int) override {
        Upload done;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto found = pending.find(upload.glName);
            if (found == pending.end() || !live.count(id)) {
                misuses++;
                return;
            }
            done = found->second;
            pending.erase(found);
        }
        done.id = id;
        if (onUpload) onUpload(done);
        uploads.push_back(done);
        upload = {};
    }
    void discard(OffThreadUpload& upload) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (pending.erase(upload.glName) != 1) misuses++;
        upload = {};
        discarded++;
    }
    void uploadImage(int id, const Image& image) override {
        if (inUpdate) misuses++;
        RecordingUploader::uploadImage(id, image);
    }

    std::mutex mutex;
    unsigned lastHandle = 0;
    std::map<unsigned, Upload> pending;
    std::map<unsigned, int> polls;  // main thread
    std::atomic<int> discarded{0};
    bool inUpdate = false;
};

struct Held {
    int id;
    std::string owner;
};

class StressTest : public ::testing::Test {
protected:
    void SetUp() override {
        visSeedRandom(1234);
        for (int i = 0; i < kFiles; i++)
            files.put(fileName(i), pngFile(solidImage(8 + i, 4 + i, uint8_t(20 * i), 1, 2)));
        uploader.onUpload = [this](const RecordingUploader::Upload& upload) { check(upload); };
        offThread.onUpload = uploader.onUpload;
    }

    void check(const RecordingUploader::Upload& upload) {
        const CTextureCacheTexture* texture = cache->find(upload.id);
        if (!texture) {
            mismatches++;
            return;
        }
        int i = fileIndex(texture->name);
        bool grey = texture->name.find(";grey()") != std::string::npos;
        int red = grey ? (20 * i + 3) * 85 >> 8 : 20 * i;
        if (upload.width != 8 + i || upload.height != 4 + i || upload.firstPixel[0] != red)
            mismatches++;
    }

    std::string randomName() {
        std::string name = fileName(visRand() % kFiles);
        int kind = visRand() % 4;
        if (kind == 0) return name + ";grey()";
        if (kind == 1) return "tex/missing" + std::to_string(visRand() % 3) + ".png";
        return name;
    }
    std::string randomOwner() { return "scene" + std::to_string(visRand() % kScenes); }

    void step() {
        int op = visRand() % 100;
        if (op < 40) {
            std::string owner = randomOwner();
            held.push_back({cache->load(randomName(), owner), owner});
        } else if (op < 65 && !held.empty()) {
            size_t which = visRand() % held.size();
            cache->release(held[which].id, held[which].owner, false);
            held.erase(held.begin() + static_cast<long>(which));
        } else if (op < 80 && !held.empty()) {
            cache->ensureTextureLoaded(held[visRand() % held.size()].id);
        } else if (op < 85) {
            std::string owner = randomOwner();
            cache->sceneFinished(owner);
            std::vector<Held> kept;
            for (const Held& h : held)
                if (h.owner != owner) kept.push_back(h);
            held.swap(kept);
        } else if (op < 88) {
            uint8_t pixel[4] = {uint8_t(visRand() % 4), 0, 0, 255};
            std::string owner = randomOwner();
            held.push_back({cache->createFromArray(1, 1, 1, pixel, false, owner), owner});
        } else if (op < 92) {
            // The control script's engine runs on the main thread while tweak
            // scripts run in engines of their own on the loader.
            CJsEngine engine;
            engine.runScript("var width = 100; var a = [1, 2, 3];");
            EXPECT_EQ(engine.evalToString("a.length + width"), "103");
        } else {
            offThread.inUpdate = true;
            cache->update();
            offThread.inUpdate = false;
        }
    }

    // Three loaders whatever the machine, so that claims are contended.
    void startCache() { cache = std::make_unique<CTextureCache>(&settings, active, 3); }

    void run(int steps) {
        RecordingUploader& uploader = *active;
        startCache();
        for (int i = 0; i < steps; i++)
            step();
        for (const Held& h : held)
            cache->ensureTextureLoaded(h.id);
        cache->update();
        cache->destroy();
        EXPECT_EQ(uploader.misuses, 0);
        EXPECT_EQ(mismatches, 0);
        EXPECT_TRUE(uploader.live.empty());
        EXPECT_GT(uploader.uploads.size(), 20u);
        EXPECT_FALSE(log.contains(5, "timed out")) << log.all();
    }

    LogCapture log;
    CacheTestFiles files;
    MemorySettings settings;
    RecordingUploader uploader;
    OffThreadUploader offThread;
    RecordingUploader* active = &uploader;
    std::unique_ptr<CTextureCache> cache;
    std::vector<Held> held;
    int mismatches = 0;
};

TEST_F(StressTest, TexturesFreedAtOnceWhileTheLoaderDecodes) {
    settings.setInt("gl.texture_life", 0);
    run(4000);
    EXPECT_TRUE(log.contains("as unused"));
}

TEST_F(StressTest, TexturesSharedAndKeptWhileTheLoaderDecodes) {
    settings.setInt("gl.texture_life", 60);
    uploader.fourChannels = true;  // the direct decoders and recycled memory
    run(4000);
    EXPECT_TRUE(log.contains("CTextureCache: Reusing"));
}

TEST_F(StressTest, UploadThreadHandsOverWhileTexturesComeAndGo) {
    settings.setInt("gl.texture_life", 0);
    offThread.fourChannels = true;
    active = &offThread;
    run(4000);
    EXPECT_TRUE(log.contains("Uploading on a shared context"));
    EXPECT_GT(cache->statistics().published, 0);
    EXPECT_TRUE(offThread.pending.empty()) << offThread.pending.size() << " leaked";
    EXPECT_EQ(offThread.uploads.size(),
              static_cast<size_t>(cache->statistics().published + cache->statistics().uploads));
}

TEST_F(StressTest, BindRightAfterLoadRacesTheLoader) {
    settings.setInt("gl.texture_life", 0);
    startCache();
    for (int round = 0; round < 300; round++) {
        int id = cache->load(fileName(round % kFiles), "scene");
        if (round % 3 == 0) cache->update();
        cache->ensureTextureLoaded(id);
        if (round % 2 == 0)
            cache->release(id, "scene", false);
        else
            cache->sceneFinished("scene");
    }
    cache->destroy();
    EXPECT_EQ(uploader.misuses, 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(uploader.uploads.size(), 300u);
    EXPECT_TRUE(uploader.live.empty());
}

TEST_F(StressTest, ShutdownWhileLoadersAreBusy) {
    settings.setInt("gl.texture_life", 0);
    uploader.fourChannels = true;
    for (int round = 0; round < 20; round++) {
        startCache();
        for (int i = 0; i < kFiles; i++) {
            cache->load(fileName(i), "scene");
            cache->load(fileName(i) + ";grey()", "scene");
        }
        for (int frame = 0; frame < round % 4; frame++)
            cache->update();
        if (round % 3 == 0) cache->sceneFinished("scene");
        cache->destroy();
        EXPECT_EQ(cache->pendingCount(), 0);
        cache.reset();
        EXPECT_TRUE(uploader.live.empty()) << round;
    }
    EXPECT_EQ(log.count("CTextureCache finished"), 20u);
    EXPECT_FALSE(log.contains(3, "didn't stop in time"));
    EXPECT_EQ(uploader.misuses, 0);
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
