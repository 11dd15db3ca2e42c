// CScene: loading, budgets, initialisation slices, kill, input and the
// freeing of what a scene leaves behind. The GL side (render wrapper and
// thumbnails) is in sceneRender.cpp.
#include "scene/scene.h"

#include <algorithm>
#include <cstdlib>

#include "app/log.h"
#include "render/renderTexture.h"
#include "render/shader.h"
#include "render/vertexBuffer.h"
#include "scene/vmVertexMemory.h"
#include "vfs/fileSystem.h"

CScene::CScene(SceneHost* host, std::unique_ptr<SceneDefinition> definition)
    : host_(host), definition_(std::move(definition)) {
    VIS_ASSERT(definition_ != nullptr);
    codePath_ = "scenes/" + definition_->filename();
}

CScene::~CScene() {
    if (initialised_) kill();
    freeResources();
}

void CScene::removeId(std::vector<int>& ids, int id) {
    auto it = std::find(ids.begin(), ids.end(), id);
    if (it != ids.end()) ids.erase(it);
}

bool CScene::checkedExecute(const char* entry, bool force, uint32_t budgetMs) {
    const char* shown = entry ? entry : "[resumed]";
    if (!vm_) {
        Log(LOG_SERIOUS, "checkedExecute(\"%s\"): vm==0\n", shown);
        return true;
    }
    if (entry && !force && !vmHasFunction(vm_, entry)) return true;
    uint32_t budget = budgetMs ? budgetMs : kDefaultBudgetMs;
    bool finished =
        entry ? vmExecuteFunction(vm_, entry, nullptr, 0, budget) : vmResume(vm_, budget);
    bool error = vm_->errorFlag != 0;
    bool pausedByNative = !finished && !vmInterruptedByTime(vm_);
    if (!error) {
        if (budgetMs != 0 || finished || pausedByNative) return finished;
        Log(LOG_SERIOUS, "VM timed out in %s::%s after %d ms\n", id().c_str(), shown,
            static_cast<int>(budget));
    }
    handleVMError(shown);
    return true;
}

void CScene::handleVMError(const char* entry) {
    std::string trace = vm_ ? vmStackDump(vm_) : "[none]";
    if (trace.empty()) trace = "[none]";
    Log(LOG_SERIOUS, "VM Error in %s %s, stack trace :\n%s", codePath_.c_str(), entry,
        trace.c_str());
    initialised_ = false;
    initPending_ = false;
    renderPending_ = false;
    freeResources();
    if (host_) host_->sceneVMError(*this);
}

void CScene::loadCode() {
    if (vm_) Log(LOG_WARNING, "VM already loaded!\n");
    uint32_t length = 0;
    char* bytes = vfileLoad(codePath_, &length);
    if (!bytes) {
        Log(LOG_SERIOUS, "File '%s' couldn't be loaded!\n", codePath_.c_str());
        return;
    }
    Log(LOG_INFO, "Code %s, %d ops\n", codePath_.c_str(), static_cast<int>(length / 4));
    vm_ = vmCreateFromBytes(bytes, length);
    std::free(bytes);
    if (!vm_) {
        Log(LOG_SERIOUS, "No VM system to load '%s' into\n", codePath_.c_str());
        return;
    }
    vm_->user = this;
    vertexMemory_ = std::make_unique<VmVertexMemory>(vm_);
    if (vm_->errorFlag) handleVMError("[linking]");
}

void CScene::initialise(bool force) {
    finished_ = false;
    if (initialised_) return;
    bool done;
    if (initPending_) {
        // A forced initialisation promises a ready scene, so it resumes a
        // background start under the blocking budget, not for one slice.
        done = checkedExecute(nullptr, force, force ? 0 : kInitSliceMs);
    } else {
        loadCode();
        if (!vm_) return;
        done = checkedExecute("V init()", true, force ? 0 : kInitSliceMs);
    }
    if (!vm_) return;
    initPending_ = true;
    if (done) {
        initialised_ = true;
        initPending_ = false;
        renderPending_ = false;
    } else {
        Log(LOG_INFO, "Deferring initialization until next frame - took too long!\n");
    }
}

void CScene::step() {
    if (!initialised_) {
        Log(LOG_WARNING, "CScene::visStep in uninitialised scene '%s'\n", id().c_str());
        return;
    }
    checkedExecute("V step()", false, 0);
}

void CScene::kill() {
    if (initialised_) {
        initialised_ = false;
        initPending_ = false;
        checkedExecute("V kill()", true, 0);
    }
    freeResources();
}

// Input runs under the default budget like every other entry point: a
// handler that never returns must not hang the frame loop.
void CScene::forwardInput(const char* entry, const uint32_t* args, int count) {
    if (!vm_ || !initialised_ || !vmHasFunction(vm_, entry)) return;
    bool finished = vmExecuteFunction(vm_, entry, args, count, kDefaultBudgetMs);
    if (!vm_->errorFlag && finished) return;
    if (!vm_->errorFlag && vmInterruptedByTime(vm_))
        Log(LOG_SERIOUS, "VM timed out in %s::%s after %d ms\n", id().c_str(), entry,
            static_cast<int>(kDefaultBudgetMs));
    handleVMError(entry);
}

void CScene::mouseEvent(int x, int y, int state) {
    const uint32_t args[3] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                              static_cast<uint32_t>(state)};
    forwardInput("V mouseEvent(I,I,I)", args, 3);
}

void CScene::keyEvent(int character) {
    const uint32_t args[1] = {static_cast<uint32_t>(character)};
    forwardInput("V keyEvent(I)", args, 1);
}

void CScene::freeResources() {
    if (host_) host_->textures().sceneFinished(id());
    for (int texture : renderTextures_) {
        Log(LOG_WARNING, "[%s] Automatically freeing renderable texture\n", id().c_str());
        texRenderFinished(texture);
    }
    for (int shader : shaders_) {
        Log(LOG_WARNING, "[%s] Automatically freeing shader\n", id().c_str());
        shaderDestroy(static_cast<GLuint>(shader));
    }
    for (int buffer : vertexBuffers_) {
        Log(LOG_WARNING, "[%s] Automatically freeing vertex buffer\n", id().c_str());
        vbDestroy(buffer);
    }
    renderTextures_.clear();
    shaders_.clear();
    vertexBuffers_.clear();
    if (vm_) vmDestroy(vm_);
    vm_ = nullptr;
    vertexMemory_.reset();
    initialised_ = false;
    initPending_ = false;
    renderPending_ = false;
}
