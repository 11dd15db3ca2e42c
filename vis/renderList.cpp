// The render list, the tree read from it each frame, and the job machine that
// draws the tree. Jobs live on a stack: the top job runs; a scene that wants a
// child drawn pushes the child's job and returns unfinished, and is resumed
// once the child's job is done and popped.
#include "vis/renderList.h"

#include <algorithm>

#include "app/log.h"
#include "scene/scene.h"
#include "vis/sceneRegistry.h"

CRenderList::CRenderList(CSceneRegistry& registry) : registry_(registry) {}

CRenderList::~CRenderList() = default;

CScene* CRenderList::sceneOf(const std::string& id) const {
    return id.empty() ? nullptr : registry_.find(id);
}

void CRenderList::insert(const std::string& id, int pos) {
    auto queued = std::find(initialiseList_.begin(), initialiseList_.end(), id);
    if (queued != initialiseList_.end()) initialiseList_.erase(queued);
    Log(LOG_INFO, "Inserting scene '%s' into renderList at %d\n", id.c_str(), pos);
    CScene* scene = sceneOf(id);
    if (!scene) {
        Log(LOG_WARNING, "insertRenderScene: Scene '%s' not found!!\n", id.c_str());
        return;
    }
    if (find(id) >= 0) {
        Log(LOG_WARNING, "Scene '%s' already in the render list, insertRenderScene ignored.\n",
            id.c_str());
        return;
    }
    scene->initialise(true);
    if (!scene->initialised()) {
        Log(LOG_WARNING, "Scene '%s' initialise failed, not adding to renderList\n", id.c_str());
        return;
    }
    RenderNode node;
    node.id = id;
    // A position past the end appends, like a negative one.
    if (pos < 0 || pos >= count())
        nodes_.push_back(std::move(node));
    else
        nodes_.insert(nodes_.begin() + pos, std::move(node));
}

void CRenderList::remove(const std::string& id) {
    Log(LOG_INFO, "Removing scene '%s' from renderList\n", id.c_str());
    int index = find(id);
    if (index < 0) {
        Log(LOG_WARNING, "Scene '%s' not found in renderList\n", id.c_str());
        return;
    }
    nodes_.erase(nodes_.begin() + index);
    CScene* scene = sceneOf(id);
    if (scene && find(id) < 0) scene->kill();
}

void CRenderList::removeAll() {
    while (!nodes_.empty()) {
        // A copy: remove() erases the node the reference would point into.
        std::string id = nodes_.front().id;
        remove(id);
    }
}

void CRenderList::clear() {
    nodes_.clear();
}

std::string CRenderList::idAt(int idx) const {
    return idx >= 0 && idx < count() ? nodes_[idx].id : std::string();
}

int CRenderList::find(const std::string& id) const {
    for (int i = 0; i < count(); i++)
        if (nodes_[i].id == id) return i;
    return -1;
}

bool CRenderList::set(int idx, const std::string& key, const std::string& value) {
    if (idx < 0 || idx >= count()) {
        Log(LOG_WARNING, "Unable to find render scene %d", idx);
        return false;
    }
    nodes_[idx].properties[key] = value;
    return true;
}

bool CRenderList::get(int idx, const std::string& key, std::string& value) const {
    if (idx < 0 || idx >= count()) {
        Log(LOG_WARNING, "Unable to find render scene %d", idx);
        return false;
    }
    auto found = nodes_[idx].properties.find(key);
    value = found == nodes_[idx].properties.end() ? std::string() : found->second;
    return true;
}

std::vector<std::string> CRenderList::ids() const {
    std::vector<std::string> result;
    result.reserve(nodes_.size());
    for (const RenderNode& node : nodes_)
        result.push_back(node.id);
    return result;
}

void CRenderList::initialiseInBackground(const std::string& id) {
    auto queued = std::find(initialiseList_.begin(), initialiseList_.end(), id);
    if (queued != initialiseList_.end()) initialiseList_.erase(queued);
    if (sceneOf(id)) initialiseList_.push_back(id);
}

bool CRenderList::allInitialised(int texturesPending) const {
    for (const std::string& id : initialiseList_) {
        CScene* scene = sceneOf(id);
        if (scene && !scene->initialised()) return false;
    }
    return texturesPending == 0;
}

void CRenderList::initialiseNext(int texturesPending) {
    if (texturesPending > 0 || initialiseList_.empty()) return;
    for (size_t i = 0; i < initialiseList_.size(); i++) {
        CScene* scene = sceneOf(initialiseList_[i]);
        if (!scene || scene->initialised()) continue;
        scene->initialise(false);
        if (!scene->vm()) {
            Log(LOG_WARNING,
                "onFrameInitialiseScenes: Scene '%s' failed to initialise! Removing from "
                "renderInitialiseList.\n",
                initialiseList_[i].c_str());
            initialiseList_.erase(initialiseList_.begin() + i);
        }
        return;
    }
}

CScene* CRenderList::inputScene() const {
    return nodes_.empty() ? nullptr : sceneOf(nodes_.back().id);
}

RenderNode CRenderList::buildTree() {
    int n = count() - 1;
    if (n < 0) return RenderNode();
    return buildFrom(n);
}

RenderNode CRenderList::buildFrom(int& n) {
    RenderNode node;
    node.id = nodes_[n].id;
    node.properties = nodes_[n].properties;
    int own = n;
    n--;
    CScene* scene = sceneOf(node.id);
    if (scene && !scene->initialised()) {
        Log(LOG_WARNING, "CVisMain::buildRenderTree scene not initialised - doing it now\n");
        scene->initialise(true);
        if (!scene->initialised()) {
            Log(LOG_WARNING, "Scene '%s' initialise failed, REMOVING from renderList\n",
                node.id.c_str());
            // Only entries in front of this one remain to be read, so erasing
            // it leaves their indices as they were.
            nodes_.erase(nodes_.begin() + own);
        }
    }
    int children = scene ? scene->definition().inputs() : 1;
    for (int i = 0; i < children; i++) {
        if (n < 0) {
            Log(LOG_WARNING, "CVisMain::buildRenderTree given an invalid tree\n");
            continue;
        }
        node.children.push_back(buildFrom(n));
    }
    return node;
}

void CRenderList::render(float timePass, const Drawing& drawing) {
    RenderNode root = buildTree();
    drawing.clear();
    jobs_.clear();
    rendering_ = true;
    if (!root.id.empty()) {
        auto job = std::make_unique<RenderJob>();
        job->id = root.id;
        job->time = timePass;
        job->node = &root;
        jobs_.push_back(std::move(job));
    } else {
        drawing.drawLogo();
    }
    int depth = 0;
    while (!jobs_.empty())
        if (!runTopJob(depth, drawing)) break;
    if (depth != 0) Log(LOG_SERIOUS, "Render Texture Stack mismatch - %d\n", depth);
    jobs_.clear();
    rendering_ = false;
    drawing.resetMatrices();
}

// One pass over the top job; false when the frame's jobs were discarded.
bool CRenderList::runTopJob(int& depth, const Drawing& drawing) {
    RenderJob* job = jobs_.back().get();
    if (job->renderToTexture && !job->started) {
        depth++;
        drawing.beginTexture(job->width, job->height);
    }
    CScene* scene = sceneOf(job->id);
    if (scene && !job->started && job->time > 0.0f && scene->initialised()) scene->step();
    if (jobs_.empty()) return false;
    job->started = true;
    bool finished = true;
    if (scene && scene->initialised()) {
        finished = scene->render();
    } else {
        drawing.clear();
        drawing.drawLogo();
    }
    if (jobs_.empty()) return false;
    if (!finished) return true;
    if (job->renderToTexture) {
        depth--;
        renderedTexture_ = drawing.endTexture();
    }
    if (jobs_.back().get() == job) {
        jobs_.pop_back();
        return true;
    }
    Log(LOG_SERIOUS, "CVisMain::renderScenes: renderJobs is out of sync\n");
    jobs_.clear();
    drawing.unwindTextures();
    return false;
}

float CRenderList::innermostJobTime() const {
    return jobs_.empty() ? 0.0f : jobs_.back()->time;
}

void CRenderList::pushChildJob(int index, float time, int width, int height) {
    auto job = std::make_unique<RenderJob>();
    const RenderNode* parent = jobs_.empty() ? nullptr : jobs_.back()->node;
    if (parent && index >= 0 && index < static_cast<int>(parent->children.size())) {
        job->node = &parent->children[index];
        job->id = job->node->id;
    }
    job->renderToTexture = width != 0 && height != 0;
    job->width = width;
    job->height = height;
    job->time = time;
    jobs_.push_back(std::move(job));
}

std::string CRenderList::innermostProperty(const std::string& key) const {
    if (jobs_.empty() || !jobs_.back()->node) return std::string();
    const auto& properties = jobs_.back()->node->properties;
    auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

void CRenderList::vmError() {
    nodes_.clear();
    jobs_.clear();
}
