// Everything a scene test needs around a CScene: a temporary base directory
// served by the virtual file system, the VM registry with the scene natives,
// and a recording host in place of the visualiser.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scene/directTextures.h"
#include "scene/scene.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tests/support/temp_dir.h"

class FakeHost : public SceneHost {
public:
    struct ChildJob {
        int index;
        float time;
        int width;
        int height;
    };

    float* sharedRegisters() override { return registers; }
    float timePass() override { return time; }
    void setTimePass(float seconds) override { time = seconds; }
    float aspectRatio() override { return aspect; }
    float innermostJobTime() override { return jobTime; }
    void pushChildJob(int index, float t, int width, int height) override {
        childJobs.push_back({index, t, width, height});
    }
    int renderedTexture() override { return rendered; }
    void sceneVMError(CScene& scene) override { vmErrors.push_back(scene.id()); }
    const SoundAnalyser* soundAnalyser() override { return &analyser; }
    SoundSource* swapSoundSource(SoundSource* replacement) override {
        SoundSource* previous = source;
        source = replacement;
        return previous;
    }
    void advanceSound() override {
        source->produce(static_cast<int>(time * 1000));
        analyser.analyse(*source, time, time);
        ++soundSteps;
    }
    std::string evaluateToText(const std::string& expression) override {
        auto it = scriptValues.find(expression);
        return it == scriptValues.end() ? "" : it->second;
    }
    std::string innermostProperty(const std::string& key) override {
        auto it = properties.find(key);
        return it == properties.end() ? "" : it->second;
    }
    void executeScript(const std::string& code) override { executed.push_back(code); }
    SceneTextures& textures() override { return textureLoader; }
    std::string baseDirectory() override { return base; }

    float registers[kSharedRegisters] = {};
    float time = 1.0f / 60.0f;
    float jobTime = 0.0f;
    float aspect = 4.0f / 3.0f;
    int rendered = 0;
    int soundSteps = 0;
    std::vector<ChildJob> childJobs;
    std::vector<std::string> vmErrors;
    std::map<std::string, std::string> scriptValues;
    std::map<std::string, std::string> properties;
    std::vector<std::string> executed;
    SoundAnalyser analyser;
    SyntheticBeatSource beat{140.0};
    SoundSource* source = &beat;
    DirectSceneTextures textureLoader;
    std::string base;
};

class SceneWorld {
public:
    SceneWorld();
    ~SceneWorld();

    // Assembles `source` into scenes/<id>.vsi (failing the test on assembler
    // errors) and makes the scene; `data` is the inner XML of its Data element.
    CScene& scene(const std::string& id, const std::string& source, const std::string& data = "");
    // Writes a file into the base directory and registers it with the file system.
    void file(const std::string& name, const std::string& content);

    TempDir directory;
    FakeHost host;
    std::vector<std::unique_ptr<CScene>> scenes;
};

// The lines a scene wrote with print, "text value" each, in order.
std::vector<std::string> printed(const class LogCapture& log);
