// CScene: one scene definition bound to one instance of the scene VM.
//
// The code is loaded on demand and its entry points run under time budgets:
// a long "V init()" is spread over 40 ms slices, a render may pause itself
// until a child scene has been drawn, and any VM failure (an error, or a run
// that outlives the default budget) ends with the scene back in its defined
// state, its GL objects freed and the render list emptied. Resources a scene
// creates through the natives are recorded here and freed, with a warning,
// when the scene ends without freeing them itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/sceneDefinition.h"
#include "scene/sceneHost.h"
#include "vm/vm.h"

class VmVertexMemory;

class CScene {
public:
    static constexpr uint32_t kDefaultBudgetMs = 2000;
    static constexpr uint32_t kInitSliceMs = 40;

    CScene(SceneHost* host, std::unique_ptr<SceneDefinition> definition);
    ~CScene();
    CScene(const CScene&) = delete;
    CScene& operator=(const CScene&) = delete;

    // Loads the code when needed and runs (or resumes) "V init()": with
    // `force` blocking under the default budget, otherwise for one 40 ms
    // slice that a later call continues.
    void initialise(bool force);
    void step();
    // Runs or resumes "V render()" inside the scene's GL state. False when
    // the scene paused itself to have a child rendered first.
    bool render();
    // Runs "V kill()" when initialised; frees the scene's resources always.
    void kill();
    void mouseEvent(int x, int y, int state);
    void keyEvent(int character);
    // Renders the scene into a 128 x 128 image saved at the base directory
    // followed by `path`; a scene that is not playing is initialised for it
    // and killed again afterwards. False when the image was not written.
    bool createThumbnail(const std::string& path);

    // Runs `entry` (or resumes the paused run when null) and returns whether
    // it finished; a failure is handled here and counts as finished.
    bool checkedExecute(const char* entry, bool force, uint32_t budgetMs);

    // Resource records kept by the graphics natives.
    void addRenderTexture(int id) { renderTextures_.push_back(id); }
    void removeRenderTexture(int id) { removeId(renderTextures_, id); }
    void addShader(int id) { shaders_.push_back(id); }
    void removeShader(int id) { removeId(shaders_, id); }
    void addVertexBuffer(int id) { vertexBuffers_.push_back(id); }
    void removeVertexBuffer(int id) { removeId(vertexBuffers_, id); }
    const std::vector<int>& renderTextures() const { return renderTextures_; }
    const std::vector<int>& shaders() const { return shaders_; }
    const std::vector<int>& vertexBuffers() const { return vertexBuffers_; }

    const std::string& id() const { return definition_->id(); }
    const std::string& codePath() const { return codePath_; }
    const std::string& listFile() const { return definition_->listFile(); }
    const SceneDefinition& definition() const { return *definition_; }
    SceneHost* host() const { return host_; }
    VMState* vm() const { return vm_; }
    // The VM heap as memory for the scene's vertex buffers.
    VmVertexMemory* vertexMemory() const { return vertexMemory_.get(); }

    bool initialised() const { return initialised_; }
    bool initPending() const { return initPending_; }
    bool renderPending() const { return renderPending_; }
    bool finished() const { return finished_; }
    void setFinished(bool finished) { finished_ = finished; }

    // Value lookup and resource resolution of the definition.
    std::string text(const std::string& key, const std::string& defaultValue) const {
        return definition_->text(key, defaultValue);
    }
    std::string resolve(const std::string& reference, const std::string& directory) const {
        return definition_->resolve(reference, directory);
    }

private:
    void loadCode();
    void renderThrough();
    void forwardInput(const char* entry, const uint32_t* args, int count);
    void handleVMError(const char* entry);
    void freeResources();
    static void removeId(std::vector<int>& ids, int id);

    SceneHost* host_;
    std::unique_ptr<SceneDefinition> definition_;
    std::string codePath_;
    VMState* vm_ = nullptr;
    std::unique_ptr<VmVertexMemory> vertexMemory_;
    bool initialised_ = false;
    bool initPending_ = false;
    bool renderPending_ = false;
    bool finished_ = false;
    std::vector<int> renderTextures_;
    std::vector<int> shaders_;
    std::vector<int> vertexBuffers_;
};
