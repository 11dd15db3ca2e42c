// What the texture cache asks of the GL side: texture ids, the size limit
// and the uploads, on the main thread; and, where a second context shares the
// main one's textures, uploads on the cache's upload thread that the main
// thread only publishes. The cache's thread logic only sees this interface,
// so it can be exercised without a GL context; the visualiser uses
// GlTextureUploader, which goes through render/texture.h.
#pragma once

#include <cstdint>
#include <functional>

struct Image;

// A texture made on the upload thread: its GL name and the fence after its
// upload. Valid on the main context once the fence has signalled.
struct OffThreadUpload {
    unsigned glName = 0;
    void* fence = nullptr;
};

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

    // Uploads off the main thread. Without a shared context (the default)
    // the cache uploads in update() instead, one texture a call.
    virtual bool uploadsOffThread() { return false; }
    // Upload thread: makes the shared context current there (false when it
    // cannot), and releases it before the thread ends.
    virtual bool beginUploadThread() { return false; }
    virtual void endUploadThread() {}
    // Upload thread: a new texture holding `image`, fenced and flushed.
    virtual OffThreadUpload uploadOffThread(const Image&) { return {}; }
    // Main thread: whether the upload's fence has signalled, without waiting
    // (`wait`: waiting as long as it takes, for a texture needed now).
    virtual bool uploadDone(const OffThreadUpload&, bool /*wait*/) { return true; }
    // Main thread: gives id the finished texture (of `width` x `height`) and
    // lets the fence go.
    virtual void publish(int /*id*/, OffThreadUpload&, int /*width*/, int /*height*/) {}
    // Either thread: deletes a texture that was never published, with its fence.
    virtual void discard(OffThreadUpload&) {}
};

// A second OpenGL context in the main context's share group, made on the
// main thread right after the main one: `bind` makes it current on the
// calling thread (false on failure), `unbind` releases it there.
struct UploadContext {
    std::function<bool()> bind;
    std::function<void()> unbind;
};

// The real one: the texture id table and the uploads of the rendering services.
class GlTextureUploader : public TextureUploader {
public:
    // Without a context (no bind function) every upload is on the main thread.
    explicit GlTextureUploader(UploadContext context = {}) : context_(std::move(context)) {}
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

    // With a context, on a driver with fences.
    bool uploadsOffThread() override;
    bool beginUploadThread() override;
    void endUploadThread() override;
    OffThreadUpload uploadOffThread(const Image& image) override;
    bool uploadDone(const OffThreadUpload& upload, bool wait) override;
    void publish(int id, OffThreadUpload& upload, int width, int height) override;
    void discard(OffThreadUpload& upload) override;

private:
    UploadContext context_;
};
