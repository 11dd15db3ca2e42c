// Construction and shutdown of the visualiser, and what scenes and the logger
// ask of it. The frame step is in visFrame.cpp.
//
// Construction runs in a fixed order: the script host and settings first (so
// that `LOG` decides about log.txt before anything else is logged), then the
// file system and the VM, the control scripts (which may move the window
// through the settings), the window, the capability probe and the rendering
// services.
#include "vis/visMain.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/clock.h"
#include "app/glCaps.h"
#include "app/random.h"
#include "app/renderCaps.h"
#include "app/window.h"
#include "render/cache/sceneTextureCache.h"
#include "render/cache/textureCache.h"
#include "render/cache/textureUploader.h"
#include "render/frameBufferObjects.h"
#include "render/renderTexture.h"
#include "render/texture.h"
#include "scene/sceneNatives.h"
#include "script/script.h"
#include "script/settings.h"
#include "sound/listeningSource.h"
#include "sound/soundAnalyser.h"
#include "sound/soundSource.h"
#include "vfs/fileSystem.h"
#include "vis/hostFunctions.h"

CVisMain* currentVis = nullptr;

namespace {

const char* const kProductName = "Vortalis Visualizer";
const char* const kDeviceIdentityFile = "deviceid.js";
constexpr int kMinimumWindowSide = 16;
// Offline renders draw the same random numbers every run.
constexpr uint32_t kOfflineSeed = 0x5eed;

// Texture ids without GL, for the headless visualiser: scenes may load and
// release textures, nothing is ever uploaded.
class HeadlessUploader : public TextureUploader {
public:
    int allocateSlot() override { return ++last_; }
    int maxTextureSize() override { return 4096; }
    void uploadImage(int, const Image&) override {}
    int fromBytes(int, int, const uint8_t*) override { return ++last_; }
    int fromFloats(int, int, const float*) override { return ++last_; }
    int fromFloats3D(int, int, int, const float*) override { return ++last_; }
    void remove(int) override {}

private:
    int last_ = 0;
};

std::string currentDirectory() {
    char buffer[257] = {0};
    if (!getcwd(buffer, sizeof buffer - 1)) return std::string();
    return buffer;
}

bool endsWith(const std::string& text, const char* suffix) {
    size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

}  // namespace

std::string visVersionLine() {
    char line[256];
    std::snprintf(line, sizeof line, "%s Version %s [%d bit],  built %s", kProductName,
                  CVisMain::kVersion, static_cast<int>(sizeof(void*) * 8), __DATE__);
    return line;
}

CVisMain::CurrentVis::CurrentVis(CVisMain* vis) {
    currentVis = vis;
    logSetObserver(vis);
}

CVisMain::CurrentVis::~CurrentVis() {
    logSetObserver(nullptr);
    currentVis = nullptr;
}

CVisMain::CVisMain(const std::string& baseDirectory, CWindowBase* window, SoundSource* source,
                   uint32_t optionFlags, const char* startupScript)
    : optionFlags_(optionFlags), baseDirectory_(baseDirectory) {
    registry_ = std::make_unique<CSceneRegistry>(this, SceneContext{this, this});
    renderList_ = std::make_unique<CRenderList>(*registry_);

    script_ = std::make_unique<CScript>(this);
    registerHostFunctions(script_->engine());
    script_->setGlobalString("OS", kOperatingSystem);
    script_->setGlobalString("VERSION", kVersion);

    settings_ = std::make_unique<CSettings>(*script_);
    settings_->load(baseDirectory_);
    logSetEnabled(settings_->getInt("LOG", 1) != 0);

    CurrentVis inside(this);
    CVFileSystem::create(baseDirectory_);
    vmSystemCreate(logLevelFromPrefix);
    sceneInstallNatives();

    Log(LOG_INFO, "%s\n", visVersionLine().c_str());
    Log(LOG_INFO, "current dir: %s\n", currentDirectory().c_str());
    Log(LOG_INFO, "base dir: %s\n", baseDirectory_.c_str());

    timing_ = FrameTiming();
    visSeedRandom((optionFlags_ & VIS_OFFLINE) ? kOfflineSeed : osTickCount());

    window_ = window;
    source_ = source;
    mouseMoveCount_ = 0;
    analyser_ = std::make_unique<SoundAnalyser>();
    if (optionFlags_ & VIS_LISTEN) {
        listening_ = openListeningSource(*settings_, *source_);
        if (listening_) source_ = listening_.get();
    }

    runStartupScripts(startupScript);
    openWindow();
    startGraphics();

    quitRequested_ = false;
    if (graphics_) osd_.initialise(*sceneTextures_);
    renderList_->clear();

    lastTick_ = 0;
    timing_.lastTick = 0;
    Log(LOG_INFO, "Initialisation done\n");
}

CVisMain::~CVisMain() {
    if (!killed_) kill();
}

void CVisMain::runStartupScripts(const char* startupScript) {
    std::string identity = baseDirectory_ + kDeviceIdentityFile;
    uint32_t length = 0;
    if (osFileExists(identity)) {
        char* text = osFileLoad(identity, osFileSize(identity), &length);
        if (text && length > 0) script_->runCode(std::string(text, length));
        vfileFree(text);
    }
    if (startupScript) script_->runCode(startupScript);

    script_->executeFile("data/utils.js");
    bool device =
        (optionFlags_ & VIS_DEVICE_MODE) && CVFileSystem::get().findFile("data/device.js");
    const char* control = device ? "data/device.js" : "data/script.js";
    bool found = CVFileSystem::get().findFile(control) != nullptr;
    script_->executeFile(control);
    if (!script_->runCode("onInit();")) {
        Log(LOG_OSD,
            "!Unable to initialise JavaScript. This could be because some files are damaged.\n");
        Log(LOG_OSD,
            "!Please wait a few minutes for Vortalis to download some more, and then restart.\n");
        requestUpdaterRestart();
    }
    // An empty base directory still runs, showing the logo and saying where
    // it looked, rather than a black screen that explains nothing.
    if (!found) Log(LOG_OSD, "!No content found in %s\n", baseDirectory_.c_str());
}

void CVisMain::openWindow() {
    int left = settings_->getInt("window.left", 4);
    int top = settings_->getInt("window.top", 24);
    int width = std::max(settings_->getInt("window.width", 640), kMinimumWindowSide);
    int height = std::max(settings_->getInt("window.height", 480), kMinimumWindowSide);
    if (optionFlags_ & VIS_FULL_SCREEN) settings_->setInt("window.fullscreen", 1);
    bool fullScreen = settings_->getInt("window.fullscreen", 0) != 0;
    if (fullScreen) {
        MonitorRect monitor = window_->monitorRect(0);
        left = 0;
        top = 0;
        width = monitor.width;
        height = monitor.height;
    }
    window_->left = left;
    window_->top = top;
    window_->width = width;
    window_->height = height;
    window_->fullscreen = fullScreen;
    if (!window_->create()) Log(LOG_FATAL, "Unable to create OpenGL window\n");
    window_->makeCurrent();
    graphics_ = window_->renderingContext() != nullptr;
}

void CVisMain::startGraphics() {
    GLCapabilities found;
    if (graphics_) {
        GLDriverInfo driver = readGLDriverInfo();
        hardware_ = {driver.vendor, driver.renderer, driver.version, driver.extensions};
        found = evaluateGLCapabilities(driver);
        if (!found.usable) optionFlags_ |= VIS_NO_OPENGL;
        applyVsyncSetting(*settings_, found.extensionText, sdlSwapInterval);
        renderSetCaps(renderCapsFrom(found, *settings_));
        UploadContext upload;
        if (window_->uploadContext()) {
            CWindowBase* window = window_;
            upload.bind = [window] { return window->makeUploadContextCurrent(true); };
            upload.unbind = [window] { window->makeUploadContextCurrent(false); };
        }
        uploader_ = std::make_unique<GlTextureUploader>(upload);
    } else {
        uploader_ = std::make_unique<HeadlessUploader>();
    }
    textureCache_ = std::make_unique<CTextureCache>(settings_.get(), uploader_.get());
    sceneTextures_ = std::make_unique<CacheSceneTextures>(*textureCache_);
    frameBuffers_ = std::make_unique<CFrameBufferObjects>(settings_.get());
    renderUtilsInit(this);
    renderSetFrameBufferObjects(frameBuffers_.get());
    if (graphics_) texSetCacheHook(textureCache_.get());
}

void CVisMain::queueSceneLists() {
    registry_->queueFiles(CVFileSystem::get().listFiles("scenes/"));
}

void CVisMain::dropAllScenes() {
    renderList_->clear();
    registry_->dropAll();
}

void CVisMain::kill() {
    if (killed_) return;
    killed_ = true;
    script_->runCode("if (onKill!=undefined) onKill();");
    dropAllScenes();

    vmSystemDestroy();
    analyser_.reset();
    if (graphics_) osd_.release();
    texSetCacheHook(nullptr);
    if (textureCache_) textureCache_->destroy();
    sceneTextures_.reset();
    textureCache_.reset();
    uploader_.reset();
    renderUtilsKill();
    renderSetFrameBufferObjects(nullptr);
    frameBuffers_.reset();

    if (!(optionFlags_ & (VIS_HOSTED | VIS_OFFLINE))) {
        settings_->setInt("window.left", window_->left);
        settings_->setInt("window.top", window_->top);
        settings_->setInt("window.fullscreen", window_->fullscreen ? 1 : 0);
        settings_->setInt("window.width", window_->width);
        settings_->setInt("window.height", window_->height);
    }
    window_->destroy();

    if (!(optionFlags_ & VIS_OFFLINE)) settings_->save();
    settings_.reset();
    script_.reset();

    CVFileSystem::destroy();
    deleteRetiredArchives();
}

void CVisMain::deleteRetiredArchives() {
    for (const std::string& name : registry_->archivesToDelete()) {
        if (!endsWith(name, ".vortapack")) {
            Log(LOG_SERIOUS, "Trying to delete non-archive file %s!\n", name.c_str());
            continue;
        }
        Log(LOG_INFO, "Deleting '%s'\n", name.c_str());
        std::string path = name.size() && name[0] == '/' ? name : baseDirectory_ + name;
        if (std::remove(path.c_str()) != 0)
            Log(LOG_WARNING, "Cannot delete '%s': %s\n", path.c_str(), std::strerror(errno));
    }
}

bool CVisMain::addArchive(const std::string& name) {
    std::string path = !name.empty() && name[0] == '/' ? name : baseDirectory_ + name;
    CVFileSystem& files = CVFileSystem::get();
    files.addArchive(path);
    CVFileArchive* archive = files.findArchive(path);
    if (!archive) return false;
    std::vector<std::string> lists;
    files.listArchiveFiles(archive, "scenes/", ".xml", lists);
    registry_->queueFiles(lists);
    return true;
}

bool CVisMain::removeArchive(const std::string& name) {
    std::string path = !name.empty() && name[0] == '/' ? name : baseDirectory_ + name;
    CVFileSystem& files = CVFileSystem::get();
    CVFileArchive* archive = files.findArchive(path);
    if (!archive) return false;
    std::vector<std::string> lists;
    files.listArchiveFiles(archive, "scenes/", ".xml", lists);
    registry_->removeScenesOfFiles(lists, [this](const std::string& id) {
        while (renderList_->find(id) >= 0)
            renderList_->remove(id);
    });
    return true;
}

void CVisMain::setSoundTempo(double beatsPerMinute) {
    if (analyser_ && source_) source_->setTempo(beatsPerMinute);
}

void CVisMain::requestScreenshot(const std::string& path) {
    screenshotPath_ = path;
}

// SceneHost

float CVisMain::aspectRatio() {
    return outputHeight() > 0 ? static_cast<float>(outputWidth()) / outputHeight() : 1.0f;
}

float CVisMain::innermostJobTime() {
    return renderList_->innermostJobTime();
}

void CVisMain::pushChildJob(int index, float time, int width, int height) {
    renderList_->pushChildJob(index, time, width, height);
}

int CVisMain::renderedTexture() {
    return renderList_->renderedTexture();
}

void CVisMain::sceneVMError(CScene&) {
    renderList_->vmError();
    if (graphics_) unwindRenderTextures();
}

SoundSource* CVisMain::swapSoundSource(SoundSource* source) {
    SoundSource* previous = source_;
    source_ = source;
    return previous;
}

void CVisMain::advanceSound() {
    if (!source_ || !analyser_) return;
    // Frames last a fraction of a millisecond more than the whole milliseconds
    // a source is given (16.67 ms at 60 fps); carried, the sound keeps pace
    // with the pictures, on screen and offline alike.
    source_->produce(soundCarry_.take(timing_.timePass));
    analyser_->analyse(*source_, timing_.timePass, timing_.averageFrameTime);
}

void CVisMain::executeScript(const std::string& code) {
    script_->runCode(code);
}

SceneTextures& CVisMain::textures() {
    return *sceneTextures_;
}

std::string CVisMain::evaluateToText(const std::string& expression) {
    return script_->evalString(expression);
}

std::string CVisMain::innermostProperty(const std::string& key) {
    return renderList_->innermostProperty(key);
}

// LogObserver

void CVisMain::showOnScreen(const char* text) {
    osd_.addMessage(text);
}

void CVisMain::recordMessage(const std::string& entry) {
    if (settings_) settings_->addMessage(entry);
}

// RenderHost

int CVisMain::outputWidth() const {
    if (offscreenWidth_ > 0) return offscreenWidth_;
    return window_ ? window_->width : 0;
}

int CVisMain::outputHeight() const {
    if (offscreenHeight_ > 0) return offscreenHeight_;
    return window_ ? window_->height : 0;
}

SettingsAccess* CVisMain::settings() {
    return settings_.get();
}

// InputScript and InputScene

void CVisMain::execute(const std::string& code) {
    script_->runCode(code);
}

bool CVisMain::hasInputScene() {
    return renderList_->inputScene() != nullptr;
}

void CVisMain::keyEvent(int code) {
    if (CScene* scene = renderList_->inputScene()) scene->keyEvent(code);
}

void CVisMain::mouseEvent(int x, int y, int state) {
    if (CScene* scene = renderList_->inputScene()) scene->mouseEvent(x, y, state);
}

// UpdaterHost

std::string CVisMain::evalString(const std::string& code) {
    return script_->evalString(code);
}

bool CVisMain::runCode(const std::string& code) {
    return script_->runCode(code);
}

std::string CVisMain::getGlobalString(const std::string& name, const std::string& defaultValue) {
    return script_->getGlobalString(name, defaultValue);
}

std::string CVisMain::sceneStatsXml() {
    return settings_->sceneStatsXml();
}

std::string CVisMain::messagesXml() {
    return settings_->messagesXml();
}

void CVisMain::clearMessages() {
    settings_->clearMessages();
}

void CVisMain::clearSceneStats() {
    settings_->clearSceneStats();
}

bool CVisMain::archiveMounted(const std::string& path) {
    return CVFileSystem::get().findArchive(path) != nullptr;
}

bool CVisMain::mountArchive(const std::string& path) {
    CVFileSystem::get().addArchive(path);
    return archiveMounted(path);
}

void CVisMain::unmountArchive(const std::string& path) {
    CVFileSystem::get().removeArchive(path);
}

void CVisMain::queueArchiveScenes(const std::string& path) {
    CVFileSystem& files = CVFileSystem::get();
    std::vector<std::string> lists;
    if (CVFileArchive* archive = files.findArchive(path))
        files.listArchiveFiles(archive, "scenes/", ".xml", lists);
    registry_->queueFiles(lists);
}

void CVisMain::retireArchive(const std::string& name) {
    registry_->retireArchive(name);
}
