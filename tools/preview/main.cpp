// vortalis-preview: plays one scene in a window, the way the visualiser
// would play it alone, for scene authors. See docs/preview.md.
#include <GL/glew.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/baseDirectory.h"
#include "app/clock.h"
#include "app/frameTiming.h"
#include "app/glCaps.h"
#include "app/glWin.h"
#include "app/log.h"
#include "app/renderCaps.h"
#include "app/settingsAccess.h"
#include "render/cache/sceneTextureCache.h"
#include "render/cache/textureUploader.h"
#include "render/frameBufferObjects.h"
#include "render/imageFile.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "scene/sceneNatives.h"
#include "tools/preview/previewHost.h"
#include "tools/preview/previewOptions.h"
#include "tools/preview/recording.h"
#include "tools/preview/sceneLists.h"
#include "vfs/fileSystem.h"

namespace {

class PreviewRenderHost : public RenderHost {
public:
    int outputWidth() const override { return width; }
    int outputHeight() const override { return height; }
    SettingsAccess* settings() override { return &store; }
    int width = 0;
    int height = 0;
    MemorySettings store;
};

void printLogLine(int, const char* label, const char* text) {
    size_t length = std::strlen(text);
    bool newline = length > 0 && text[length - 1] == '\n';
    bool plain = std::strspn(label, " ") == std::strlen(label);
    std::printf("%s%s%s%s", plain ? "" : label, plain ? "" : ": ", text, newline ? "" : "\n");
    std::fflush(stdout);
}

// Events: closing the window ends the preview; keys and the mouse go to the scene.
bool handleEvents(CGLWin& window, CScene& scene, PreviewRenderHost& output, PreviewHost& host) {
    window.processMessage();
    for (WindowEvent event = window.nextEvent(); event.type != EVENT_NONE;
         event = window.nextEvent()) {
        switch (event.type) {
            case EVENT_QUIT:
                return false;
            case EVENT_RESIZE:
                output.width = event.x;
                output.height = event.y;
                host.setOutputSize(event.x, event.y);
                break;
            case EVENT_KEY:
                if (!event.text.empty()) scene.keyEvent(static_cast<unsigned char>(event.text[0]));
                break;
            case EVENT_MOUSE_DOWN:
                scene.mouseEvent(event.x, event.y, 1);
                break;
            case EVENT_MOUSE_UP:
                scene.mouseEvent(event.x, event.y, -1);
                break;
            case EVENT_MOUSE_MOVE:
                scene.mouseEvent(event.x, event.y, 0);
                break;
            default:
                break;
        }
    }
    return true;
}

// Appends the frame just drawn and the sound it was drawn with.
bool recordFrame(FILE* file, const PreviewHost& host, int width, int height) {
    RecordedFrame frame;
    const SoundAnalyser& sound = host.analyser();
    frame.level = sound.value(100);
    frame.low = sound.value(101);
    frame.position = sound.value(109);
    frame.strength = sound.value(104);
    size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> bottomUp(row * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    frame.rgb.resize(bottomUp.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(&frame.rgb[y * row], &bottomUp[(height - 1 - y) * row], row);
    return writeRecordedFrame(file, frame);
}

// Runs the scene until the window closes, N frames pass or the scene fails.
// True unless the scene failed or the shot or the recording could not be
// written.
bool play(const PreviewOptions& options, CGLWin& window, PreviewRenderHost& output,
          PreviewHost& host, CScene& scene, CTextureCache& cache, FILE* record) {
    FrameTiming timing;
    timing.lastTick = osTickCount();
    for (int frame = 1;; ++frame) {
        if (!handleEvents(window, scene, output, host)) return true;
        uint32_t now = osTickCount();
        frameTimeStep(timing, now, TIME_FILTER_SMOOTH);
        timing.lastTick = now;
        // A fixed step when counting frames, so that shots are repeatable.
        float seconds = options.frames ? 1.0f / 60.0f : timing.timePass;
        glViewport(0, 0, output.width, output.height);
        host.frame(seconds, options.frames ? seconds : timing.averageFrameTime);
        if (host.failed()) return false;
        // At the size the recording began with, even if the window changed.
        if (record && !recordFrame(record, host, options.width, options.height)) {
            std::fprintf(stderr, "vortalis-preview: cannot write '%s'\n", options.record.c_str());
            return false;
        }
        cache.update();
        if (options.frames && frame >= options.frames) {
            if (!options.shot.empty() && !imageCapture(options.shot.c_str(), true)) {
                std::fprintf(stderr, "vortalis-preview: cannot write '%s'\n", options.shot.c_str());
                return false;
            }
            return true;
        }
        window.swapBuffers();
    }
}

int preview(const PreviewOptions& options, const std::string& base) {
    CGLWin window;
    window.setMessageBoxHandler(
        [](CGLWin::BoxKind, const std::string& title, const std::string& text) {
            std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
            return false;
        });
    window.width = options.width;
    window.height = options.height;
    window.title = "Vortalis preview: " + options.sceneId;
    window.showSystemCursor = true;
    if (!window.create()) return 1;
    PreviewRenderHost output;
    output.width = options.width;
    output.height = options.height;
    GLCapabilities found = probeGL();
    if (!found.usable) {
        std::fprintf(stderr, "vortalis-preview: OpenGL lacks what scenes need\n");
        return 1;
    }
    renderSetCaps(renderCapsFrom(found, output.store));
    renderUtilsInit(&output);
    auto pool = std::make_unique<CFrameBufferObjects>(&output.store);
    renderSetFrameBufferObjects(pool.get());
    CVFileSystem::create(base);
    vmSystemCreate(logLevelFromPrefix);
    sceneInstallNatives();

    GlTextureUploader uploader;
    CTextureCache cache(&output.store, &uploader);
    texSetCacheHook(&cache);
    CacheSceneTextures textures(cache);
    int result = 1;
    {
        PreviewHost host(base, options.bpm, options.width, options.height, textures);
        host.script().executeFile("data/utils.js");
        std::unique_ptr<SceneDefinition> definition =
            findSceneDefinition(options.sceneId, SceneContext{&host, &host});
        if (definition) {
            Log(LOG_INFO, "Previewing '%s' with %d black children\n", options.sceneId.c_str(),
                definition->inputs());
            CScene scene(&host, std::move(definition));
            host.setScene(&scene);
            scene.initialise(true);
            FILE* record = nullptr;
            bool recordable = true;
            if (!options.record.empty()) {
                record = std::fopen(options.record.c_str(), "wb");
                recordable = record && writeRecordingHeader(record, options.width, options.height);
                if (!recordable)
                    std::fprintf(stderr, "vortalis-preview: cannot write '%s'\n",
                                 options.record.c_str());
            }
            if (recordable && scene.initialised() &&
                play(options, window, output, host, scene, cache, record))
                result = 0;
            if (record && std::fclose(record) != 0) result = 1;
            if (result != 0)
                std::fprintf(stderr, "vortalis-preview: scene '%s' failed\n",
                             options.sceneId.c_str());
            scene.kill();
            host.setScene(nullptr);
        }
    }
    vmSystemDestroy();
    texSetCacheHook(nullptr);
    cache.destroy();
    renderUtilsKill();
    renderSetFrameBufferObjects(nullptr);
    pool.reset();
    CVFileSystem::destroy();
    window.destroy();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    PreviewOptions options;
    std::string error;
    if (!parsePreviewOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "vortalis-preview: %s\n%s", error.c_str(), kPreviewUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kPreviewUsage, stdout);
        return 0;
    }
    logSetMirror(printLogLine);
    std::string base = options.base.empty() ? settleBaseDirectory(processBaseDirectoryInputs())
                                            : normaliseDirectory(options.base);
    try {
        return preview(options, base);
    } catch (const VisException& fatal) {
        std::fprintf(stderr, "vortalis-preview: %s\n", fatal.message.c_str());
        return 1;
    }
}
