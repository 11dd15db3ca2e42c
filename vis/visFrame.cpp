// One frame of the visualiser: updater, window messages and input, time,
// sound, then either one scene list read behind the progress bar (loading)
// or the control script's onFrame and the render tree (running), the
// on-screen display, the swap, and the work that may wait until after it.
#include <GL/glew.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/window.h"
#include "render/cache/textureCache.h"
#include "render/frameBufferObjects.h"
#include "render/image.h"
#include "render/imageFile.h"
#include "render/renderTexture.h"
#include "script/script.h"
#include "script/settings.h"
#include "vis/visMain.h"

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// Offline rendering waits at most this long for one frame's background work.
constexpr uint32_t kSettleLimitMs = 10000;

}  // namespace

void CVisMain::step() {
    CurrentVis inside(this);
    bool offline = fixedFrameTime_ > 0.0f;
    if (offline) settleOffline();
    if (graphics_) glReportErrors(__FILE__, __LINE__);
    if (!(optionFlags_ & VIS_OFFLINE)) updater_.step();
    window_->makeCurrent();
    window_->processMessage();
    InputTargets targets{*window_, *this, *this, quitRequested_, mouseMoveCount_};
    targets.inputEndsRun = !(optionFlags_ & VIS_HOSTED);
    drainWindowEvents(targets);
    if (graphics_) glReportErrors(__FILE__, __LINE__);
    if (offline) beginOffscreen();

    uint32_t now = osTickCount();
    if (offline) {
        timing_.timePass = timing_.realTimePass = timing_.averageFrameTime = fixedFrameTime_;
    } else {
        frameTimeStep(timing_, now, *settings_);
    }
    // An offline render's sound starts with its first picture, not with the loading screen.
    if (!offline || !registry_->loading()) advanceSound();

    if ((optionFlags_ & VIS_NO_OPENGL) && (registry_->loading() || registry_->count() > 0))
        dropAllScenes();
    if (graphics_) {
        glViewport(0, 0, outputWidth(), outputHeight());
        glReportErrors(__FILE__, __LINE__);
    }

    if (registry_->loading()) {
        loadingFrame();
    } else {
        runningFrame();
        lastTick_ = now;
        timing_.lastTick = now;
    }
    if (graphics_) glReportErrors(__FILE__, __LINE__);

    frameBuffers_->age(static_cast<int>(timing_.timePass * 1000.0f));
    takeScreenshot();
    if (offscreen_) endOffscreen();
    window_->swapBuffers();
    renderList_->initialiseNext(textureCache_->pendingCount());
    if (graphics_) textureCache_->update();
}

// Reads one queued scene list; the frame shows only the progress bar.
// lastTick stays as it was, so the loading time never counts as play.
void CVisMain::loadingFrame() {
    if (graphics_) {
        renderClear(0, 0, 0, 0, 1);
        float queued = static_cast<float>(registry_->loadQueue().size());
        osd_.drawProgress(1.0f - queued / registry_->loadQueueTotal(), outputWidth(),
                          outputHeight());
    }
    if (registry_->loadNextQueued())
        script_->runCode("if (onScenesLoaded!=undefined) onScenesLoaded();");
}

void CVisMain::runningFrame() {
    script_->setGlobalNumber("timePass", timing_.timePass);
    script_->setGlobalNumber("realTimePass", timing_.realTimePass);
    script_->runCode("if (onFrame!=undefined) onFrame();");
    settings_->accumulateSceneStats(renderList_->ids(), timing_.timePass);
    if (!graphics_) return;
    if ((optionFlags_ & VIS_NO_OPENGL) || renderList_->count() == 0)
        drawIdleScreen();
    else
        renderScenes();
    glReportErrors(__FILE__, __LINE__);
    osd_.drawMessages(timing_.timePass, renderList_->count() > 0, outputWidth(), outputHeight());
}

void CVisMain::drawIdleScreen() {
    renderClear(0, 0, 0, 0, 3);
    osd_.drawLogo(outputWidth(), outputHeight());
}

void CVisMain::renderScenes() {
    CRenderList::Drawing drawing;
    drawing.clear = [] { renderClear(0, 0, 0, 1, 3); };
    drawing.drawLogo = [this] { osd_.drawLogo(outputWidth(), outputHeight()); };
    drawing.beginTexture = [](int width, int height) { texRenderBegin(width, height, false); };
    drawing.endTexture = [] { return texRenderEnd(); };
    drawing.unwindTextures = [this] { unwindRenderTextures(); };
    drawing.resetMatrices = [] {
        glClearColor(0, 0, 0, 1);
        setMatrix(MATRIX_PROJECTION, kIdentity);
        setMatrix(MATRIX_MODELVIEW, kIdentity);
    };
    renderList_->render(timing_.timePass, drawing);
}

void CVisMain::unwindRenderTextures() {
    while (!renderState().renderTextureStack.empty()) {
        int texture = texRenderEnd();
        if (texture == 0) break;
        texRenderFinished(texture);
    }
}

// A screenshot asked for by a script shows the frame that was just drawn,
// before the swap leaves the back buffer undefined.
void CVisMain::takeScreenshot() {
    if (screenshotPath_.empty()) return;
    std::string path;
    path.swap(screenshotPath_);
    if (!graphics_) return;
    if (imageCapture(path.c_str(), true))
        Log(LOG_INFO, "Screenshot written to %s\n", path.c_str());
    else
        Log(LOG_WARNING, "Cannot write screenshot %s\n", path.c_str());
}

void CVisMain::renderOffline(float seconds, int width, int height) {
    fixedFrameTime_ = seconds;
    offscreenWidth_ = width;
    offscreenHeight_ = height;
}

// What the interactive loop leaves to the background (texture loads, the
// slices of waiting scenes' initialisation) finishes before an offline
// frame, so that every run draws the same pictures however fast it goes.
void CVisMain::settleOffline() {
    uint32_t start = osTickCount();
    while (osTickCount() - start < kSettleLimitMs) {
        if (textureCache_->pendingCount() > 0) {
            if (graphics_) textureCache_->update();
            osSleep(1);
            continue;
        }
        if (renderList_->allInitialised(0)) return;
        renderList_->initialiseNext(0);
    }
    Log(LOG_WARNING, "Offline rendering: background work unfinished after %u s\n",
        kSettleLimitMs / 1000);
}

// The frame goes to a buffer of the pool, bound at the bottom of the render
// target stack so that scenes rendering into textures return to it.
void CVisMain::beginOffscreen() {
    if (!graphics_ || (optionFlags_ & VIS_NO_OPENGL) || offscreenWidth_ <= 0) return;
    offscreen_ = frameBuffers_->getRenderBuffer(offscreenWidth_, offscreenHeight_, false, false);
    if (offscreen_) frameBuffers_->bind(offscreen_);
}

void CVisMain::endOffscreen() {
    if (frameImage_) {
        *frameImage_ = imageMake(offscreenWidth_, offscreenHeight_, false);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, offscreenWidth_, offscreenHeight_, GL_RGB, GL_UNSIGNED_BYTE,
                     frameImage_->pixels.data());
        imageFlip(frameImage_);
        frameImage_ = nullptr;
        frameCaptured_ = true;
    }
    frameBuffers_->end(offscreen_);
    offscreen_->setUnused();
    offscreen_ = nullptr;
}
