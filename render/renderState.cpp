// The render-state record and the state ids. See renderState.h.
#include "render/renderState.h"

#include <cstring>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/frameBufferObjects.h"
#include "render/shader.h"
#include "render/texture.h"
#include "render/textureInfos.h"
#include "render/vertexBuffer.h"

namespace {

RenderState state;
RenderCaps caps;
CFrameBufferObjects* framePool = nullptr;

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct IdEntry {
    int id;
    GLenum value;
};

const IdEntry kBlendTypes[] = {
    {0, GL_ZERO},        {1, GL_ONE},
    {100, GL_SRC_ALPHA}, {101, GL_ONE_MINUS_SRC_ALPHA},
    {102, GL_SRC_COLOR}, {103, GL_ONE_MINUS_SRC_COLOR},
    {104, GL_DST_COLOR}, {105, GL_ONE_MINUS_DST_COLOR},
};

const IdEntry kWrapModes[] = {
    {200, GL_REPEAT},
    {201, GL_CLAMP},  // the old clamp that blends with the border, as content expects
};

// The texts GLU would give, without linking GLU for six strings.
const char* glErrorText(GLenum error) {
    switch (error) {
        case GL_INVALID_ENUM:
            return "invalid enumerant";
        case GL_INVALID_VALUE:
            return "invalid value";
        case GL_INVALID_OPERATION:
            return "invalid operation";
        case GL_STACK_OVERFLOW:
            return "stack overflow";
        case GL_STACK_UNDERFLOW:
            return "stack underflow";
        case GL_OUT_OF_MEMORY:
            return "out of memory";
        case GL_INVALID_FRAMEBUFFER_OPERATION:
            return "invalid framebuffer operation";
        default:
            return "unknown error";
    }
}

const GLenum kMatrixModes[3] = {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE};

void resetState(RenderHost* host) {
    state.host = host;
    state.currentTextureId = 0;
    state.currentTextureUnit = -1;
    state.currentShader = nullptr;
    state.currentColour = 0xFFFFFFFF;
    state.blendSource = GL_SRC_ALPHA;
    state.blendDestination = GL_ONE_MINUS_SRC_ALPHA;
    state.renderTextureStack.clear();
    for (auto& matrix : state.matrices)
        std::memcpy(matrix, kIdentity, sizeof(kIdentity));
}

void setCulling(int value) {
    if (value == 1 || value == 2) {
        glEnable(GL_CULL_FACE);
        glCullFace(value == 1 ? GL_BACK : GL_FRONT);
        return;
    }
    glDisable(GL_CULL_FACE);
    if (value != 0) Log(LOG_WARNING, "Unknown flag %d for GL_CULL_FACE in glSetInt\n", value);
}

void setColour(int value) {
    state.currentColour = static_cast<uint32_t>(value);
    GLubyte bytes[4] = {static_cast<GLubyte>(value), static_cast<GLubyte>(value >> 8),
                        static_cast<GLubyte>(value >> 16), static_cast<GLubyte>(value >> 24)};
    glColor4ubv(bytes);
}

void setTextureWrap(int value) {
    if (state.currentTextureId == 0) {
        Log(LOG_WARNING, "glSetInt(_GL_TEXTURE_WRAP) - No active texture!\n");
        return;
    }
    GLint mode = glibWrapBlendType(value);
    GLenum target = textureInfos().getTarget(state.currentTextureId);
    if (target == 0) return;
    glTexParameteri(target, GL_TEXTURE_WRAP_S, mode);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, mode);
    if (target == GL_TEXTURE_3D) glTexParameteri(target, GL_TEXTURE_WRAP_R, mode);
}

int currentTextureSize(bool width) {
    int id = state.currentTextureId;
    if (id == 0) return 0;
    texEnsureResident(id);
    const TextureRecord* record = textureInfos().find(id);
    if (!record) return 0;
    return width ? record->width : record->height;
}

int viewportSize(int index) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return viewport[index];
}

}  // namespace

RenderState& renderState() {
    return state;
}

void renderUtilsInit(RenderHost* host) {
    resetState(host);
}

void renderSetCaps(const RenderCaps& newCaps) {
    caps = newCaps;
}
const RenderCaps& renderCaps() {
    return caps;
}

void renderSetFrameBufferObjects(CFrameBufferObjects* pool) {
    framePool = pool;
}
CFrameBufferObjects* renderFrameBufferObjects() {
    return framePool;
}

SettingsAccess* renderSettings() {
    static MemorySettings defaults;
    if (state.host && state.host->settings()) return state.host->settings();
    return &defaults;
}

GLenum glibGetBlendType(int id) {
    for (const IdEntry& entry : kBlendTypes)
        if (entry.id == id) return entry.value;
    Log(LOG_WARNING, "Unknown id in glibGetBlendType(%d)\n", id);
    return GL_ZERO;
}

GLint glibWrapBlendType(int id) {
    for (const IdEntry& entry : kWrapModes)
        if (entry.id == id) return static_cast<GLint>(entry.value);
    Log(LOG_WARNING, "Unknown id in glibWrapBlendType(%d)\n", id);
    return 0;
}

void glSetInt(int id, int value) {
    switch (id) {
        case 200:
            value ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
            break;
        case 201:
            glDepthMask(value != 0 ? GL_TRUE : GL_FALSE);
            break;
        case 202:
            setCulling(value);
            break;
        case 203:
            glEnable(GL_BLEND);
            state.blendSource = glibGetBlendType(value);
            glBlendFunc(state.blendSource, state.blendDestination);
            break;
        case 204:
            glEnable(GL_BLEND);
            state.blendDestination = glibGetBlendType(value);
            glBlendFunc(state.blendSource, state.blendDestination);
            break;
        case 205:
            setColour(value);
            break;
        case 206:
            setTextureWrap(value);
            break;
        default:
            Log(LOG_WARNING, "Unknown id in glSetInt(%d, %d)\n", id, value);
    }
}

int glGetInt(int id) {
    switch (id) {
        case 205:
            return static_cast<int>(state.currentColour);
        case 207:
            return state.host ? state.host->outputWidth() : 0;
        case 208:
            return state.host ? state.host->outputHeight() : 0;
        case 209:
            return currentTextureSize(true);
        case 210:
            return currentTextureSize(false);
        case 211:
            return viewportSize(2);
        case 212:
            return viewportSize(3);
        case 213:
            return 0;
        default:
            Log(LOG_WARNING, "Unknown id in glGetInt(%d)\n", id);
            return 0;
    }
}

void renderClear(float red, float green, float blue, float alpha, int flags) {
    glClearColor(red, green, blue, alpha);
    GLbitfield mask = 0;
    if (flags & 1) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & 2) mask |= GL_DEPTH_BUFFER_BIT;
    if (mask) glClear(mask);
}

bool glReportErrors(const char* file, int line) {
    bool clean = true;
    // A lost context can report errors for ever; a bounded loop keeps us alive.
    for (int i = 0; i < 64; i++) {
        GLenum error = glGetError();
        if (error == GL_NO_ERROR) break;
        clean = false;
        Log(LOG_WARNING, "OpenGL Error %s at %s:%d\n", glErrorText(error), file, line);
    }
    return clean;
}

bool setMatrix(int kind, const float* values) {
    if (kind < 0 || kind > 2) {
        Log(LOG_WARNING, "Unknown matrix kind %d in setMatrix\n", kind);
        return false;
    }
    std::memcpy(state.matrices[kind], values, sizeof(state.matrices[kind]));
    GLint previousMode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &previousMode);
    glMatrixMode(kMatrixModes[kind]);
    glLoadMatrixf(values);
    glMatrixMode(static_cast<GLenum>(previousMode));
    return true;
}

bool getMatrix(int kind, float* values) {
    if (kind < 0 || kind > 2) {
        Log(LOG_WARNING, "Unknown matrix kind %d in getMatrix\n", kind);
        return false;
    }
    std::memcpy(values, state.matrices[kind], sizeof(state.matrices[kind]));
    return true;
}

void renderUtilsKill() {
    vbDestroyAll();
    shaderDestroyAll();
    if (!state.renderTextureStack.empty()) {
        Log(LOG_WARNING, "renderUtilsKill: renderTextureStack not empty (%u)\n",
            static_cast<unsigned>(state.renderTextureStack.size()));
        for (CRenderBufferObject* target : state.renderTextureStack)
            Log(LOG_WARNING, "rt: width %d height %d\n", target->width(), target->height());
        state.renderTextureStack.clear();
    }
    texReportAll();
    state.host = nullptr;
}
