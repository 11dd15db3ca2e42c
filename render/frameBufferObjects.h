// The frame buffer pool behind render-to-texture: one GL frame buffer (with
// one depth buffer) per distinct size, each holding colour buffers that are
// handed out when unused, aged while unused and deleted after
// `gl.renderbuffer_life` seconds. The bound list lets nested render targets
// restore their parent when they end.
#pragma once

#include <GL/glew.h>

#include <memory>
#include <vector>

class SettingsAccess;
class CFrameBuffer;

class CRenderBufferObject {
public:
    CRenderBufferObject(CFrameBuffer* frameBuffer, bool isTexture, bool isFloat);
    ~CRenderBufferObject();
    CRenderBufferObject(const CRenderBufferObject&) = delete;
    CRenderBufferObject& operator=(const CRenderBufferObject&) = delete;

    // Clears the in-use flag; warns when it was clear already.
    void setUnused();
    int width() const;
    int height() const;

    CFrameBuffer* frameBuffer;
    GLuint texture = 0;
    GLuint renderBuffer = 0;
    bool inUse = false;
    bool isTexture;
    bool isFloat;
    int age = 0;
};

class CFrameBuffer {
public:
    CFrameBuffer(int width, int height);
    ~CFrameBuffer();
    CFrameBuffer(const CFrameBuffer&) = delete;
    CFrameBuffer& operator=(const CFrameBuffer&) = delete;

    // Makes this the drawing target: GL frame buffer, depth attachment, full viewport.
    void attachForDrawing() const;

    int width;
    int height;
    GLuint frameBuffer = 0;
    GLuint depthBuffer = 0;
    std::vector<std::unique_ptr<CRenderBufferObject>> colourBuffers;
    GLint savedViewport[4] = {0, 0, 0, 0};
    int bindDepth = 0;
};

class CFrameBufferObjects {
public:
    // `settings` may be null: defaults are then used.
    explicit CFrameBufferObjects(SettingsAccess* settings);
    ~CFrameBufferObjects();
    CFrameBufferObjects(const CFrameBufferObjects&) = delete;
    CFrameBufferObjects& operator=(const CFrameBufferObjects&) = delete;

    // A colour buffer of the size (clamped to the largest texture), not yet in use.
    CRenderBufferObject* getRenderBuffer(int width, int height, bool isTexture, bool isFloat);
    // Starts drawing into `buffer` and marks it in use.
    void bind(CRenderBufferObject* buffer);
    // Stops drawing into `buffer` (the innermost bound one) and restores its
    // parent; the buffer stays in use. Returns its GL texture or render buffer.
    GLuint end(CRenderBufferObject* buffer);
    // The texture colour buffer whose GL texture is `texture`, or null.
    CRenderBufferObject* findByTexture(GLuint texture);
    // Ages unused colour buffers by `milliseconds` and deletes the expired.
    void age(int milliseconds);

    const std::vector<std::unique_ptr<CFrameBuffer>>& frameBuffers() const { return frameBuffers_; }
    const std::vector<CRenderBufferObject*>& boundList() const { return bound_; }

private:
    SettingsAccess* settings();
    bool floatRenderTextures();
    CFrameBuffer* frameBufferFor(int width, int height);

    bool initialised_ = false;
    SettingsAccess* settings_;
    std::vector<std::unique_ptr<CFrameBuffer>> frameBuffers_;
    std::vector<CRenderBufferObject*> bound_;
};
