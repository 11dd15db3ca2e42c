// The main thread loads, binds, releases and ends scenes at random while the
// loader decodes, so that ThreadSanitizer sees every hand-over between the
// two threads: list changes during scans, records dropped mid-decode, images
// freed by the loader after upload, waits on a texture being decoded. No GL:
// the uploader records, and checks each upload against the texture's name.
#include <gtest/gtest.h>

#include <map>
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
            cache->update();
        }
    }

    // Three loaders whatever the machine, so that claims are contended.
    void startCache() { cache = std::make_unique<CTextureCache>(&settings, &uploader, 3); }

    void run(int steps) {
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
