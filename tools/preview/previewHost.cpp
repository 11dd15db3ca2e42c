// The preview's render jobs follow the visualiser's: a job renders its scene
// (stepping it first when its time is positive), a scene that asks for a
// child pushes the child's job and is resumed once the child is drawn, and
// a job that renders into a texture leaves the texture id for its parent.
#include "tools/preview/previewHost.h"

#include "app/log.h"
#include "render/renderState.h"
#include "render/renderTexture.h"

PreviewHost::PreviewHost(const std::string& baseDirectory, double beatsPerMinute, int width,
                         int height, SceneTextures& textures)
    : base_(baseDirectory),
      width_(width),
      height_(height),
      beat_(beatsPerMinute),
      source_(&beat_),
      textures_(textures) {}

PreviewHost::~PreviewHost() = default;

float PreviewHost::aspectRatio() {
    return height_ > 0 ? static_cast<float>(width_) / static_cast<float>(height_) : 1.0f;
}

float PreviewHost::innermostJobTime() {
    return jobs_.empty() ? 0.0f : jobs_.back().time;
}

void PreviewHost::pushChildJob(int index, float time, int width, int height) {
    // The previewed scene's children are not played: each renders as black.
    (void)index;
    bool toTexture = width != 0 && height != 0;
    jobs_.push_back(Job{"", toTexture, width, height, time, false});
}

void PreviewHost::sceneVMError(CScene&) {
    failed_ = true;
    jobs_.clear();
    unwindRenderTargets();
}

SoundSource* PreviewHost::swapSoundSource(SoundSource* source) {
    SoundSource* previous = source_;
    source_ = source;
    return previous;
}

void PreviewHost::advanceSound() {
    source_->produce(static_cast<int>(timePass_ * 1000.0f));
    analyser_.analyse(*source_, timePass_, averageFrameTime_);
}

std::string PreviewHost::evaluateToText(const std::string& expression) {
    return script_.evalString(expression);
}

void PreviewHost::executeScript(const std::string& code) {
    script_.runCode(code);
}

void PreviewHost::frame(float seconds, float averageFrameTime) {
    timePass_ = seconds;
    averageFrameTime_ = averageFrameTime;
    advanceSound();
    renderJobs();
}

void PreviewHost::unwindRenderTargets() {
    while (!renderState().renderTextureStack.empty()) {
        int texture = texRenderEnd();
        if (texture == 0) break;
        texRenderFinished(texture);
    }
}

void PreviewHost::renderJobs() {
    renderClear(0, 0, 0, 1, 3);
    jobs_.clear();
    if (!scene_ || !scene_->initialised()) return;
    jobs_.push_back(Job{scene_->id(), false, 0, 0, timePass_, false});
    int depth = 0;
    while (!jobs_.empty())
        if (!runTopJob(jobs_.size() - 1, depth)) break;
    if (depth != 0) Log(LOG_SERIOUS, "Render Texture Stack mismatch - %d\n", depth);
    renderClear(0, 0, 0, 1, 0);
}

// False when the job stack was emptied (a VM error) and the frame ends.
bool PreviewHost::runTopJob(size_t index, int& depth) {
    if (jobs_[index].toTexture && !jobs_[index].started) {
        ++depth;
        texRenderBegin(jobs_[index].width, jobs_[index].height, false);
    }
    CScene* scene = jobs_[index].id.empty() ? nullptr : scene_;
    bool playing = scene && scene->initialised();
    if (playing && !jobs_[index].started && jobs_[index].time > 0.0f) scene->step();
    if (jobs_.empty()) return false;
    jobs_[index].started = true;
    bool finished = true;
    if (playing && scene->initialised())
        finished = scene->render();
    else
        renderClear(0, 0, 0, 1, 3);
    if (jobs_.empty()) return false;
    if (!finished) return true;  // the child it pushed runs first
    if (jobs_[index].toTexture) {
        --depth;
        renderedTexture_ = texRenderEnd();
    }
    if (jobs_.size() - 1 != index) {
        Log(LOG_SERIOUS, "Preview: renderJobs is out of sync\n");
        jobs_.clear();
        unwindRenderTargets();
        return false;
    }
    jobs_.pop_back();
    return true;
}
