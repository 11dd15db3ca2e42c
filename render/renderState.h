// The render-state record shared by every rendering service, the integer
// state ids that scenes set and read (glSetInt / glGetInt), the stored
// matrices, and start-up and shutdown of the services.
//
// Scenes never call OpenGL directly; everything they do to GL state passes
// through these ids so that the services always know what is bound.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <vector>

class SettingsAccess;
class CRenderBufferObject;
class CFrameBufferObjects;
struct ShaderRecord;

// What the rendering services need of the visualiser: the output size at
// which scenes render and the settings store.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    virtual int outputWidth() const = 0;
    virtual int outputHeight() const = 0;
    virtual SettingsAccess* settings() = 0;
};

// What the capability probe found. Defaults describe a system with
// multitexturing but without buffer objects or float textures.
struct RenderCaps {
    bool multitexture = true;
    bool vertexBufferObjects = false;
    bool floatTextures = false;
    GLenum floatTextureFormat = GL_RGBA;        // GL_RGBA when float textures are missing
    GLenum floatRenderTextureFormat = GL_RGBA;  // internal format of float render targets
};

enum MatrixKind { MATRIX_MODELVIEW = 0, MATRIX_PROJECTION = 1, MATRIX_TEXTURE = 2 };

struct RenderState {
    RenderHost* host = nullptr;
    int currentTextureId = 0;
    int currentTextureUnit = -1;
    ShaderRecord* currentShader = nullptr;
    uint32_t currentColour = 0xFFFFFFFF;
    GLenum blendSource = GL_SRC_ALPHA;
    GLenum blendDestination = GL_ONE_MINUS_SRC_ALPHA;
    std::vector<CRenderBufferObject*> renderTextureStack;
    float matrices[3][16];
};

// The one process-wide record.
RenderState& renderState();

// Resets the record for `host` (may be null in tools); issues no GL call.
// Shader and texture tables are left as they are.
void renderUtilsInit(RenderHost* host);

// Reports and releases what is left (vertex buffers, shaders, render
// targets), lists the texture table, and forgets the host.
void renderUtilsKill();

void renderSetCaps(const RenderCaps& caps);
const RenderCaps& renderCaps();

// The frame buffer pool that render targets come from (owned by the visualiser).
void renderSetFrameBufferObjects(CFrameBufferObjects* pool);
CFrameBufferObjects* renderFrameBufferObjects();

// The host's settings, or a private default store when there is no host, so
// that every read still yields the documented default.
SettingsAccess* renderSettings();

// Blend factor and wrap mode ids; unknown ids warn and yield GL_ZERO / 0.
GLenum glibGetBlendType(int id);
GLint glibWrapBlendType(int id);

void glSetInt(int id, int value);
int glGetInt(int id);

// glClearColor, then clears colour (flags bit 0) and/or depth (bit 1).
void renderClear(float red, float green, float blue, float alpha, int flags);

// Logs every pending GL error; true when there was none.
bool glReportErrors(const char* file, int line);

// Stores the 16 column-major floats for `kind` and loads them into GL; an
// unknown kind warns and returns false without touching anything.
bool setMatrix(int kind, const float* values);
// Copies the stored matrix (not GL's) into `values`; unknown kind as above.
bool getMatrix(int kind, float* values);
