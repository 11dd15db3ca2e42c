// The graphics natives: each pops its arguments (last parameter first),
// range-tests the VM areas it touches and calls a rendering service, the
// render tree or the sound analyser. What a scene creates is recorded with
// the scene so that the runtime can free what the scene leaves behind.
#include <GL/glew.h>

#include <cmath>
#include <cstring>

#include "app/log.h"
#include "render/renderState.h"
#include "render/renderTexture.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/vertexBuffer.h"
#include "scene/scene.h"
#include "scene/sceneNatives.h"
#include "scene/vmVertexMemory.h"
#include "sound/soundAnalyser.h"
#include "vm/native.h"

namespace {

constexpr int kFinishedId = 200;
constexpr int kFirstRegisterId = 300;
constexpr int kVertexFormats = 6;

bool isRegisterId(int id) {
    return id >= kFirstRegisterId && id < kFirstRegisterId + SceneHost::kSharedRegisters;
}

float& sharedRegister(SceneHost* host, int id) {
    return host->sharedRegisters()[id - kFirstRegisterId];
}

SceneHost* hostOf(CScene* scene, VMState* s) {
    if (!scene) return nullptr;
    if (!scene->host()) {
        Log(LOG_SERIOUS, "Scene '%s' has no host for its natives\n", scene->id().c_str());
        s->errorFlag = 1;
    }
    return scene->host();
}

float* hostFloats(VMState* s, uint32_t address) {
    return reinterpret_cast<float*>(s->memory + address);
}

// ---- vertex buffers, state and matrices ----

void vbCreateNative(VMState* s) {
    int32_t count = vmPopInt(s);
    int32_t format = vmPopInt(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    // The service treats a format outside its table as an internal fault;
    // here it is the scene's fault, so only the scene fails.
    if (format < 0 || format >= kVertexFormats) {
        Log(LOG_SERIOUS, "vbCreate: unknown vertex format %d\n", format);
        s->errorFlag = 1;
        return;
    }
    int id = vbCreate(scene->vertexMemory(), format, count);
    if (s->errorFlag) return;  // the VM heap could not grow
    if (id >= 0) scene->addVertexBuffer(id);
    vmPush(s, static_cast<uint32_t>(id));
}

void vbLockNative(VMState* s) {
    int32_t id = vmPopInt(s);
    float* vertices = vbLock(id);
    auto* first = reinterpret_cast<float*>(s->memory);
    if (!vertices || vertices < first || vertices >= first + s->memorySize) {
        Log(LOG_SERIOUS, "vbLock: no vertex memory for buffer %d\n", id);
        s->errorFlag = 1;
        return;
    }
    vmPush(s, static_cast<uint32_t>(vertices - first));
}

void vbUnLockNative(VMState* s) {
    vbUnLock(vmPopInt(s));
}

void vbRenderNative(VMState* s) {
    int32_t count = vmPopInt(s);
    int32_t first = vmPopInt(s);
    int32_t primitive = vmPopInt(s);
    int32_t id = vmPopInt(s);
    if (!vbRender(id, primitive, first, count)) s->errorFlag = 1;
}

void vbDestroyNative(VMState* s) {
    int32_t id = vmPopInt(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    if (!vbDestroy(id)) {
        s->errorFlag = 1;
        return;
    }
    scene->removeVertexBuffer(id);
}

void glSetIntNative(VMState* s) {
    int32_t value = vmPopInt(s);
    glSetInt(vmPopInt(s), value);
}

void glGetIntNative(VMState* s) {
    vmPush(s, static_cast<uint32_t>(glGetInt(vmPopInt(s))));
}

void glClearNative(VMState* s) {
    int32_t flags = vmPopInt(s);
    float alpha = vmPopFloat(s);
    float blue = vmPopFloat(s);
    float green = vmPopFloat(s);
    float red = vmPopFloat(s);
    renderClear(red, green, blue, alpha, flags);
}

bool matrixKindKnown(VMState* s, int32_t kind, const char* name) {
    if (kind == MATRIX_MODELVIEW || kind == MATRIX_PROJECTION || kind == MATRIX_TEXTURE)
        return true;
    Log(LOG_SERIOUS, "%s: unknown matrix kind %d\n", name, kind);
    s->errorFlag = 1;
    return false;
}

void getMatrixNative(VMState* s) {
    uint32_t destination = vmPop(s);
    int32_t kind = vmPopInt(s);
    if (!vcheckArea(s, destination, 16) || !matrixKindKnown(s, kind, "getMatrix")) return;
    getMatrix(kind, hostFloats(s, destination));
}

void setMatrixNative(VMState* s) {
    uint32_t source = vmPop(s);
    int32_t kind = vmPopInt(s);
    if (!vcheckArea(s, source, 16) || !matrixKindKnown(s, kind, "setMatrix")) return;
    setMatrix(kind, hostFloats(s, source));
}

// ---- textures and render targets ----

void texLoadNative(VMState* s) {
    std::string name = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    SceneHost* host = hostOf(scene, s);
    if (!host) return;
    vmPush(s,
           static_cast<uint32_t>(host->textures().load(scene->resolve(name, "tex/"), scene->id())));
}

// Pops width, height (and depth) and the data address; range-tests
// `wordsPerPixel` words per pixel and asks the texture loader for a texture.
void textureFromArray(VMState* s, bool hasDepth, bool isFloat) {
    uint32_t data = vmPop(s);
    int32_t depth = hasDepth ? vmPopInt(s) : 1;
    int32_t height = vmPopInt(s);
    int32_t width = vmPopInt(s);
    CScene* scene = nativeScene(s);
    SceneHost* host = hostOf(scene, s);
    if (!host) return;
    if (width <= 0 || height <= 0 || depth <= 0) {
        Log(LOG_SERIOUS, "Texture array of %d x %d x %d\n", width, height, depth);
        s->errorFlag = 1;
        return;
    }
    int64_t words = static_cast<int64_t>(width) * height * depth * (isFloat ? 4 : 1);
    if (!vcheckArea(s, data, words)) return;
    int id = host->textures().createFromArray(width, height, depth, s->memory + data, isFloat,
                                              scene->id());
    vmPush(s, static_cast<uint32_t>(id));
}

void texFromArrayNative(VMState* s) {
    textureFromArray(s, false, false);
}
void texFromFloatArrayNative(VMState* s) {
    textureFromArray(s, false, true);
}
void texFromFloatArray3DNative(VMState* s) {
    textureFromArray(s, true, true);
}

void texBindNative(VMState* s) {
    int32_t id = vmPopInt(s);
    texBind(vmPopInt(s), id);
}

void texDestroyNative(VMState* s) {
    int32_t id = vmPopInt(s);
    CScene* scene = nativeScene(s);
    SceneHost* host = hostOf(scene, s);
    if (host) host->textures().release(id, scene->id(), false);
}

void texRenderBeginNative(VMState* s) {
    int32_t height = vmPopInt(s);
    texRenderBegin(vmPopInt(s), height, false);
}

void texRenderBeginFloatNative(VMState* s) {
    bool isFloat = vmPopInt(s) != 0;
    int32_t height = vmPopInt(s);
    texRenderBegin(vmPopInt(s), height, isFloat);
}

void texRenderEndNative(VMState* s) {
    CScene* scene = nativeScene(s);
    if (!scene) return;
    int id = texRenderEnd();
    if (id) scene->addRenderTexture(id);
    vmPush(s, static_cast<uint32_t>(id));
}

void texRenderFinishedNative(VMState* s) {
    int32_t id = vmPopInt(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    texRenderFinished(id);
    scene->removeRenderTexture(id);
}

void sumViewportInto(VMState* s, uint32_t destination, int32_t columns, int32_t rows) {
    if (columns <= 0 || rows <= 0) return;
    if (!vcheckArea(s, destination, static_cast<int64_t>(columns) * rows * 3)) return;
    sumViewport(hostFloats(s, destination), columns, rows);
}

void sumViewportNative(VMState* s) {
    sumViewportInto(s, vmPop(s), 1, 1);
}

void sumViewportGridNative(VMState* s) {
    int32_t rows = vmPopInt(s);
    int32_t columns = vmPopInt(s);
    sumViewportInto(s, vmPop(s), columns, rows);
}

// ---- shaders ----

void shaderLoadNative(VMState* s) {
    std::string fragment = vmReadString(s, vmPop(s));
    std::string vertex = vmReadString(s, vmPop(s));
    CScene* scene = nativeScene(s);
    if (!scene) return;
    std::string vertexPath = scene->resolve(vertex, "shaders/");
    std::string fragmentPath = scene->resolve(fragment, "shaders/");
    GLuint id = shaderLoad(vertexPath.c_str(), fragmentPath.c_str());
    if (id) scene->addShader(static_cast<int>(id));
    vmPush(s, id);
}

void shaderBindNative(VMState* s) {
    shaderBind(vmPop(s));
}

// Pops `count` floats and the uniform name.
void shaderUniformN(VMState* s, int count) {
    float values[4];
    for (int i = count - 1; i >= 0; --i)
        values[i] = vmPopFloat(s);
    std::string name = vmReadString(s, vmPop(s));
    shaderUniform(name.c_str(), count, values);
}

void shaderUniform1Native(VMState* s) {
    shaderUniformN(s, 1);
}
void shaderUniform2Native(VMState* s) {
    shaderUniformN(s, 2);
}
void shaderUniform3Native(VMState* s) {
    shaderUniformN(s, 3);
}
void shaderUniform4Native(VMState* s) {
    shaderUniformN(s, 4);
}

void shaderDestroyNative(VMState* s) {
    uint32_t id = vmPop(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    shaderDestroy(id);
    scene->removeShader(static_cast<int>(id));
}

// ---- visualiser ids ----

float visFloat(SceneHost* host, int id, bool* known) {
    *known = true;
    if (isRegisterId(id)) return sharedRegister(host, id);
    if (id == 51) {
        float jobTime = host->innermostJobTime();
        return jobTime > 0.0f ? jobTime : host->timePass();
    }
    if (id == 60) return host->aspectRatio();
    if (SoundAnalyser::isValueId(id)) {
        const SoundAnalyser* analyser = host->soundAnalyser();
        return analyser ? analyser->value(id) : 0.0f;
    }
    *known = false;
    return 0.0f;
}

void visGetFloatNative(VMState* s) {
    int32_t id = vmPopInt(s);
    SceneHost* host = hostOf(nativeScene(s), s);
    if (!host) return;
    bool known;
    float value = visFloat(host, id, &known);
    if (!known) Log(LOG_WARNING, "Unknown id in visGetFloat(%d)\n", id);
    if (std::isnan(value)) {
        Log(LOG_INFO, "NaN Value created in visGetFloat(%d)\n", id);
        value = 0.0f;
    }
    vmPushFloat(s, value);
}

int visArrayLength(int id) {
    switch (id) {
        case 105:
            return SoundAnalyser::kWaveformFloats;
        case 106:
            return SoundAnalyser::kSpectrumFloats;
        case 107:
            return SoundAnalyser::kHistoryFloats;
        default:
            return 0;
    }
}

void visGetFloatvNative(VMState* s) {
    uint32_t destination = vmPop(s);
    int32_t id = vmPopInt(s);
    SceneHost* host = hostOf(nativeScene(s), s);
    if (!host) return;
    int length = visArrayLength(id);
    if (length == 0) {
        Log(LOG_WARNING, "Unknown id in visGetFloatv(%d, ...)\n", id);
        return;
    }
    if (!vcheckArea(s, destination, length)) return;
    const SoundAnalyser* analyser = host->soundAnalyser();
    int count = 0;
    const float* values = analyser ? analyser->array(id, &count) : nullptr;
    float* out = hostFloats(s, destination);
    for (int i = 0; i < length; ++i)
        out[i] = values && i < count ? values[i] : 0.0f;
}

void visSetFloatNative(VMState* s) {
    float value = vmPopFloat(s);
    int32_t id = vmPopInt(s);
    SceneHost* host = hostOf(nativeScene(s), s);
    if (!host) return;
    if (isRegisterId(id))
        sharedRegister(host, id) = value;
    else
        Log(LOG_WARNING, "Unknown id in vmnVisSetFloat(id=%d, val=%d)\n", id,
            std::isfinite(value) && std::fabs(value) < 2e9f ? static_cast<int>(value) : 0);
}

void visGetIntNative(VMState* s) {
    int32_t id = vmPopInt(s);
    CScene* scene = nativeScene(s);
    SceneHost* host = hostOf(scene, s);
    if (!host) return;
    int32_t value = 0;
    if (isRegisterId(id)) {
        double rounded = std::trunc(static_cast<double>(sharedRegister(host, id)) + 0.5);
        value = std::isfinite(rounded) && std::fabs(rounded) < 2147483647.0
                    ? static_cast<int32_t>(rounded)
                    : 0;
    } else if (id == kFinishedId) {
        value = scene->finished() ? 1 : 0;
    } else {
        Log(LOG_WARNING, "Unknown id in visGetInt(%d)\n", id);
    }
    vmPush(s, static_cast<uint32_t>(value));
}

void visSetIntNative(VMState* s) {
    int32_t value = vmPopInt(s);
    int32_t id = vmPopInt(s);
    CScene* scene = nativeScene(s);
    if (!scene) return;
    if (id == kFinishedId)
        scene->setFinished(value != 0);
    else
        Log(LOG_WARNING, "Unknown id in visSetInt(id=%d, val=%d)\n", id, value);
}

// ---- child scenes ----

void renderChild(VMState* s, int32_t index, float time, int32_t width, int32_t height) {
    SceneHost* host = hostOf(nativeScene(s), s);
    if (!host) return;
    host->pushChildJob(index, time, width, height);
    vmSuspend(s);
}

void visRenderChildToScreenNative(VMState* s) {
    float time = vmPopFloat(s);
    renderChild(s, vmPopInt(s), time, 0, 0);
}

void visRenderChildToTextureNative(VMState* s) {
    int32_t height = vmPopInt(s);
    int32_t width = vmPopInt(s);
    float time = vmPopFloat(s);
    renderChild(s, vmPopInt(s), time, width, height);
}

void visGetRenderedTextureNative(VMState* s) {
    SceneHost* host = hostOf(nativeScene(s), s);
    if (host) vmPush(s, static_cast<uint32_t>(host->renderedTexture()));
}

struct Handler {
    const char* signature;
    VMNativeHandler handler;
};

// In the order of the native table.
const Handler kGraphicsNatives[] = {
    {"I vbCreate(I,I)", vbCreateNative},
    {"V vbDestroy(I)", vbDestroyNative},
    {"*F vbLock(I)", vbLockNative},
    {"V vbUnLock(I)", vbUnLockNative},
    {"V vbRender(I,I,I,I)", vbRenderNative},
    {"V getMatrix(I,*F[16])", getMatrixNative},
    {"V setMatrix(I,*F[16])", setMatrixNative},
    {"I texLoad(*I)", texLoadNative},
    {"I texFromArray(I,I,*I)", texFromArrayNative},
    {"I texFromFloatArray(I,I,*F)", texFromFloatArrayNative},
    {"I texFromFloatArray(I,I,I,*F)", texFromFloatArray3DNative},
    {"V texBind(I,I)", texBindNative},
    {"V texDestroy(I)", texDestroyNative},
    {"V texRenderBegin(I,I)", texRenderBeginNative},
    {"V texRenderBegin(I,I,I)", texRenderBeginFloatNative},
    {"I texRenderEnd()", texRenderEndNative},
    {"V texRenderFinished(I)", texRenderFinishedNative},
    {"I shaderLoad(*I,*I)", shaderLoadNative},
    {"V shaderBind(I)", shaderBindNative},
    {"V shaderUniform1(*I,F)", shaderUniform1Native},
    {"V shaderUniform2(*I,F,F)", shaderUniform2Native},
    {"V shaderUniform3(*I,F,F,F)", shaderUniform3Native},
    {"V shaderUniform4(*I,F,F,F,F)", shaderUniform4Native},
    {"V shaderDestroy(I)", shaderDestroyNative},
    {"V sumViewport(*F)", sumViewportNative},
    {"V sumViewport(*F,I,I)", sumViewportGridNative},
    {"F visGetFloat(I)", visGetFloatNative},
    {"V visGetFloatv(I,*F)", visGetFloatvNative},
    {"V visSetFloat(I,F)", visSetFloatNative},
    {"I visGetInt(I)", visGetIntNative},
    {"V visSetInt(I,I)", visSetIntNative},
    {"V visRenderChildToScreen(I,F)", visRenderChildToScreenNative},
    {"V visRenderChildToTexture(I,F,I,I)", visRenderChildToTextureNative},
    {"I visGetRenderedTexture()", visGetRenderedTextureNative},
    {"V glClear(F,F,F,F,I)", glClearNative},
    {"I glGetInt(I)", glGetIntNative},
    {"V glSetInt(I,I)", glSetIntNative},
};

}  // namespace

bool installGraphicsNatives() {
    bool ok = true;
    for (const Handler& entry : kGraphicsNatives)
        ok = vmSetNativeHandler(entry.signature, entry.handler) && ok;
    return ok;
}
