// A scene start of 20 textures of 1024 x 1024 through the texture cache,
// against two peers measured in the same run:
// - the same files decoded one after another on one thread: the cache should
//   make every texture resident in no more time (its loaders decode on every
//   core while the frames go on), residency ratio <= 1;
// - each image uploaded alone, in the form the cache uploads it, while as
//   many threads as the cache has loaders decode beside it (the contention of
//   a scene start): no frame's update() may take longer than the longest lone
//   upload, update ratio <= 1.
// The update figures are given in wall time and in the main thread's own
// processor time; the latter does not count the moments the thread waited
// for a core on a busy machine.
//
// Usage: texcache_bench [rounds]   (run under xvfb-run)
#include <GL/glew.h>
#include <SDL2/SDL.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
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

double cpuMs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Processor time of the calling thread.
double threadCpuMs() {
    return cpuMs(CLOCK_THREAD_CPUTIME_ID);
}

// Processor time of the whole process, every thread together.
double processCpuMs() {
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID);
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

// Written before any loader starts and only read afterwards.
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

struct Spent {
    double wall = 0;
    double cpu = 0;
};

// Wall time and the process's processor time.
Spent sequentialDecode(const std::vector<std::string>& names) {
    auto start = Clock::now();
    double cpu = processCpuMs();
    for (const std::string& name : names)
        if (!imageLoad(name.c_str())) std::fprintf(stderr, "decode failed: %s\n", name.c_str());
    return {msSince(start), processCpuMs() - cpu};
}

// Threads that decode the files over and over until destroyed, standing for
// the cache's loaders while uploads are timed alone.
class BusyDecoders {
public:
    BusyDecoders(const std::vector<std::string>& names, int count) {
        for (int i = 0; i < count; i++)
            threads_.emplace_back([this, &names, i] {
                // As low as the cache's loaders, whose place they take.
                setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)),
                            CTextureCache::kLoaderNice);
                for (size_t next = i; !stop_; next++)
                    imageLoad(names[next % names.size()].c_str());
            });
    }
    ~BusyDecoders() {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// Runs `work` between two glFinish calls, so that only its own GL work counts.
template <typename Work>
Spent timed(Work work) {
    glFinish();
    auto start = Clock::now();
    double cpu = threadCpuMs();
    work();
    glFinish();
    return {msSince(start), threadCpuMs() - cpu};
}

struct LoneUploads {
    Spent longest;
    double medianWall = 0;
};

// Every image uploaded once, each on its own, with `loaders` decoders busy.
LoneUploads loneUploads(TextureUploader& uploader, const std::vector<Image>& images,
                        const std::vector<std::string>& names, int loaders) {
    BusyDecoders busy(names, loaders);
    LoneUploads result;
    std::vector<double> walls;
    // Every texture is kept until the last is in, as in a scene start, so
    // that each upload pays for fresh texture storage as it does there.
    std::vector<int> ids;
    for (const Image& image : images) {
        int id = uploader.allocateSlot();
        ids.push_back(id);
        Spent spent = timed([&] { uploader.uploadImage(id, image); });
        walls.push_back(spent.wall);
        result.longest.wall = std::max(result.longest.wall, spent.wall);
        result.longest.cpu = std::max(result.longest.cpu, spent.cpu);
    }
    for (int id : ids)
        uploader.remove(id);
    std::sort(walls.begin(), walls.end());
    result.medianWall = walls[walls.size() / 2];
    return result;
}

// The images as the cache's loaders hand them to the uploader.
std::vector<Image> uploadForms(TextureUploader& uploader, const std::vector<std::string>& names) {
    std::vector<Image> images;
    for (const std::string& name : names) {
        std::unique_ptr<Image> image = imageLoad(name.c_str());
        if (uploader.wantsFourChannels()) imageAddAlpha(image.get());
        images.push_back(std::move(*image));
    }
    return images;
}

// The plain path for comparison: the decoded RGB image uploaded as it is.
double rgbUploadMs(const std::string& name) {
    std::unique_ptr<Image> image = imageLoad(name.c_str());
    double best = 1e9;
    for (int i = 0; i < 5; i++) {
        int id = textureInfos().allocateCacheSlot();
        best = std::min(best, timed([&] { texUploadImage(id, *image); }).wall);
        texDelete(id);
    }
    return best;
}

struct SceneStart {
    double loadCallsMs = 0;
    double residentMs = 0;
    double cpuMs = 0;      // the whole process's, until resident
    double decodedMs = 0;  // until the loaders had tried every file
    Spent longestUpdate;
    int mostUploadsInOneUpdate = 0;
    int mostWaitingUploads = 0;  // images ready at the start of one update
    int frames = 0;
};

SceneStart sceneStart(CTextureCache& cache, const std::vector<std::string>& names,
                      SDL_Window* window) {
    SceneStart result;
    auto start = Clock::now();
    double cpu = processCpuMs();
    std::vector<int> ids;
    for (const std::string& name : names)
        ids.push_back(cache.load(name, "bench"));
    result.loadCallsMs = msSince(start);
    while (cache.pendingCount() > 0) {
        auto frame = Clock::now();
        int uploads = cache.statistics().uploads;
        int decoding = 0;
        int waiting = 0;
        for (int id : ids) {
            decoding += cache.find(id)->needsLoad;
            waiting += cache.find(id)->imageReady;
        }
        if (decoding == 0 && result.decodedMs == 0) result.decodedMs = msSince(start);
        result.mostWaitingUploads = std::max(result.mostWaitingUploads, waiting);
        Spent spent = timed([&] { cache.update(); });
        result.longestUpdate.wall = std::max(result.longestUpdate.wall, spent.wall);
        result.longestUpdate.cpu = std::max(result.longestUpdate.cpu, spent.cpu);
        result.mostUploadsInOneUpdate =
            std::max(result.mostUploadsInOneUpdate, cache.statistics().uploads - uploads);
        SDL_GL_SwapWindow(window);
        double rest = kFrameMs - msSince(frame);
        if (rest > 0) SDL_Delay(static_cast<uint32_t>(rest));
        result.frames++;
    }
    result.residentMs = msSince(start);
    result.cpuMs = processCpuMs() - cpu;
    for (int id : ids)
        cache.release(id, "bench", false);
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // The fallback: every upload in update(), one a call.
    bool mainThreadUploads = argc > 2 && std::string(argv[2]) == "--main-thread";
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
    SDL_GLContext uploadContext = nullptr;
    if (!mainThreadUploads) {
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
        uploadContext = SDL_GL_CreateContext(window);
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        SDL_GL_MakeCurrent(window, context);
    }
    UploadContext upload;
    if (uploadContext) {
        upload.bind = [&] { return SDL_GL_MakeCurrent(window, uploadContext) == 0; };
        upload.unbind = [&] { SDL_GL_MakeCurrent(window, nullptr); };
    }

    std::vector<std::string> names = makeFiles();
    renderSetFileReader(readFile, freeFile);
    MemorySettings settings;
    settings.setInt("gl.texture_life", 0);  // every round decodes afresh
    GlTextureUploader uploader(upload);
    CTextureCache cache(&settings, &uploader);
    texSetCacheHook(&cache);
    std::vector<Image> images = uploadForms(uploader, names);

    std::printf(
        "%d textures of %d x %d (PNG and JPEG), %d rounds, frames of %.0f ms, %d loaders, "
        "uploads %s\n",
        kTextures, kSize, kSize, rounds, kFrameMs, cache.loaderCount(),
        cache.uploadsOffThread() ? "on the upload thread" : "in update()");
    std::printf("for comparison, one RGB upload as decoded: %.2f ms\n", rgbUploadMs(names[0]));
    std::vector<double> residency;
    std::vector<double> work;
    std::vector<double> updateWall;
    std::vector<double> updateCpu;
    for (int round = 0; round < rounds; round++) {
        Spent decode = sequentialDecode(names);
        LoneUploads lone = loneUploads(uploader, images, names, cache.loaderCount());
        SceneStart start = sceneStart(cache, names, window);
        residency.push_back(start.residentMs / decode.wall);
        work.push_back(start.cpuMs / decode.cpu);
        updateWall.push_back(start.longestUpdate.wall / lone.longest.wall);
        updateCpu.push_back(start.longestUpdate.cpu / lone.longest.cpu);
        std::printf(
            "round %d: sequential decode %.0f ms, cache until resident %.0f ms: residency ratio "
            "%.2f\n"
            "  longest update %.2f ms, longest lone upload %.2f ms (median %.2f): update ratio "
            "%.2f\n"
            "  main thread's processor time: longest update %.2f ms, longest lone upload %.2f ms: "
            "ratio %.2f\n"
            "  process's processor time: sequential decode %.0f ms, until resident %.0f ms: ratio "
            "%.2f\n"
            "  %d frames, at most %d uploads in one update (%d waiting), all decoded at %.0f ms, "
            "load calls %.2f ms\n"
            "  (without upload thread) floor of one upload a frame: %d frames of %.0f ms = %.2f of "
            "the sequential decode\n",
            round + 1, decode.wall, start.residentMs, residency.back(), start.longestUpdate.wall,
            lone.longest.wall, lone.medianWall, updateWall.back(), start.longestUpdate.cpu,
            lone.longest.cpu, updateCpu.back(), decode.cpu, start.cpuMs, work.back(), start.frames,
            start.mostUploadsInOneUpdate, start.mostWaitingUploads, start.decodedMs,
            start.loadCallsMs, kTextures, kFrameMs, kTextures * kFrameMs / decode.wall);
    }
    auto summary = [](const char* what, const std::vector<double>& ratios) {
        std::printf("  %-34s median %.2f, worst %.2f\n", what, median(ratios),
                    *std::max_element(ratios.begin(), ratios.end()));
    };
    std::printf("over %d rounds:\n", rounds);
    summary("residency ratio (wall)", residency);
    summary("update ratio (wall)", updateWall);
    summary("update ratio (main thread cpu)", updateCpu);
    summary("processor time until resident", work);

    texSetCacheHook(nullptr);
    cache.destroy();
    if (uploadContext) SDL_GL_DeleteContext(uploadContext);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
