// The texture cache's uploads through the rendering services. See textureUploader.h.
#include <GL/glew.h>

#include "render/cache/textureUploader.h"
#include "render/image.h"
#include "render/renderState.h"
#include "render/texture.h"
#include "render/textureInfos.h"

int GlTextureUploader::allocateSlot() {
    return textureInfos().allocateCacheSlot();
}

int GlTextureUploader::maxTextureSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

void GlTextureUploader::uploadImage(int id, const Image& image) {
    texUploadImage(id, image);
}

int GlTextureUploader::fromBytes(int width, int height, const uint8_t* rgba) {
    return texFromBytes(width, height, rgba);
}

int GlTextureUploader::fromFloats(int width, int height, const float* rgba) {
    return texFromFloats(width, height, rgba);
}

int GlTextureUploader::fromFloats3D(int width, int height, int depth, const float* rgba) {
    return texFromFloats3D(width, height, depth, rgba);
}

void GlTextureUploader::remove(int id) {
    texDelete(id);
}

bool GlTextureUploader::uploadsOffThread() {
    return context_.bind && (GLEW_VERSION_3_2 || GLEW_ARB_sync);
}

bool GlTextureUploader::beginUploadThread() {
    if (!context_.bind || !context_.bind()) return false;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return true;
}

void GlTextureUploader::endUploadThread() {
    // Whatever is still queued on this context must reach the textures
    // before the context goes.
    glFinish();
    if (context_.unbind) context_.unbind();
}

OffThreadUpload GlTextureUploader::uploadOffThread(const Image& image) {
    OffThreadUpload upload;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    GLenum format = image.hasAlpha ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, format, image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    // The sampling state of the main thread's uploads (render/texture.cpp).
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    upload.glName = name;
    upload.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    // Without the flush the fence might never reach the driver, and the main
    // thread would poll it forever.
    glFlush();
    glReportErrors(__FILE__, __LINE__);
    return upload;
}

bool GlTextureUploader::uploadDone(const OffThreadUpload& upload, bool wait) {
    if (!upload.fence) return true;
    GLsync fence = static_cast<GLsync>(upload.fence);
    if (!wait) return glClientWaitSync(fence, 0, 0) != GL_TIMEOUT_EXPIRED;
    GLenum status;
    do
        status = glClientWaitSync(fence, 0, 1000000000ull);
    while (status == GL_TIMEOUT_EXPIRED);
    return true;
}

void GlTextureUploader::publish(int id, OffThreadUpload& upload, int width, int height) {
    if (upload.fence) glDeleteSync(static_cast<GLsync>(upload.fence));
    upload.fence = nullptr;
    TextureRecord* record = textureInfos().find(id);
    if (!record) {
        discard(upload);
        return;
    }
    if (record->glName) glDeleteTextures(1, &record->glName);
    record->target = GL_TEXTURE_2D;
    record->glName = upload.glName;
    record->width = width;
    record->height = height;
    upload.glName = 0;
}

void GlTextureUploader::discard(OffThreadUpload& upload) {
    if (upload.fence) glDeleteSync(static_cast<GLsync>(upload.fence));
    if (upload.glName) glDeleteTextures(1, &upload.glName);
    upload = OffThreadUpload{};
}
