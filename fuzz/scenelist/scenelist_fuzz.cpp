// Arbitrary text as a scene list: registering it (from a script and again
// from a queued file, which replaces every scene it defined), drawing random
// scenes of a few types and themes, and removing the scenes must neither
// crash nor leak. Scenes get no host and are never initialised, so no scene
// code runs; conditions and script-valued data evaluate to their own text.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "js/engine.h"
#include "scene/sceneNatives.h"
#include "vfs/fileSystem.h"
#include "vis/sceneRegistry.h"
#include "vm/vm.h"

namespace {

// Larger lists only repeat what smaller ones already reach, more slowly.
constexpr size_t kMaxInput = 8192;
const char* const kListName = "scenes/fuzz.xml";

class EchoScript : public ScriptEvaluator {
public:
    std::string evaluateToText(const std::string& expression) override { return expression; }
};

struct World {
    World() {
        // The list is written for every input: in memory when /dev/shm is
        // there, the disk would otherwise set the pace.
        std::filesystem::path temp = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (temp / "scenelist-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) abort();
        base = pattern + "/";
        std::filesystem::create_directories(base + "scenes");
        CVFileSystem::create(base);
        vmSystemCreate([](const char*) {});
        sceneInstallNatives();
        settings.runScript(
            "var settings = {favourites: ['a', 'fav'], scene: {s1: 0, s2: 2.5, a: 3}};");
    }
    ~World() {
        std::error_code ignored;
        std::filesystem::remove_all(base, ignored);
    }

    void writeList(const std::string& text) {
        std::ofstream(base + kListName, std::ios::binary) << text;
        CVFileSystem::get().addFile(kListName);
    }

    std::string base;
    EchoScript script;
    CJsEngine settings;
};

void drawSome(const CSceneRegistry& registry, const CJsValue* settings) {
    static const char* const kTypes[] = {"", "scene", "fade"};
    static const char* const kThemes[] = {"", "favourites", "Heat,favourites", "a,,b"};
    for (const char* type : kTypes)
        for (const char* themes : kThemes)
            registry.getRandomScene(type, themes, settings);
    if (const CScene* first = registry.at(0)) {
        const SceneDefinition& definition = first->definition();
        registry.getRandomScene(definition.type(), definition.styles(), settings);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    if (size > kMaxInput) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    const CJsValue* settings = world.settings.lookupPath("settings");

    CSceneRegistry registry(nullptr, SceneContext{&world.script, nullptr});
    registry.loadText(text);
    drawSome(registry, settings);
    registry.getRandomScene("scene", "", nullptr);

    world.writeList(text);
    registry.queueFiles({kListName, kListName});
    while (!registry.loadNextQueued()) {
    }
    drawSome(registry, settings);

    if (const CScene* first = registry.at(0)) {
        std::string id = first->id();
        registry.removeScene(id);
    }
    registry.removeScenesOfFiles({"[JS]"}, [](const std::string&) {});
    registry.dropAll();
    return 0;
}
