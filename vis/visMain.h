// CVisMain: the visualiser. It owns everything between the window and the
// scenes: the script host and settings, the sound analyser, the texture cache
// and frame buffer pool, the on-screen display, the content updater, the
// scene registry and the render list. Construction follows a fixed order
// that later steps rely on (settings before the log switch, the file system
// before the scripts, the scripts before the window geometry, the window
// before GL); step() renders one frame; kill() shuts down in the reverse
// sense and saves the settings.
//
// `currentVis` points at the visualiser only while it is inside its
// constructor or step(): the logger reaches the on-screen display and the
// settings' message list through it, so messages logged at other times never
// touch them.
//
// A window without an OpenGL context (the plain CWindowBase) runs the
// visualiser headless: scripts, the registry, the render list and statistics
// work as usual, and nothing is drawn. Tests use that.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/frameTiming.h"
#include "app/inputRouting.h"
#include "app/log.h"
#include "render/renderState.h"
#include "scene/sceneHost.h"
#include "sound/soundSource.h"
#include "update/updater.h"
#include "vis/onScreenDisplay.h"
#include "vis/renderList.h"
#include "vis/sceneRegistry.h"

class CWindowBase;
class CScript;
class CSettings;
class CTextureCache;
class CFrameBufferObjects;
class CRenderBufferObject;
struct Image;
class SoundAnalyser;
class SoundSource;
class TextureUploader;
class CacheSceneTextures;

// Start-up options and run-time state bits.
enum VisOptionFlags : uint32_t {
    VIS_NO_OPENGL = 0x0008,    // the capability probe failed: nothing is rendered
    VIS_FULL_SCREEN = 0x0010,  // /s
    VIS_DEVICE_MODE = 0x1000,  // start with data/device.js (data/script.js without it)
    // In a screensaver host's window: input ends nothing, and the host's
    // window geometry is not stored as ours.
    VIS_HOSTED = 0x10000,
    // Offline rendering: a fixed random seed, no updater, and nothing saved
    // at shutdown, so that every run starts from the same state.
    VIS_OFFLINE = 0x20000,
    // Follow the sound the desktop plays (settings sound.source and
    // sound.device); the entry point's source is the beat to fall back on.
    VIS_LISTEN = 0x40000,
};

class CVisMain : public SceneHost,
                 public LogObserver,
                 public RenderHost,
                 public InputScript,
                 public InputScene,
                 public UpdaterHost {
public:
    static constexpr const char* kVersion = "1.67";
    static constexpr const char* kOperatingSystem = "LINUX";

    // The whole initialisation. `window` and `source` are the entry point's
    // and must outlive the visualiser; `startupScript` (may be null) runs
    // after the device identity file. Fatal (VisException) when the window
    // cannot be opened.
    CVisMain(const std::string& baseDirectory, CWindowBase* window, SoundSource* source,
             uint32_t optionFlags, const char* startupScript = nullptr);
    ~CVisMain() override;
    CVisMain(const CVisMain&) = delete;
    CVisMain& operator=(const CVisMain&) = delete;

    // Lists scenes/ and queues every scene list there (the loading phase).
    void queueSceneLists();
    // One frame; sets quitRequested() when the run must end.
    void step();
    // The orderly shutdown: onKill, scenes, rendering services, window
    // geometry, window, settings.js, file system, retired archives.
    void kill();

    bool quitRequested() const { return quitRequested_; }
    void requestQuit() { quitRequested_ = true; }
    uint32_t optionFlags() const { return optionFlags_; }
    bool loading() const { return registry_->loading(); }
    bool hasGraphics() const { return graphics_; }

    CScript& script() { return *script_; }
    CSettings& settingsStore() { return *settings_; }
    CSceneRegistry& registry() { return *registry_; }
    CRenderList& renderList() { return *renderList_; }
    COnScreenDisplay& osd() { return osd_; }
    CWindowBase& window() { return *window_; }
    const FrameTiming& timing() const { return timing_; }
    CTextureCache* textureCache() { return textureCache_.get(); }
    int mouseMoveCount() const { return mouseMoveCount_; }

    // What the host functions ask of the visualiser beyond the registry and
    // the render list.
    void setSoundTempo(double beatsPerMinute);
    // Writes the next finished frame to `path` (before it is shown).
    void requestScreenshot(const std::string& path);
    // Offline rendering from now on: every step advances exactly `seconds`
    // (no sound is made while scene lists load), waits for texture loads and
    // background initialisations before it draws, and draws into an
    // off-screen buffer of width x height, which is then the output size.
    void renderOffline(float seconds, int width, int height);
    // Reads the frame the next step draws (off screen) into `image`, top row
    // first; frameCaptured() then says whether that happened.
    void captureNextFrame(Image* image) {
        frameImage_ = image;
        frameCaptured_ = false;
    }
    bool frameCaptured() const { return frameCaptured_; }
    void requestUpdaterRestart() {
        updaterRestartRequested_ = true;
        updater_.restart();
    }
    // True once a restart was asked for, whether or not a cycle started.
    bool updaterRestartRequested() const { return updaterRestartRequested_; }
    CUpdater& updater() { return updater_; }
    // Mounts an archive of the base directory (or a full path) and queues
    // its scene lists; false when it could not be mounted.
    bool addArchive(const std::string& name);
    // Takes the scenes of a mounted archive out of play and out of the
    // registry; false when it is not mounted.
    bool removeArchive(const std::string& name);
    // Empties the load queue and the render list and destroys every scene.
    void dropAllScenes();

    // SceneHost
    float* sharedRegisters() override { return registers_; }
    float timePass() override { return timing_.timePass; }
    void setTimePass(float seconds) override { timing_.timePass = seconds; }
    float aspectRatio() override;
    float innermostJobTime() override;
    void pushChildJob(int index, float time, int width, int height) override;
    int renderedTexture() override;
    void sceneVMError(CScene& scene) override;
    const SoundAnalyser* soundAnalyser() override { return analyser_.get(); }
    SoundSource* swapSoundSource(SoundSource* source) override;
    void advanceSound() override;
    void executeScript(const std::string& code) override;
    SceneTextures& textures() override;
    std::string baseDirectory() override { return baseDirectory_; }
    std::string evaluateToText(const std::string& expression) override;
    std::string innermostProperty(const std::string& key) override;

    // LogObserver
    void showOnScreen(const char* text) override;
    void recordMessage(const std::string& entry) override;

    // RenderHost
    int outputWidth() const override;
    int outputHeight() const override;
    SettingsAccess* settings() override;

    // InputScript and InputScene
    void execute(const std::string& code) override;
    bool hasInputScene() override;
    void keyEvent(int code) override;
    void mouseEvent(int x, int y, int state) override;

    // UpdaterHost (settings, baseDirectory and showOnScreen are above)
    std::string evalString(const std::string& code) override;
    bool runCode(const std::string& code) override;
    std::string getGlobalString(const std::string& name, const std::string& defaultValue) override;
    std::string sceneStatsXml() override;
    std::string messagesXml() override;
    void clearMessages() override;
    void clearSceneStats() override;
    UpdaterHardware hardware() override { return hardware_; }
    bool archiveMounted(const std::string& path) override;
    bool mountArchive(const std::string& path) override;
    void unmountArchive(const std::string& path) override;
    void queueArchiveScenes(const std::string& path) override;
    void retireArchive(const std::string& name) override;

private:
    // Sets `currentVis` and the log observer for the length of a constructor
    // or frame, and clears them however it ends.
    class CurrentVis {
    public:
        explicit CurrentVis(CVisMain* vis);
        ~CurrentVis();
        CurrentVis(const CurrentVis&) = delete;
        CurrentVis& operator=(const CurrentVis&) = delete;
    };

    void openWindow();
    void startGraphics();
    void runStartupScripts(const char* startupScript);
    void loadingFrame();
    void runningFrame();
    void renderScenes();
    void drawIdleScreen();
    void takeScreenshot();
    void unwindRenderTextures();
    void deleteRetiredArchives();
    void settleOffline();
    void beginOffscreen();
    void endOffscreen();

    uint32_t lastTick_ = 0;
    uint32_t optionFlags_;
    std::unique_ptr<CScript> script_;
    std::unique_ptr<CSettings> settings_;
    CWindowBase* window_ = nullptr;
    std::unique_ptr<TextureUploader> uploader_;
    std::unique_ptr<CTextureCache> textureCache_;
    std::unique_ptr<CacheSceneTextures> sceneTextures_;
    std::unique_ptr<CFrameBufferObjects> frameBuffers_;
    SoundSource* source_ = nullptr;
    std::unique_ptr<SoundSource> listening_;  // with VIS_LISTEN, when sound can be captured
    std::unique_ptr<SoundAnalyser> analyser_;
    COnScreenDisplay osd_;
    CUpdater updater_{*this};
    UpdaterHardware hardware_;  // the driver strings read by the probe
    FrameTiming timing_;
    std::string baseDirectory_;
    std::unique_ptr<CSceneRegistry> registry_;
    std::unique_ptr<CRenderList> renderList_;
    bool quitRequested_ = false;
    int mouseMoveCount_ = 0;
    float registers_[kSharedRegisters] = {};
    bool graphics_ = false;
    bool killed_ = false;
    bool updaterRestartRequested_ = false;
    std::string screenshotPath_;
    float fixedFrameTime_ = 0.0f;  // offline rendering's step; 0: the clock
    MillisecondCarry soundCarry_;
    int offscreenWidth_ = 0;
    int offscreenHeight_ = 0;
    CRenderBufferObject* offscreen_ = nullptr;  // bound only inside a step
    Image* frameImage_ = nullptr;
    bool frameCaptured_ = false;
};

// The visualiser inside its constructor or step(), else null.
extern CVisMain* currentVis;

// The start-up line: product, version, the real pointer width and build date.
std::string visVersionLine();
