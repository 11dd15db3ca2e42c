// A scene start of 20 textures of 1024 x 1024 through the texture cache
// beside decoding the same files one after another on one thread. The cache
// should come close to the plain decode time (its loader decodes while the
// frames go on) and no frame should spend longer in update() than one upload.
//
// Usage: texcache_bench [rounds]   (run under xvfb-run)
#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/log.h"
#include "app/random.h"
#include "app/settingsAccess.h"
#include "bench/support/imageEncode.h"
#include "render/cache/textureCache.h"
#include "render/imageFile.h"
#include "render/renderFiles.h"
#include "render/texture.h"
#include "render/textureInfos.h"

namespace {

constexpr int kSize = 1024;
constexpr int kTextures = 20;
constexpr double kFrameMs = 16.0;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A picture with gradients and some noise, so that both codecs have work.
std::vector<uint8_t> picture(int seed) {
    visSeedRandom(static_cast<uint32_t>(seed));
    std::vector<uint8_t> rgb(static_cast<size_t>(kSize) * kSize * 3);
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * kSize + x) * 3];
            p[0] = static_cast<uint8_t>(x + seed * 13);
            p[1] = static_cast<uint8_t>((x ^ y) + (visRand() & 15));
            p[2] = static_cast<uint8_t>(y * 2 + seed);
        }
    return rgb;
}

// Written before the loader starts and only read afterwards.
std::map<std::string, std::string> files;

char* readFile(const char* name, uint32_t* length) {
    auto found = files.find(name);
    if (found == files.end()) return nullptr;
    char* copy = new char[found->second.size()];
    std::memcpy(copy, found->second.data(), found->second.size());
    *length = static_cast<uint32_t>(found->second.size());
    return copy;
}

void freeFile(char* buffer) {
    delete[] buffer;
}

std::vector<std::string> makeFiles() {
    std::vector<std::string> names;
    for (int i = 0; i < kTextures; i++) {
        std::vector<uint8_t> rgb = picture(i);
        bool png = i % 2 == 0;
        std::string name = "tex/bench" + std::to_string(i) + (png ? ".png" : ".jpg");
        files[name] = png ? encodePng(rgb, kSize, kSize) : encodeJpeg(rgb, kSize, kSize);
        names.push_back(name);
    }
    return names;
}

double sequentialDecodeMs(const std::vector<std::string>& names) {
    auto start = Clock::now();
    for (const std::string& name : names)
        if (!imageLoad(name.c_str())) std::fprintf(stderr, "decode failed: %s\n", name.c_str());
    return msSince(start);
}

double oneUploadMs(const std::vector<std::string>& names) {
    std::unique_ptr<Image> image = imageLoad(names[0].c_str());
    double best = 1e9;
    for (int i = 0; i < 5; i++) {
        int id = textureInfos().allocateCacheSlot();
        glFinish();
        auto start = Clock::now();
        texUploadImage(id, *image);
        glFinish();
        best = std::min(best, msSince(start));
        texDelete(id);
    }
    return best;
}

struct SceneStart {
    double loadCallsMs = 0;
    double residentMs = 0;
    double longestUpdateMs = 0;
    int mostUploadsInOneUpdate = 0;
    double updateMs = 0;  // all updates together
    int uploads = 0;
    int frames = 0;
};

SceneStart sceneStart(CTextureCache& cache, const std::vector<std::string>& names,
                      SDL_Window* window) {
    SceneStart result;
    auto start = Clock::now();
    std::vector<int> ids;
    for (const std::string& name : names)
        ids.push_back(cache.load(name, "bench"));
    result.loadCallsMs = msSince(start);
    while (cache.pendingCount() > 0) {
        glFinish();  // the previous frame's GL work is not this update's
        auto frame = Clock::now();
        int uploads = cache.statistics().uploads;
        cache.update();
        glFinish();
        double spent = msSince(frame);
        result.updateMs += spent;
        result.longestUpdateMs = std::max(result.longestUpdateMs, spent);
        result.mostUploadsInOneUpdate =
            std::max(result.mostUploadsInOneUpdate, cache.statistics().uploads - uploads);
        result.uploads += cache.statistics().uploads - uploads;
        SDL_GL_SwapWindow(window);
        double rest = kFrameMs - msSince(frame);
        if (rest > 0) SDL_Delay(static_cast<uint32_t>(rest));
        result.frames++;
    }
    result.residentMs = msSince(start);
    for (int id : ids)
        cache.release(id, "bench", false);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    logSetEnabled(false);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window =
        SDL_CreateWindow("texcache bench", 0, 0, 320, 240, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    glewExperimental = GL_TRUE;
    if (!context || glewInit() != GLEW_OK) {
        std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetSwapInterval(0);

    std::vector<std::string> names = makeFiles();
    renderSetFileReader(readFile, freeFile);
    MemorySettings settings;
    settings.setInt("gl.texture_life", 0);  // every round decodes afresh
    GlTextureUploader uploader;
    CTextureCache cache(&settings, &uploader);
    texSetCacheHook(&cache);

    double upload = oneUploadMs(names);
    std::printf("%d textures of %d x %d (PNG and JPEG), %d rounds, frames of %.0f ms\n", kTextures,
                kSize, kSize, rounds, kFrameMs);
    std::printf("one upload alone: %.1f ms\n", upload);
    for (int round = 0; round < rounds; round++) {
        double decode = sequentialDecodeMs(names);
        SceneStart start = sceneStart(cache, names, window);
        // What one upload cost while the loader was decoding beside it.
        double meanUpload = start.uploads ? start.updateMs / start.uploads : 0;
        std::printf(
            "round %d: sequential decode %.0f ms, cache until resident %.0f ms (ratio %.2f)\n"
            "  load calls %.2f ms, %d frames, mean upload %.1f ms, longest update %.1f ms "
            "(%.2f mean uploads, %.2f lone uploads; at most %d uploads in one update)\n",
            round + 1, decode, start.residentMs, start.residentMs / decode, start.loadCallsMs,
            start.frames, meanUpload, start.longestUpdateMs,
            meanUpload > 0 ? start.longestUpdateMs / meanUpload : 0, start.longestUpdateMs / upload,
            start.mostUploadsInOneUpdate);
    }

    texSetCacheHook(nullptr);
    cache.destroy();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
