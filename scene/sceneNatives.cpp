// The scene natives: XML parameters of the scene, the control script and
// data files, each resolved through the scene's definition.
#include "scene/sceneNatives.h"

#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "scene/scene.h"
#include "vfs/fileSystem.h"
#include "vm/native.h"

CScene* nativeScene(VMState* s) {
    auto* scene = static_cast<CScene*>(s->user);
    if (!scene) {
        Log(LOG_SERIOUS, "Native called in a VM that belongs to no scene\n");
        s->errorFlag = 1;
    }
    return scene;
}

int32_t sceneTextToInt(const std::string& text) {
    if (!text.empty() && text[0] == '-')
        return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 0));
    return static_cast<int32_t>(std::strtoul(text.c_str(), nullptr, 0));
}

namespace {

// The scene's host, or null with the error flag set.
SceneHost* nativeHost(VMState* s) {
    CScene* scene = nativeScene(s);
    if (!scene) return nullptr;
    if (!scene->host()) {
        Log(LOG_SERIOUS, "Scene '%s' has no host for its natives\n", scene->id().c_str());
        s->errorFlag = 1;
    }
    return scene->host();
}

void xmlInt(VMState* s) {
    int32_t fallback = vmPopInt(s);
    std::string key = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    if (!scene) return;
    std::string value = scene->text(key, "");
    vmPush(s, static_cast<uint32_t>(value.empty() ? fallback : sceneTextToInt(value)));
}

void xmlFloat(VMState* s) {
    float fallback = vmPopFloat(s);
    std::string key = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    if (!scene) return;
    std::string value = scene->text(key, "");
    vmPushFloat(s, value.empty() ? fallback : static_cast<float>(std::atof(value.c_str())));
}

void xmlString(VMState* s) {
    std::string fallback = vmReadString(s, vmPop(s));
    std::string key = vmReadString(s, vmPop(s));
    int32_t capacity = vmPopInt(s);
    uint32_t destination = vmPop(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    vmWriteString(s, destination, capacity, scene->text(key, fallback));
}

void jsInt(VMState* s) {
    std::string expression = vmReadString(s, vmPop(s));
    SceneHost* host = nativeHost(s);
    if (!host) return;
    std::string value = host->evaluateToText(expression);
    vmPush(s, static_cast<uint32_t>(value.empty() ? 0 : sceneTextToInt(value)));
}

void jsFloat(VMState* s) {
    std::string expression = vmReadString(s, vmPop(s));
    SceneHost* host = nativeHost(s);
    if (!host) return;
    std::string value = host->evaluateToText(expression);
    vmPushFloat(s, value.empty() ? 0.0f : static_cast<float>(std::atof(value.c_str())));
}

void jsString(VMState* s) {
    std::string expression = vmReadString(s, vmPop(s));
    int32_t capacity = vmPopInt(s);
    uint32_t destination = vmPop(s);
    SceneHost* host = nativeHost(s);
    if (!host) return;
    vmWriteString(s, destination, capacity, host->evaluateToText(expression));
}

void jsExec(VMState* s) {
    std::string code = vmReadString(s, vmPop(s));
    SceneHost* host = nativeHost(s);
    if (host) host->executeScript(code);
}

void fileSize(VMState* s) {
    std::string name = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    if (!scene) return;
    std::string path = scene->resolve(name, "data/");
    Log(LOG_INFO, "File Size Request '%s'\n", path.c_str());
    vmPush(s, vfileSize(path) / 4);
}

void fileRead(VMState* s) {
    int32_t count = vmPopInt(s);
    int32_t offset = vmPopInt(s);
    uint32_t destination = vmPop(s);
    std::string name = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    if (!scene || !vcheckArea(s, destination, count)) return;
    std::string path = scene->resolve(name, "data/");
    int64_t start = static_cast<int64_t>(offset) * 4;
    int64_t bytes = static_cast<int64_t>(count) * 4;
    Log(LOG_INFO, "File Read '%s' starting %d, %d bytes\n", path.c_str(), static_cast<int>(start),
        static_cast<int>(bytes));
    uint32_t length = 0;
    char* data = vfileLoad(path, &length);
    if (!data) {
        Log(LOG_SERIOUS, "Unable to load '%s'\n", path.c_str());
        s->errorFlag = 1;
        return;
    }
    // A negative offset or count would read before the file or copy backwards.
    if (offset < 0 || count < 0 || start + bytes > length) {
        Log(LOG_WARNING,
            "Read of '%s' failed. %d bytes requested (at offset %d), file only %d long",
            path.c_str(), static_cast<int>(bytes), static_cast<int>(start),
            static_cast<int>(length));
    } else if (bytes > 0) {
        std::memcpy(s->memory + destination, data + start, static_cast<size_t>(bytes));
    }
    std::free(data);
}

struct Handler {
    const char* signature;
    VMNativeHandler handler;
};

const Handler kSceneNatives[] = {
    {"I xmlInt(*I,I)", xmlInt},
    {"F xmlFloat(*I,F)", xmlFloat},
    {"V xmlString(*I,I,*I,*I)", xmlString},
    {"I jsInt(*I)", jsInt},
    {"F jsFloat(*I)", jsFloat},
    {"V jsString(*I,I,*I)", jsString},
    {"V jsExec(*I)", jsExec},
    {"I fileSize(*I)", fileSize},
    {"V fileRead(*I,*V,I,I)", fileRead},
};

}  // namespace

bool installSceneParameterNatives() {
    bool ok = true;
    for (const Handler& entry : kSceneNatives)
        ok = vmSetNativeHandler(entry.signature, entry.handler) && ok;
    return ok;
}

bool sceneInstallNatives() {
    bool parameters = installSceneParameterNatives();
    bool graphics = installGraphicsNatives();
    return parameters && graphics;
}
