// Texture uploads and binding. See texture.h.
#include "render/texture.h"

#include <vector>

#include "app/log.h"
#include "render/image.h"
#include "render/renderState.h"
#include "render/textureInfos.h"

namespace {

TextureCacheHook* cacheHook = nullptr;
int fallbackTexture = 0;

void setParameters(GLenum target, GLint wrap) {
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, wrap);
    if (target == GL_TEXTURE_3D) glTexParameteri(target, GL_TEXTURE_WRAP_R, wrap);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
}

int newTexture(GLenum target, int width, int height) {
    GLuint name = 0;
    glGenTextures(1, &name);
    int id = textureInfos().registerTexture(target, name, width, height, false);
    glBindTexture(target, name);
    return id;
}

void uploadFloatsAsBytes(int width, int height, const float* rgba) {
    size_t count = static_cast<size_t>(width) * height;
    bool opaque = true;
    for (size_t i = 0; i < count && opaque; i++)
        opaque = rgba[i * 4 + 3] == 1.0f;
    int channels = opaque ? 3 : 4;
    std::vector<uint8_t> bytes(count * channels);
    for (size_t i = 0; i < count; i++)
        for (int c = 0; c < channels; c++)
            bytes[i * channels + c] = texFloatToByte(rgba[i * 4 + c]);
    GLenum format = opaque ? GL_RGB : GL_RGBA;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, format, GL_UNSIGNED_BYTE,
                 bytes.data());
}

void disableTargets() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
}

void selectUnit(int unit) {
    if (!renderCaps().multitexture) return;
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    if (unit < 0 || unit >= units)
        Log(LOG_WARNING, "Trying to bind texture unit %d, only %d units available on card\n", unit,
            units);
    glActiveTexture(GL_TEXTURE0 + unit);
}

}  // namespace

void texSetCacheHook(TextureCacheHook* hook) {
    cacheHook = hook;
}
void texSetFallbackTexture(int id) {
    fallbackTexture = id;
}

void texEnsureResident(int id) {
    TextureRecord* record = textureInfos().find(id);
    if (cacheHook && record && !record->renderable) cacheHook->ensureTextureLoaded(id);
}

uint8_t texFloatToByte(float value) {
    float scaled = value * 256.0f;
    if (!(scaled > 0.0f)) return 0;  // negatives and NaN
    if (scaled >= 255.0f) return 255;
    return static_cast<uint8_t>(scaled);
}

void texUploadImage(int id, const Image& image) {
    TextureRecord* record = textureInfos().find(id);
    if (!record) return;
    record->target = GL_TEXTURE_2D;
    record->width = image.width;
    record->height = image.height;
    if (record->glName) glDeleteTextures(1, &record->glName);
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &record->glName);
    glBindTexture(GL_TEXTURE_2D, record->glName);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glReportErrors(__FILE__, __LINE__);
    GLenum format = image.hasAlpha ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, format, image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    glReportErrors(__FILE__, __LINE__);
    setParameters(GL_TEXTURE_2D, GL_REPEAT);
    glReportErrors(__FILE__, __LINE__);
}

int texFromBytes(int width, int height, const uint8_t* rgba) {
    int id = newTexture(GL_TEXTURE_2D, width, height);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    setParameters(GL_TEXTURE_2D, GL_REPEAT);
    glReportErrors(__FILE__, __LINE__);
    return id;
}

int texFromFloats(int width, int height, const float* rgba) {
    int id = newTexture(GL_TEXTURE_2D, width, height);
    GLenum internal = renderCaps().floatTextureFormat;
    if (internal == GL_RGBA)
        uploadFloatsAsBytes(width, height, rgba);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), width, height, 0, GL_RGBA,
                     GL_FLOAT, rgba);
    setParameters(GL_TEXTURE_2D, GL_REPEAT);
    glReportErrors(__FILE__, __LINE__);
    return id;
}

int texFromFloats3D(int width, int height, int depth, const float* rgba) {
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_3D);
    int id = newTexture(GL_TEXTURE_3D, width, height);
    glTexImage3D(GL_TEXTURE_3D, 0, static_cast<GLint>(renderCaps().floatTextureFormat), width,
                 height, depth, 0, GL_RGBA, GL_FLOAT, rgba);
    setParameters(GL_TEXTURE_3D, GL_CLAMP);
    glReportErrors(__FILE__, __LINE__);
    return id;
}

void texDelete(int id) {
    GLuint name = textureInfos().getGLid(id);
    if (name) glDeleteTextures(1, &name);
    textureInfos().remove(id);
}

void texBind(int unit, int id) {
    RenderState& state = renderState();
    for (;;) {
        selectUnit(unit);
        state.currentTextureUnit = unit;
        state.currentTextureId = id;
        texEnsureResident(id);
        TextureRecord* record = textureInfos().find(id);
        if (!record) {
            disableTargets();
            return;
        }
        if (record->glName == 0) {
            if (fallbackTexture == id) {
                disableTargets();
                return;
            }
            id = fallbackTexture;
            continue;
        }
        if (record->target == GL_TEXTURE_2D) {
            glDisable(GL_TEXTURE_3D);
            glEnable(GL_TEXTURE_2D);
        } else if (record->target == GL_TEXTURE_3D) {
            glDisable(GL_TEXTURE_2D);
            glEnable(GL_TEXTURE_3D);
        } else {
            Log(LOG_SERIOUS, "%s: Unknown target %d!", "texBind", static_cast<int>(record->target));
            break;
        }
        glBindTexture(record->target, record->glName);
        glTexParameteri(record->target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(record->target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        break;
    }
    if (renderCaps().multitexture) glActiveTexture(GL_TEXTURE0);
    glReportErrors(__FILE__, __LINE__);
}

void texReportAll() {
    CTextureInfos& table = textureInfos();
    for (int id = 1; id < table.size(); id++) {
        TextureRecord* record = table.find(id);
        if (!record) continue;
        if (record->renderable)
            Log(LOG_INFO, "Renderable Texture %d x %d\n", record->width, record->height);
        else if (cacheHook)
            cacheHook->report(id);
    }
}
