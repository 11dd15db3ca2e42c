// What the texture cache asks of the GL side, always on the main thread:
// texture ids, the size limit and the uploads. The cache's thread logic only
// sees this interface, so it can be exercised without a GL context; the
// visualiser uses GlTextureUploader, which goes through render/texture.h.
#pragma once

#include <cstdint>

struct Image;

class TextureUploader {
public:
    virtual ~TextureUploader() = default;
    // A texture id without GL texture yet (filled later by uploadImage).
    virtual int allocateSlot() = 0;
    // GL_MAX_TEXTURE_SIZE.
    virtual int maxTextureSize() = 0;
    // True when uploads are cheapest from four bytes a pixel. The cache asks
    // once, when it is made; its loaders then give images without alpha an
    // opaque alpha channel, so that uploadImage copies instead of converting
    // on the main thread.
    virtual bool wantsFourChannels() { return false; }
    // Fills the id allocated by allocateSlot from a decoded image.
    virtual void uploadImage(int id, const Image& image) = 0;
    // New textures from scene arrays; each returns its id.
    virtual int fromBytes(int width, int height, const uint8_t* rgba) = 0;
    virtual int fromFloats(int width, int height, const float* rgba) = 0;
    virtual int fromFloats3D(int width, int height, int depth, const float* rgba) = 0;
    // Deletes the GL texture and frees the id.
    virtual void remove(int id) = 0;
};

// The real one: the texture id table and the uploads of the rendering services.
class GlTextureUploader : public TextureUploader {
public:
    int allocateSlot() override;
    int maxTextureSize() override;
    // Drivers keep RGB textures with four bytes a texel, so RGB sources are
    // converted texel by texel, several times slower than an RGBA copy.
    bool wantsFourChannels() override { return true; }
    void uploadImage(int id, const Image& image) override;
    int fromBytes(int width, int height, const uint8_t* rgba) override;
    int fromFloats(int width, int height, const float* rgba) override;
    int fromFloats3D(int width, int height, int depth, const float* rgba) override;
    void remove(int id) override;
};
