// The registry of every scene the visualiser knows, filled from the scene
// lists (scenes/*.xml) of the mounted archives and from scripts. Scenes keep
// the order in which they were read; a scene read again replaces the old one
// (which moves to the end), and one that was playing is initialised again at
// once so that it keeps playing with its new definition.
//
// The registry also owns the queue of list files still to be read (one per
// frame, behind the progress bar) and the archives to delete at shutdown.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"

class CJsValue;
class TiXmlElement;

class CSceneRegistry {
public:
    // Scenes are created with `host` (may be null in tests) and read their
    // conditions and script-valued entries through `context`.
    CSceneRegistry(SceneHost* host, SceneContext context);
    ~CSceneRegistry();
    CSceneRegistry(const CSceneRegistry&) = delete;
    CSceneRegistry& operator=(const CSceneRegistry&) = delete;

    // Index of the first scene with exactly this id, or -1.
    int findIndex(const std::string& id) const;
    CScene* find(const std::string& id) const;
    int count() const { return static_cast<int>(scenes_.size()); }
    // Null when out of range.
    CScene* at(int index) const;

    // Queues the names that end in ".xml" and are not queued yet; the total
    // that loading counts down from becomes the new queue length.
    void queueFiles(const std::vector<std::string>& paths);
    const std::vector<std::string>& loadQueue() const { return loadQueue_; }
    int loadQueueTotal() const { return loadQueueTotal_; }
    bool loading() const { return loadQueueTotal_ != 0; }
    // Reads the oldest queued file and takes it off the queue. True when the
    // queue is empty afterwards; the total is then 0.
    bool loadNextQueued();

    // Reads one list file through the file system and registers its scenes.
    void loadFromXML(const std::string& path);
    // Registers the scenes of a list given as text; their list file is "[JS]".
    void loadText(const std::string& xml);

    // Destroys the first scene with `id` (killing it when initialised);
    // a level-2 message when there is none. The render list is not touched.
    void removeScene(const std::string& id);
    // Every scene whose list file is one of `paths`: `removeNodes(id)` first
    // (to take it out of the render list), then killed and destroyed.
    void removeScenesOfFiles(const std::vector<std::string>& paths,
                             const std::function<void(const std::string& id)>& removeNodes);
    // Removes the archive `name` (relative to the file system's base
    // directory) with its scenes and deletes its file; when it is not
    // mounted, its deletion waits for shutdown (archivesToDelete).
    void retireArchive(const std::string& name);
    const std::vector<std::string>& archivesToDelete() const { return archivesToDelete_; }
    // Kills the initialised scenes, remounts every archive and initialises
    // those scenes again (with force), in registry order.
    void reloadVisible();
    // Empties the load queue (total 0), then kills and destroys every scene.
    // The caller empties the render list first.
    void dropAll();

    // A scene id drawn at random among the scenes of `type` that match
    // `themes` (comma-separated; see sceneMatchesThemes), weighted by their
    // Weight times the rating settings.scene[SceneId]. `settings` is the
    // script's settings object; null logs "JS settings not found!" and
    // yields "". "" when nothing matches.
    std::string getRandomScene(const std::string& type, const std::string& themes,
                               const CJsValue* settings) const;

private:
    // Parses `text` and registers its scenes; false (with a warning naming
    // `listFile`) when it is not well-formed XML.
    bool registerElements(const std::string& text, const std::string& listFile);
    void registerElement(const TiXmlElement& element, const std::string& listFile);
    // Takes `scene` out of the registry, keeping the order of the others.
    std::unique_ptr<CScene> take(const CScene* scene);

    SceneHost* host_;
    SceneContext context_;
    std::vector<std::unique_ptr<CScene>> scenes_;
    std::vector<std::string> loadQueue_;
    int loadQueueTotal_ = 0;
    std::vector<std::string> archivesToDelete_;
};

// Whether a scene with this id and Styles text matches the comma-separated
// `themes`: an empty list matches all; empty Styles match no other list; an
// item matches when it occurs in Styles, and "favourites" also when
// `favourites` (an array, may be null) holds the id. Items are not trimmed.
bool sceneMatchesThemes(const std::string& id, const std::string& styles, const std::string& themes,
                        const CJsValue* favourites);
