// The texture cache's uploads through the rendering services. See textureUploader.h.
#include <GL/glew.h>

#include "render/cache/textureUploader.h"
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
