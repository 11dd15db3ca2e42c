// The cache's bookkeeping and its waits on the loader, with an uploader that
// records instead of GL.
#include <gtest/gtest.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/cache/sceneTextureCache.h"
#include "render/cache/textureCache.h"
#include "render/imageFile.h"
#include "tests/render/cache/cache_test_support.h"
#include "tests/support/log_capture.h"

namespace {

class TextureCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        files.put("tex/red.png", pngFile(solidImage(8, 4, 200, 10, 10)));
        files.put("tex/wide.png", pngFile(solidImage(64, 32, 10, 200, 10)));
        files.put("tex/blue.png", pngFile(solidImage(4, 4, 10, 10, 200)));
    }
    void TearDown() override {
        if (cache) cache->destroy();
    }
    void start(int maxSize = 4096, int loaders = 0) {
        uploader.maxSize = maxSize;
        cache = std::make_unique<CTextureCache>(&settings, &uploader, loaders);
    }
    // Waits (bounded) until the loaders have tried every texture in `ids`.
    void waitUntilDecoded(const std::vector<int>& ids) {
        auto decoding = [&] {
            for (int id : ids)
                if (cache->find(id)->needsLoad) return true;
            return false;
        };
        for (int i = 0; i < 5000 && decoding(); i++)
            osSleep(2);
        ASSERT_FALSE(decoding());
    }
    // Frames until the loader has nothing left (bounded, so a hang fails).
    void settle() {
        for (int frame = 0; frame < 2000 && cache->pendingCount() > 0; frame++) {
            cache->update();
            osSleep(5);
        }
        ASSERT_EQ(cache->pendingCount(), 0);
    }
    const RecordingUploader::Upload* uploadOf(int id) {
        for (const auto& upload : uploader.uploads)
            if (upload.id == id) return &upload;
        return nullptr;
    }

    LogCapture log;
    CacheTestFiles files;
    MemorySettings settings;
    RecordingUploader uploader;
    std::unique_ptr<CTextureCache> cache;
};

TEST(TextureFitSize, KeepsProportionsWithinTheLimit) {
    struct Case {
        int max, width, height, fittedWidth, fittedHeight;
    };
    const Case cases[] = {
        {16, 64, 32, 16, 8},  {16, 32, 64, 8, 16},
        {16, 16, 16, 16, 16}, {16, 10, 3, 10, 3},
        {16, 40, 40, 16, 16}, {16, 1000, 1, 16, 1},
        {16, 1, 1000, 1, 16}, {4096, 8192, 3000, 4096, 1500},
    };
    for (const Case& c : cases) {
        int width = c.width;
        int height = c.height;
        textureFitSize(c.max, &width, &height);
        EXPECT_EQ(width, c.fittedWidth) << c.width << "x" << c.height;
        EXPECT_EQ(height, c.fittedHeight) << c.width << "x" << c.height;
    }
}

TEST_F(TextureCacheTest, FileTextureIsDecodedThenUploadedByUpdate) {
    start();
    int id = cache->load("tex/red.png", "scene");
    EXPECT_GT(id, 0);
    EXPECT_TRUE(uploader.uploads.empty());  // nothing on the main thread at load
    settle();
    const auto* upload = uploadOf(id);
    ASSERT_NE(upload, nullptr);
    EXPECT_EQ(upload->width, 8);
    EXPECT_EQ(upload->height, 4);
    EXPECT_EQ(upload->firstPixel[0], 200);
    EXPECT_EQ(uploader.uploads.size(), 1u);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Loading texture 'tex/red.png'"));
    EXPECT_TRUE(log.contains(1, "CTextureCacheTexture::loadToImg start 'tex/red.png'"));
    EXPECT_TRUE(log.contains(1, "CTextureCacheTexture::loadToImg done 'tex/red.png'"));
    EXPECT_TRUE(log.contains(1, "CTextureCacheTexture::loadToGL done 'tex/red.png'"));
    cache->update();
    EXPECT_EQ(uploader.uploads.size(), 1u);  // at most once per texture
}

TEST_F(TextureCacheTest, OneUploadPerUpdateUntilEveryTextureIsInWhole) {
    uploader.fourChannels = true;
    start(4096, 3);
    struct Case {
        std::string name;
        Image source;
        bool jpeg;
    };
    std::vector<Case> cases = {
        {"tex/g0.png", gradientImage(37, 12, false), false},
        {"tex/g1.png", gradientImage(12, 41, true), false},
        {"tex/g2.jpg", gradientImage(29, 17, false), true},
        {"tex/g3.png", gradientImage(5, 33, false), false},
        {"tex/g4.jpg", gradientImage(44, 9, false), true},
    };
    for (const Case& c : cases)
        files.put(c.name,
                  c.jpeg ? jpegFile(c.source) : pngWithAlpha(c.source, c.name == "tex/g3.png"));
    std::vector<int> ids;
    for (const Case& c : cases)
        ids.push_back(cache->load(c.name, "scene"));
    // A tweak sees the file as it is (three bytes a pixel here).
    ids.push_back(cache->load("tex/g0.png;if (bpp == 3) flip();", "scene"));
    waitUntilDecoded(ids);

    // Every image is ready at once; still one upload a frame.
    int frames = 0;
    for (; cache->pendingCount() > 0 && frames < 20; frames++) {
        size_t before = uploader.uploads.size();
        cache->update();
        EXPECT_EQ(uploader.uploads.size(), before + 1);
    }
    EXPECT_EQ(frames, static_cast<int>(ids.size()));
    EXPECT_EQ(cache->statistics().uploads, frames);

    for (size_t i = 0; i < ids.size(); i++) {
        std::string file = i < cases.size() ? cases[i].name : "tex/g0.png";
        std::unique_ptr<Image> expected = imageLoad(file.c_str());
        ASSERT_NE(expected, nullptr);
        if (i == cases.size()) imageFlip(expected.get());
        imageAddAlpha(expected.get());
        const auto* upload = uploadOf(ids[i]);
        ASSERT_NE(upload, nullptr) << file;
        EXPECT_TRUE(upload->hasAlpha) << file;
        EXPECT_EQ(upload->width, expected->width) << file;
        EXPECT_EQ(upload->height, expected->height) << file;
        EXPECT_EQ(upload->pixels, expected->pixels) << file;
    }
    EXPECT_EQ(uploader.misuses, 0);
}

TEST_F(TextureCacheTest, TextureReleasedWhileItsUploadIsPendingIsNeverUploaded) {
    settings.setInt("gl.texture_life", 0);
    uploader.fourChannels = true;
    start(4096, 2);
    int red = cache->load("tex/red.png", "a");
    int wide = cache->load("tex/wide.png", "b");
    waitUntilDecoded({red, wide});
    cache->release(red, "a", false);
    EXPECT_EQ(cache->find(red), nullptr);
    EXPECT_EQ(uploader.live.count(red), 0u);
    EXPECT_TRUE(log.contains(2, "Image still allocated for 'tex/red.png'")) << log.all();
    settle();
    ASSERT_EQ(uploader.uploads.size(), 1u);
    EXPECT_EQ(uploader.uploads[0].id, wide);
    EXPECT_EQ(uploader.uploads[0].firstPixel[1], 200);
    EXPECT_EQ(uploader.misuses, 0);
}

TEST_F(TextureCacheTest, ImagesLargerThanTheLimitAreScaledDown) {
    start(16);
    int id = cache->load("tex/wide.png", "scene");
    cache->ensureTextureLoaded(id);
    const auto* upload = uploadOf(id);
    ASSERT_NE(upload, nullptr);
    EXPECT_EQ(upload->width, 16);
    EXPECT_EQ(upload->height, 8);
    EXPECT_EQ(cache->find(id)->width, 16);
    EXPECT_EQ(cache->find(id)->height, 8);
    log.clear();
    cache->report(id);
    EXPECT_TRUE(log.contains(1, "Texture 'tex/wide.png' 16 x 8 x 1")) << log.all();
}

TEST_F(TextureCacheTest, TweakScriptRunsBeforeTheUpload) {
    start();
    int plain = cache->load("tex/red.png", "scene");
    int grey = cache->load("tex/red.png;grey()", "scene");
    EXPECT_NE(plain, grey);
    cache->ensureTextureLoaded(grey);
    cache->ensureTextureLoaded(plain);
    ASSERT_NE(uploadOf(grey), nullptr);
    int value = (200 + 10 + 10) * 85 >> 8;
    EXPECT_EQ(uploadOf(grey)->firstPixel[0], value);
    EXPECT_EQ(uploadOf(grey)->firstPixel[1], value);
    EXPECT_EQ(uploadOf(plain)->firstPixel[0], 200);
    EXPECT_EQ(files.reads("tex/red.png"), 2);
}

TEST_F(TextureCacheTest, UndecodableFileIsTriedOnceAndNotWaitedForAgain) {
    start();
    files.put("tex/broken.png", "not a png at all");
    int missing = cache->load("tex/none.png;grey()", "scene");
    int broken = cache->load("tex/broken.png", "scene");
    cache->ensureTextureLoaded(missing);
    cache->ensureTextureLoaded(broken);
    int polls = cache->statistics().waitPolls;
    cache->ensureTextureLoaded(missing);
    cache->ensureTextureLoaded(broken);
    cache->update();
    EXPECT_EQ(cache->statistics().waitPolls, polls);
    EXPECT_EQ(cache->pendingCount(), 0);
    EXPECT_TRUE(uploader.uploads.empty());
    EXPECT_EQ(files.reads("tex/none.png"), 1);
    EXPECT_EQ(log.count("can't load image 'tex/none.png'\n"), 1u) << log.all();
    EXPECT_EQ(log.count("can't load image 'tex/broken.png'"), 1u);
}

TEST_F(TextureCacheTest, BindWaitsAtMost200PollsForASlowLoader) {
    start();
    files.hold("tex/red.png");
    int id = cache->load("tex/red.png", "scene");
    files.waitUntilHeld();
    cache->ensureTextureLoaded(id);
    EXPECT_EQ(cache->statistics().waitPolls, 200);
    EXPECT_TRUE(log.contains(
        5, "CTextureCache::timed out waiting for Texture ID " + std::to_string(id) + " to load"))
        << log.all();
    EXPECT_TRUE(uploader.uploads.empty());
    files.open();
    settle();
    EXPECT_NE(uploadOf(id), nullptr);
}

TEST_F(TextureCacheTest, TextureDroppedWhileDecodingIsNeverUploaded) {
    settings.setInt("gl.texture_life", 0);
    start();
    files.hold("tex/red.png");
    int dropped = cache->load("tex/red.png", "scene");
    files.waitUntilHeld();
    cache->release(dropped, "scene", false);
    EXPECT_EQ(cache->find(dropped), nullptr);
    EXPECT_EQ(uploader.live.count(dropped), 0u);
    files.open();
    // The loader works in list order, so once this one is in, the dropped
    // record's decode has finished.
    int next = cache->load("tex/blue.png", "scene");
    EXPECT_EQ(next, dropped);  // the id was free again
    cache->ensureTextureLoaded(next);
    settle();
    ASSERT_EQ(uploader.uploads.size(), 1u);
    EXPECT_EQ(uploader.uploads[0].firstPixel[2], 200);  // blue's pixels, not red's
    EXPECT_EQ(uploader.misuses, 0);
}

TEST_F(TextureCacheTest, ShutdownWithAStuckLoaderIsFatal) {
    start();
    files.hold("tex/red.png");
    cache->load("tex/red.png", "scene");
    files.waitUntilHeld();
    EXPECT_THROW(cache->destroy(), VisException);
    EXPECT_TRUE(log.contains(3, "CTextureCache thread didn't stop in time"));
    files.open();
    cache.reset();  // waits for the loader without a limit
    EXPECT_TRUE(uploader.live.empty());
}

TEST_F(TextureCacheTest, ShutdownFreesEverythingAndReportsHeldImages) {
    start();
    int file = cache->load("tex/red.png", "scene");
    const uint8_t bytes[16] = {1};
    int array = cache->createFromArray(2, 2, 1, bytes, false, "scene");
    for (int i = 0; i < 5000 && cache->find(file)->needsLoad; i++)
        osSleep(2);
    cache->destroy();
    EXPECT_TRUE(log.contains(1, "Waiting for CTextureCache thread to finish"));
    EXPECT_TRUE(log.contains(1, "CTextureCache finished"));
    // Decoded but never uploaded.
    EXPECT_TRUE(log.contains(2, "Image still allocated for 'tex/red.png'")) << log.all();
    EXPECT_EQ(cache->find(file), nullptr);
    EXPECT_EQ(cache->find(array), nullptr);
    EXPECT_TRUE(uploader.live.empty());
    EXPECT_EQ(uploader.misuses, 0);
}

TEST_F(TextureCacheTest, ArraysAreSharedOnlyWhenEveryByteAndDimensionMatches) {
    start();
    std::vector<uint8_t> bytes(4 * 4 * 4, 7);
    int first = cache->createFromArray(4, 4, 1, bytes.data(), false, "a");
    EXPECT_TRUE(log.contains(1, "CTextureCache: Creating texture (USERGEN 4,4,1)"));
    EXPECT_EQ(cache->createFromArray(4, 4, 1, bytes.data(), false, "b"), first);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Reusing 'USERGEN[" + std::to_string(first) + "]'"));
    EXPECT_NE(cache->createFromArray(2, 8, 1, bytes.data(), false, "a"), first);
    bytes[37] = 8;
    EXPECT_NE(cache->createFromArray(4, 4, 1, bytes.data(), false, "a"), first);
    std::vector<float> floats(2 * 2 * 3 * 4, 0.5f);
    int volume = cache->createFromArray(2, 2, 3, floats.data(), true, "a");
    EXPECT_TRUE(log.contains(1, "CTextureCache: Creating  FPtexture (USERGEN 2,2,3)"));
    EXPECT_EQ(cache->createFromArray(2, 2, 3, floats.data(), true, "b"), volume);
    EXPECT_EQ(uploader.arrays, 4);
    EXPECT_EQ(cache->find(first)->owners, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(cache->pendingCount(), 0);  // arrays never wait for the loader
    EXPECT_EQ(cache->createFromArray(0, 4, 1, bytes.data(), false, "a"), 0);
    EXPECT_EQ(cache->createFromArray(-4, -4, 1, bytes.data(), false, "a"), 0);
}

TEST_F(TextureCacheTest, ReleaseRemovesOneOccurrenceOrAll) {
    start();
    int id = cache->load("tex/red.png", "a");
    cache->load("tex/red.png", "b");
    cache->load("tex/red.png", "a");
    cache->ensureTextureLoaded(id);  // the loader is idle while the log is read
    cache->release(id, "a", false);
    EXPECT_EQ(cache->find(id)->owners, (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(log.contains(1, "CTextureCache: Scene a is finished with texture tex/red.png"));
    cache->load("tex/red.png", "a");
    cache->release(id, "a", true);
    EXPECT_EQ(cache->find(id)->owners, (std::vector<std::string>{"b"}));
    cache->release(id, "b", false);
    EXPECT_NE(cache->find(id), nullptr);  // kept for its life time
    cache->release(999, "a", false);
    EXPECT_TRUE(log.contains(2, "CTextureCache: Unable to find texture 999 to remove"));
    cache->ensureTextureLoaded(999);
    EXPECT_TRUE(log.contains(2, "CTextureCache::ensureTextureLoaded texture ID 999 not found"));
    log.clear();
    cache->report(999);
    EXPECT_TRUE(log.contains(1, "Unknown Texture ID 999"));
}

TEST_F(TextureCacheTest, ExpiryFreesOneTexturePerFrame) {
    settings.setInt("gl.texture_life", 1);
    start();
    const uint8_t a[4] = {1, 2, 3, 4};
    const uint8_t b[4] = {5, 6, 7, 8};
    int first = cache->createFromArray(1, 1, 1, a, false, "scene");
    int second = cache->createFromArray(1, 1, 1, b, false, "scene");
    int kept = cache->load("tex/blue.png", "other");
    cache->ensureTextureLoaded(kept);
    cache->sceneFinished("scene");
    osSleep(1100);
    cache->update();
    EXPECT_EQ(cache->find(first), nullptr);
    EXPECT_NE(cache->find(second), nullptr);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Freeing 'USERGEN[" + std::to_string(first) +
                                    "]' as over 1 secs since used"))
        << log.all();
    cache->update();
    EXPECT_EQ(cache->find(second), nullptr);
    cache->update();
    EXPECT_NE(cache->find(kept), nullptr);  // still owned
    EXPECT_EQ(uploader.live.count(first) + uploader.live.count(second), 0u);
}

TEST_F(TextureCacheTest, ScenesReachTheCacheThroughTheirTextureInterface) {
    start();
    CacheSceneTextures adapter(*cache);
    SceneTextures& textures = adapter;
    int id = textures.load("tex/red.png", "sceneA");
    EXPECT_EQ(cache->load("tex/red.png", "sceneB"), id);
    const uint8_t rgba[4] = {9, 9, 9, 9};
    int array = textures.createFromArray(1, 1, 1, rgba, false, "sceneA");
    EXPECT_EQ(cache->find(array)->owners, (std::vector<std::string>{"sceneA"}));
    textures.release(id, "sceneB", false);
    EXPECT_EQ(cache->find(id)->owners, (std::vector<std::string>{"sceneA"}));
    cache->ensureTextureLoaded(id);  // the loader is idle while the log is read
    textures.sceneFinished("sceneA");
    EXPECT_EQ(log.count("CTextureCache: Scene sceneA did not automatically free texture"), 2u);
    EXPECT_TRUE(cache->find(id)->owners.empty());
}

}  // namespace
