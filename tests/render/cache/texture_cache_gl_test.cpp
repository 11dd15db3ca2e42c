// The cache with the real uploads: what scenes see through texBind.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <atomic>

#include "app/clock.h"
#include "render/cache/textureCache.h"
#include "render/imageFile.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "tests/render/cache/cache_test_support.h"
#include "tests/render/gl_fixture.h"
#include "tests/support/log_capture.h"

namespace {

class TextureCacheGlTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        files = std::make_unique<CacheTestFiles>();
        files->put("tex/UI/logo.png", pngFile(solidImage(4, 4, 250, 0, 0)));
        files->put("tex/sky.png", pngFile(solidImage(8, 8, 30, 90, 240)));
        cache = std::make_unique<CTextureCache>(host.settings(), &uploader);
        texSetCacheHook(cache.get());
    }
    void TearDown() override {
        texSetCacheHook(nullptr);
        if (cache) cache->destroy();
        cache.reset();
        files.reset();
        GlTest::TearDown();
    }
    // The colour drawn by a full-viewport quad with `id` bound to unit 0.
    std::array<uint8_t, 4> draw(int id) {
        glClear(GL_COLOR_BUFFER_BIT);
        texBind(0, id);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
        texBind(0, 0);
        return pixel(kGlWidth / 2, kGlHeight / 2);
    }
    void setLife(int seconds) { host.store.setInt("gl.texture_life", seconds); }
    // Frames, each a little apart, until `done` (bounded).
    template <typename Done>
    bool framesUntil(Done done, int limit = 600) {
        for (int frame = 0; frame < limit; frame++) {
            if (done()) return true;
            cache->update();
            osSleep(10);
        }
        return done();
    }

    LogCapture log;
    std::unique_ptr<CacheTestFiles> files;
    GlTextureUploader uploader;
    std::unique_ptr<CTextureCache> cache;
};

TEST_F(TextureCacheGlTest, SameNameFromTwoScenesIsOneTextureUntilBothReleasedAndLifePassed) {
    setLife(1);
    int first = cache->load("tex/sky.png", "sceneA");
    int second = cache->load("tex/sky.png", "sceneB");
    EXPECT_EQ(first, second);
    ASSERT_TRUE(framesUntil([&] { return cache->pendingCount() == 0; }));
    // The loader is idle now, so the log can be read.
    EXPECT_EQ(log.count("CTextureCache: Loading texture 'tex/sky.png'"), 1u);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Reusing 'tex/sky.png'"));
    EXPECT_NE(textureInfos().getGLid(first), 0u);
    EXPECT_EQ(draw(first)[2], 240);

    cache->release(first, "sceneA", false);
    osSleep(1100);
    framesUntil([] { return false; }, 20);
    ASSERT_NE(cache->find(first), nullptr) << "sceneB still owns it";
    EXPECT_EQ(draw(first)[2], 240);

    cache->release(first, "sceneB", false);
    cache->update();
    ASSERT_NE(cache->find(first), nullptr) << "kept for its life after the last release";
    ASSERT_TRUE(framesUntil([&] { return cache->find(first) == nullptr; }, 400));
    EXPECT_TRUE(log.contains(1, "CTextureCache: Freeing 'tex/sky.png' as over 1 secs since used"));
    EXPECT_EQ(textureInfos().find(first), nullptr);
}

TEST_F(TextureCacheGlTest, TweakedNameIsAnotherTexture) {
    int plain = cache->load("tex/sky.png", "scene");
    int grey = cache->load("tex/sky.png;grey()", "scene");
    EXPECT_NE(plain, grey);
    auto colour = draw(plain);
    EXPECT_EQ(colour[0], 30);
    EXPECT_EQ(colour[2], 240);
    int value = (30 + 90 + 240) * 85 >> 8;
    colour = draw(grey);
    EXPECT_EQ(colour[0], value);
    EXPECT_EQ(colour[1], value);
    EXPECT_EQ(colour[2], value);
    EXPECT_FALSE(log.contains("Reusing"));
}

TEST_F(TextureCacheGlTest, IdenticalArraysShareATextureAndOneChangedByteDoesNot) {
    std::vector<uint8_t> rgba(2 * 2 * 4, 0);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i + 1] = 200;
        rgba[i + 3] = 255;
    }
    int first = cache->createFromArray(2, 2, 1, rgba.data(), false, "sceneA");
    int again = cache->createFromArray(2, 2, 1, rgba.data(), false, "sceneB");
    EXPECT_EQ(first, again);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Reusing 'USERGEN[" + std::to_string(first) + "]'"));
    rgba[5] = 201;
    int changed = cache->createFromArray(2, 2, 1, rgba.data(), false, "sceneA");
    EXPECT_NE(changed, first);
    EXPECT_EQ(draw(first)[1], 200);
    EXPECT_EQ(cache->find(first)->owners.size(), 2u);
}

TEST_F(TextureCacheGlTest, MissingFileDrawsTheFallbackAndIsNotWaitedForAgain) {
    int logo = cache->load("tex/UI/logo.png", "__OSD__");
    cache->ensureTextureLoaded(logo);
    texSetFallbackTexture(logo);
    int missing = cache->load("tex/nothing.png", "scene");
    auto colour = draw(missing);
    EXPECT_EQ(colour[0], 250);
    EXPECT_EQ(colour[1], 0);
    EXPECT_TRUE(log.contains(2, "can't load image 'tex/nothing.png'"));
    int polls = cache->statistics().waitPolls;
    texBind(0, missing);
    EXPECT_EQ(renderState().currentTextureId, logo);
    texBind(0, 0);
    EXPECT_EQ(draw(missing)[0], 250);
    EXPECT_EQ(cache->statistics().waitPolls, polls);
    EXPECT_EQ(files->reads("tex/nothing.png"), 1);
    EXPECT_EQ(log.count("can't load image"), 1u);
    EXPECT_EQ(cache->pendingCount(), 0);
}

TEST_F(TextureCacheGlTest, LifeZeroFreesTheLastReleaseAtOnce) {
    setLife(0);
    int id = cache->load("tex/sky.png", "scene");
    cache->ensureTextureLoaded(id);
    GLuint name = textureInfos().getGLid(id);
    ASSERT_NE(name, 0u);
    cache->release(id, "scene", false);
    EXPECT_TRUE(log.contains(1, "CTextureCache: Freeing 'tex/sky.png' as unused"));
    // Uploaded, so its image was consumed even if the loader has not freed it yet.
    EXPECT_FALSE(log.contains("Image still allocated"));
    EXPECT_EQ(cache->find(id), nullptr);
    EXPECT_EQ(textureInfos().find(id), nullptr);
    EXPECT_FALSE(glIsTexture(name));
    // Loading it again decodes it again.
    int again = cache->load("tex/sky.png", "scene");
    EXPECT_EQ(draw(again)[2], 240);
    EXPECT_EQ(files->reads("tex/sky.png"), 2);
}

TEST_F(TextureCacheGlTest, SceneEndingWithTexturesWarnsOncePerTextureAndReleasesAll) {
    setLife(0);
    int sky = cache->load("tex/sky.png", "scene");
    cache->load("tex/sky.png", "scene");
    const uint8_t rgba[4] = {1, 2, 3, 4};
    int array = cache->createFromArray(1, 1, 1, rgba, false, "scene");
    int shared = cache->load("tex/UI/logo.png", "scene");
    cache->load("tex/UI/logo.png", "other");
    cache->ensureTextureLoaded(sky);
    cache->ensureTextureLoaded(shared);
    cache->sceneFinished("scene");
    EXPECT_EQ(log.count("CTextureCache: Scene scene did not automatically free texture"), 3u);
    EXPECT_TRUE(log.contains(2,
                             "CTextureCache: Scene scene did not automatically free texture "
                             "tex/sky.png"));
    EXPECT_EQ(cache->find(sky), nullptr);
    EXPECT_EQ(cache->find(array), nullptr);
    ASSERT_NE(cache->find(shared), nullptr);
    EXPECT_EQ(cache->find(shared)->owners, (std::vector<std::string>{"other"}));
    log.clear();
    cache->sceneFinished("scene");
    EXPECT_EQ(log.count("did not automatically free"), 0u);
}

TEST_F(TextureCacheGlTest, EveryTextureArrivesWholeOneUploadPerUpdate) {
    const std::vector<std::pair<std::string, Image>> sources = {
        {"tex/tall.png", gradientImage(7, 45, false)},
        {"tex/wide.jpg", gradientImage(51, 13, false)},
        {"tex/clear.png", gradientImage(22, 9, true)},
    };
    std::vector<int> ids;
    for (const auto& source : sources) {
        bool jpeg = source.first.find(".jpg") != std::string::npos;
        files->put(source.first,
                   jpeg ? jpegFile(source.second) : pngWithAlpha(source.second, false));
        ids.push_back(cache->load(source.first, "scene"));
    }
    int last = 0;
    ASSERT_TRUE(framesUntil([&] {
        EXPECT_LE(cache->statistics().uploads - last, 1);
        last = cache->statistics().uploads;
        return cache->pendingCount() == 0;
    }));
    for (size_t i = 0; i < ids.size(); i++) {
        std::unique_ptr<Image> expected = imageLoad(sources[i].first.c_str());
        ASSERT_NE(expected, nullptr);
        imageAddAlpha(expected.get());
        TextureRecord* record = textureInfos().find(ids[i]);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->width, expected->width);
        EXPECT_EQ(record->height, expected->height);
        std::vector<uint8_t> texels(expected->pixels.size());
        glBindTexture(GL_TEXTURE_2D, record->glName);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        EXPECT_EQ(texels, expected->pixels) << sources[i].first;
    }
    EXPECT_EQ(cache->statistics().uploads, 3);
}

TEST_F(TextureCacheGlTest, ShutdownReportListsCachedTextures) {
    int sky = cache->load("tex/sky.png", "scene");
    cache->ensureTextureLoaded(sky);
    log.clear();
    texReportAll();
    EXPECT_TRUE(log.contains(1, "Texture 'tex/sky.png' 8 x 8 x 1")) << log.all();
}

// The real uploader with its off-thread path through a context that shares
// the test window's, counting where the uploads happen.
class CountingUploader : public GlTextureUploader {
public:
    using GlTextureUploader::GlTextureUploader;
    void uploadImage(int id, const Image& image) override {
        mainThreadUploads++;
        GlTextureUploader::uploadImage(id, image);
    }
    OffThreadUpload uploadOffThread(const Image& image) override {
        OffThreadUpload upload = GlTextureUploader::uploadOffThread(image);
        offThreadUploads++;
        return upload;
    }
    std::atomic<int> mainThreadUploads{0};
    std::atomic<int> offThreadUploads{0};
};

class TextureCacheSharedContextGlTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        window = SDL_GL_GetCurrentWindow();
        SDL_GLContext main = SDL_GL_GetCurrentContext();
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
        shared = SDL_GL_CreateContext(window);
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        SDL_GL_MakeCurrent(window, main);
        if (!shared) GTEST_SKIP() << "no shared context: " << SDL_GetError();
        files = std::make_unique<CacheTestFiles>();
        UploadContext context;
        context.bind = [this] { return SDL_GL_MakeCurrent(window, shared) == 0; };
        context.unbind = [this] { SDL_GL_MakeCurrent(window, nullptr); };
        uploader = std::make_unique<CountingUploader>(context);
        cache = std::make_unique<CTextureCache>(host.settings(), uploader.get());
        texSetCacheHook(cache.get());
    }
    void TearDown() override {
        texSetCacheHook(nullptr);
        if (cache) cache->destroy();
        cache.reset();
        // The upload thread let the context go when the cache stopped it.
        if (shared) SDL_GL_DeleteContext(shared);
        files.reset();
        GlTest::TearDown();
    }

    LogCapture log;
    SDL_Window* window = nullptr;
    SDL_GLContext shared = nullptr;
    std::unique_ptr<CacheTestFiles> files;
    std::unique_ptr<CountingUploader> uploader;
    std::unique_ptr<CTextureCache> cache;
};

TEST_F(TextureCacheSharedContextGlTest, TexturesArriveWholeAndUpdateOnlyPublishes) {
    ASSERT_TRUE(cache->uploadsOffThread());
    const std::vector<std::pair<std::string, Image>> sources = {
        {"tex/tall.png", gradientImage(9, 37, false)},
        {"tex/wide.jpg", gradientImage(43, 11, false)},
        {"tex/clear.png", gradientImage(26, 5, true)},
        {"tex/narrow.png", gradientImage(3, 17, true)},
    };
    std::vector<int> ids;
    for (const auto& source : sources) {
        bool jpeg = source.first.find(".jpg") != std::string::npos;
        files->put(source.first,
                   jpeg ? jpegFile(source.second) : pngWithAlpha(source.second, false));
        ids.push_back(cache->load(source.first, "scene"));
    }
    for (int frame = 0; frame < 600 && cache->pendingCount() > 0; frame++) {
        int before = uploader->mainThreadUploads;
        cache->update();
        EXPECT_EQ(uploader->mainThreadUploads - before, 0);
        osSleep(10);
    }
    ASSERT_EQ(cache->pendingCount(), 0);
    EXPECT_EQ(uploader->offThreadUploads, 4);
    EXPECT_EQ(cache->statistics().published, 4);
    EXPECT_EQ(cache->statistics().uploads, 0);
    for (size_t i = 0; i < ids.size(); i++) {
        std::unique_ptr<Image> expected = imageLoad(sources[i].first.c_str());
        ASSERT_NE(expected, nullptr);
        imageAddAlpha(expected.get());
        TextureRecord* record = textureInfos().find(ids[i]);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->width, expected->width);
        EXPECT_EQ(record->height, expected->height);
        std::vector<uint8_t> texels(expected->pixels.size());
        glBindTexture(GL_TEXTURE_2D, record->glName);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        EXPECT_EQ(texels, expected->pixels) << sources[i].first;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(log.count("OpenGL Error"), 0u) << log.all();
}

TEST_F(TextureCacheSharedContextGlTest, FirstBindTakesItsTextureWhereverTheUploadIs) {
    files->put("tex/bound.png", pngWithAlpha(gradientImage(19, 6, true), false));
    int id = cache->load("tex/bound.png", "scene");
    // No update() at all: the bind alone makes the texture resident, by
    // uploading it here or by waiting for the upload thread's fence.
    cache->ensureTextureLoaded(id);
    EXPECT_EQ(cache->pendingCount(), 0);
    EXPECT_EQ(uploader->mainThreadUploads + cache->statistics().published, 1);
    TextureRecord* record = textureInfos().find(id);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record->glName, 0u);
    EXPECT_EQ(record->width, 19);
    EXPECT_EQ(record->height, 6);
}

TEST_F(TextureCacheSharedContextGlTest, ShutdownAndFreesWithUploadsInFlight) {
    host.store.setInt("gl.texture_life", 0);
    std::vector<int> ids;
    for (int i = 0; i < 12; i++) {
        std::string name = "tex/busy" + std::to_string(i) + ".png";
        files->put(name, pngWithAlpha(gradientImage(300 + 7 * i, 170 - 3 * i, i % 2 == 0), false));
        ids.push_back(cache->load(name, "scene"));
    }
    // Some dropped while decoding or uploading, the rest left to shutdown.
    for (int frame = 0; frame < 3; frame++) {
        cache->update();
        osSleep(5);
    }
    for (size_t i = 0; i < ids.size(); i += 3)
        cache->release(ids[i], "scene", true);
    cache->update();
    cache->destroy();
    EXPECT_EQ(log.count("OpenGL Error"), 0u) << log.all();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // The main context still draws after the upload context was let go.
    glClearColor(0.2f, 0.6f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::array<uint8_t, 4> colour = pixel(kGlWidth / 3, kGlHeight / 4);
    EXPECT_EQ(colour[0], 51);
    EXPECT_EQ(colour[2], 255);
}

TEST_F(TextureCacheSharedContextGlTest, ContextThatCannotBeBoundFallsBackToOneUploadPerUpdate) {
    cache->destroy();
    UploadContext broken;
    broken.bind = [] { return false; };
    CountingUploader fallback(broken);
    CTextureCache other(host.settings(), &fallback);
    EXPECT_FALSE(other.uploadsOffThread());
    EXPECT_TRUE(log.contains(2, "No upload context")) << log.all();
    files->put("tex/fallback.png", pngWithAlpha(gradientImage(14, 29, false), false));
    int id = other.load("tex/fallback.png", "scene");
    for (int frame = 0; frame < 600 && other.pendingCount() > 0; frame++) {
        other.update();
        osSleep(10);
    }
    EXPECT_EQ(other.pendingCount(), 0);
    EXPECT_EQ(fallback.mainThreadUploads, 1);
    EXPECT_EQ(fallback.offThreadUploads, 0);
    EXPECT_NE(textureInfos().getGLid(id), 0u);
    other.destroy();
}

}  // namespace
