// The visualiser as far as one previewed scene needs it: shared registers,
// the frame's time, the synthetic beat and its analysis, the script host,
// textures, and the render-job machine for one root scene whose children
// (the scene's `Inputs`) are drawn as black.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "script/script.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"

class PreviewHost : public SceneHost {
public:
    // `textures` (the texture cache in the preview) must outlive the host.
    PreviewHost(const std::string& baseDirectory, double beatsPerMinute, int width, int height,
                SceneTextures& textures);
    ~PreviewHost() override;

    void setScene(CScene* scene) { scene_ = scene; }
    // The window's client size changed: scenes render at the new size.
    void setOutputSize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    // One frame of the frame step: sound, then step and render of the scene.
    void frame(float seconds, float averageFrameTime);
    // Set once a VM error ended the scene.
    bool failed() const { return failed_; }
    CScript& script() { return script_; }
    const SoundAnalyser& analyser() const { return analyser_; }

    float* sharedRegisters() override { return registers_; }
    float timePass() override { return timePass_; }
    void setTimePass(float seconds) override { timePass_ = seconds; }
    float aspectRatio() override;
    float innermostJobTime() override;
    void pushChildJob(int index, float time, int width, int height) override;
    int renderedTexture() override { return renderedTexture_; }
    void sceneVMError(CScene& scene) override;
    const SoundAnalyser* soundAnalyser() override { return &analyser_; }
    SoundSource* swapSoundSource(SoundSource* source) override;
    void advanceSound() override;
    std::string evaluateToText(const std::string& expression) override;
    std::string innermostProperty(const std::string&) override { return ""; }
    void executeScript(const std::string& code) override;
    SceneTextures& textures() override { return textures_; }
    std::string baseDirectory() override { return base_; }

private:
    struct Job {
        std::string id;  // empty: a child, drawn as black
        bool toTexture;
        int width;
        int height;
        float time;
        bool started;
    };
    void renderJobs();
    bool runTopJob(size_t index, int& depth);
    void unwindRenderTargets();

    std::string base_;
    int width_;
    int height_;
    float registers_[kSharedRegisters] = {};
    float timePass_ = 0.0f;
    float averageFrameTime_ = 0.1f;
    SyntheticBeatSource beat_;
    SoundSource* source_;
    SoundAnalyser analyser_;
    CScript script_{nullptr};
    SceneTextures& textures_;
    CScene* scene_ = nullptr;
    std::vector<Job> jobs_;
    int renderedTexture_ = 0;
    bool failed_ = false;
};
