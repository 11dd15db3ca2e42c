// The GL side of CScene: the state every render starts from, and thumbnails.
#include <GL/glew.h>

#include <vector>

#include "app/log.h"
#include "app/random.h"
#include "render/frameBufferObjects.h"
#include "render/image.h"
#include "render/imageFile.h"
#include "render/renderState.h"
#include "render/shader.h"
#include "scene/scene.h"
#include "sound/syntheticBeatSource.h"
#include "vfs/fileSystem.h"

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Blend factor ids of the default blending (source alpha, one minus source alpha).
constexpr int kBlendSourceAlpha = 100;
constexpr int kBlendOneMinusSourceAlpha = 101;

// Every render starts from the same state, whatever the previous scene left.
void resetSceneState() {
    if (glClampColorARB) glClampColorARB(GL_CLAMP_FRAGMENT_COLOR_ARB, GL_TRUE);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthRange(0.0, 1.0);
    glCullFace(GL_BACK);
    glDisable(GL_CULL_FACE);
    shaderBind(0);
    setMatrix(MATRIX_PROJECTION, kIdentity);
    setMatrix(MATRIX_MODELVIEW, kIdentity);
    glSetInt(205, -1);
    glSetInt(203, kBlendSourceAlpha);
    glSetInt(204, kBlendOneMinusSourceAlpha);
}

bool isAbsolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

// The viewport's pixels, first row at the top.
bool saveViewport(const std::string& file) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Image image = imageMake(viewport[2], viewport[3], false);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(viewport[0], viewport[1], viewport[2], viewport[3], GL_RGB, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    imageFlip(&image);
    return imageSave(file.c_str(), image);
}

}  // namespace

bool CScene::render() {
    if (!initialised_) {
        Log(LOG_WARNING, "CScene::visRender in uninitialised scene '%s'\n", id().c_str());
        return true;
    }
    resetSceneState();
    glReportErrors(__FILE__, __LINE__);
    glPushAttrib(GL_ENABLE_BIT);
    bool finished = checkedExecute(renderPending_ ? nullptr : "V render()", true, 0);
    glReportErrors(__FILE__, __LINE__);
    glPopAttrib();
    glDisable(GL_CULL_FACE);
    shaderBind(0);
    renderPending_ = !finished;
    return finished;
}

void CScene::renderThrough() {
    // Outside the render pass no child is drawn; a render that asks for one
    // is resumed at once, a bounded number of times.
    for (int attempt = 0; attempt < 16 && initialised_; ++attempt)
        if (render()) return;
}

bool CScene::createThumbnail(const std::string& path) {
    CFrameBufferObjects* pool = renderFrameBufferObjects();
    if (!host_ || !pool) {
        Log(LOG_WARNING, "createThumbnail: no host or frame buffer pool\n");
        return false;
    }
    CRenderBufferObject* target = pool->getRenderBuffer(128, 128, true, false);
    if (!target) return false;
    pool->bind(target);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    bool wasPlaying = initialised_;
    if (wasPlaying) {
        renderThrough();
    } else {
        visSeedRandom(0xdeadbeef);
        initialise(true);
        SyntheticBeatSource beat(140.0);
        SoundSource* previous = host_->swapSoundSource(&beat);
        float previousTime = host_->timePass();
        host_->setTimePass(1.0f / 30.0f);
        for (int frame = 0; frame < 40 && initialised_; ++frame) {
            host_->advanceSound();
            step();
            renderThrough();
        }
        host_->swapSoundSource(previous);
        host_->setTimePass(previousTime);
    }
    bool saved = saveViewport(host_->baseDirectory() + path);
    if (saved && !isAbsolute(path) && CVFileSystem::instance())
        CVFileSystem::instance()->addFile(path);
    pool->end(target);
    target->setUnused();
    if (!wasPlaying) kill();
    return saved;
}
