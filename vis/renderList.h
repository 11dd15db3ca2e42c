// The render list and the render tree. The control script keeps an ordered
// list of scene ids; each frame the list is read from its end as a pre-order
// walk: the last entry is the root, and a scene with `Inputs` n takes the n
// subtrees in front of it as its children. The root is then drawn by a stack
// of render jobs: a scene's render may push a job for one of its children
// (to the screen or into a texture) and pause; the child runs, and the
// parent resumes and picks up the child's texture. That is how fades,
// overlays and announcements are built out of independent scenes.
//
// The list also keeps the ids the script wants initialised in the background,
// one 40 ms slice per frame, so that a scene is ready when it is inserted.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CScene;
class CSceneRegistry;

struct RenderNode {
    std::map<std::string, std::string> properties;  // override the scene's data values
    std::string id;
    std::vector<RenderNode> children;  // filled only in the tree built for one frame
};

struct RenderJob {
    std::string id;  // empty for a child that does not exist
    bool renderToTexture = false;
    int width = 0;
    int height = 0;
    float time = 0.0f;  // the scene is stepped only when this is positive
    bool started = false;
    const RenderNode* node = nullptr;
};

class CRenderList {
public:
    explicit CRenderList(CSceneRegistry& registry);
    ~CRenderList();

    // Initialises the scene with force and inserts it before index `pos`;
    // a negative pos, or one at or beyond the end, appends. Refused (level 2)
    // for an unknown id, an id already listed or a failed initialisation.
    void insert(const std::string& id, int pos);
    // Erases the first node with `id`; kills the scene when no node names it
    // any more. Level 2 when no node has the id.
    void remove(const std::string& id);
    // remove() of the first entry until the list is empty.
    void removeAll();
    // Empties the list without killing anything (the caller destroys scenes).
    void clear();
    int count() const { return static_cast<int>(nodes_.size()); }
    // "" when idx is out of range.
    std::string idAt(int idx) const;
    int find(const std::string& id) const;
    // Out of range: level 2 "Unable to find render scene %d" and false.
    bool set(int idx, const std::string& key, const std::string& value);
    bool get(int idx, const std::string& key, std::string& value) const;
    std::vector<std::string> ids() const;
    const std::vector<RenderNode>& nodes() const { return nodes_; }

    // Queues `id` (moved to the end when queued) for background initialisation.
    void initialiseInBackground(const std::string& id);
    // True when every queued scene that exists is initialised and no texture
    // load is in flight.
    bool allInitialised(int texturesPending) const;
    const std::vector<std::string>& initialiseList() const { return initialiseList_; }
    // One slice of the first queued scene that is not initialised yet;
    // nothing while textures are loading.
    void initialiseNext(int texturesPending);

    // The scene of the last entry (input goes there), or null.
    CScene* inputScene() const;

    // The tree read from the end of the list; scenes found uninitialised are
    // initialised, and removed when that fails. Logs an invalid tree.
    RenderNode buildTree();
    // Draws the tree for one frame. `drawLogo` draws the idle picture where
    // a scene is missing; `clear` clears colour and depth to (0,0,0,1).
    struct Drawing {
        std::function<void()> clear;
        std::function<void()> drawLogo;
        std::function<void(int width, int height)> beginTexture;  // clears it too
        std::function<int()> endTexture;                          // the texture id
        std::function<void()> unwindTextures;
        std::function<void()> resetMatrices;
    };
    void render(float timePass, const Drawing& drawing);

    // The job machine as the scenes' natives see it.
    float innermostJobTime() const;
    void pushChildJob(int index, float time, int width, int height);
    int renderedTexture() const { return renderedTexture_; }
    // The property `key` of the innermost job's node, "" when none.
    std::string innermostProperty(const std::string& key) const;
    // A scene's VM failed: every node goes and every pending job is discarded.
    void vmError();
    bool rendering() const { return rendering_; }

private:
    RenderNode buildFrom(int& n);
    bool runTopJob(int& depth, const Drawing& drawing);
    CScene* sceneOf(const std::string& id) const;

    CSceneRegistry& registry_;
    std::vector<RenderNode> nodes_;
    std::vector<std::string> initialiseList_;
    std::vector<std::unique_ptr<RenderJob>> jobs_;
    int renderedTexture_ = 0;
    bool rendering_ = false;
};
