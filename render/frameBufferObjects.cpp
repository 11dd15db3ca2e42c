// The frame buffer pool. See frameBufferObjects.h.
#include "render/frameBufferObjects.h"

#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/renderState.h"

namespace {

struct StatusMessage {
    GLenum status;
    const char* message;
};

const StatusMessage kStatusMessages[] = {
    {GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT, "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT!\n"},
    {GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT,
     "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT!\n"},
    {GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT, "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS!\n"},
    {GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT, "GL_FRAMEBUFFER_INCOMPLETE_FORMATS!\n"},
    {GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT, "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER!\n"},
    {GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT, "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER!\n"},
    {GL_FRAMEBUFFER_UNSUPPORTED_EXT, "GL_FRAMEBUFFER_UNSUPPORTED!\n"},
    {0x8CDF, "GL_MAX_COLOR_ATTACHMENTS!\n"},
};

void checkStatus() {
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status == GL_FRAMEBUFFER_COMPLETE_EXT) return;
    for (const StatusMessage& entry : kStatusMessages) {
        if (entry.status == status) {
            Log(LOG_WARNING, "%s", entry.message);
            return;
        }
    }
    Log(LOG_WARNING, "GL_FRAMEBUFFER Unknown status %d!\n", static_cast<int>(status));
}

void attachColour(const CRenderBufferObject* buffer) {
    if (buffer->isTexture) {
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  buffer->texture, 0);
    } else {
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, buffer->renderBuffer);
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                     GL_RENDERBUFFER_EXT, buffer->renderBuffer);
    }
    checkStatus();
}

void createTextureStorage(CRenderBufferObject* buffer, int width, int height) {
    Log(LOG_INFO, "Creating new %dx%d Render Buffer Texture (%s)\n", width, height,
        buffer->isFloat ? "RGBA_F" : "RGBA");
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGenTextures(1, &buffer->texture);
    glBindTexture(GL_TEXTURE_2D, buffer->texture);
    GLint internal =
        buffer->isFloat ? static_cast<GLint>(renderCaps().floatRenderTextureFormat) : GL_RGBA8;
    glTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, GL_RGBA,
                 buffer->isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

void createRenderBufferStorage(CRenderBufferObject* buffer, int width, int height) {
    Log(LOG_INFO, "Creating new %dx%d Render Buffer Object\n", width, height);
    GLint previous = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING_EXT, &previous);
    glGenRenderbuffersEXT(1, &buffer->renderBuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, buffer->renderBuffer);
    GLenum internal = buffer->isFloat ? renderCaps().floatRenderTextureFormat : GL_RGBA8;
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, internal, width, height);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, static_cast<GLuint>(previous));
}

}  // namespace

CRenderBufferObject::CRenderBufferObject(CFrameBuffer* owner, bool texture, bool floating)
    : frameBuffer(owner), isTexture(texture), isFloat(floating) {}

CRenderBufferObject::~CRenderBufferObject() {
    if (texture) glDeleteTextures(1, &texture);
    if (renderBuffer) glDeleteRenderbuffersEXT(1, &renderBuffer);
}

void CRenderBufferObject::setUnused() {
    if (!inUse) Log(LOG_WARNING, "CRenderBufferObject::setUnused() - not in use anyway!\n");
    inUse = false;
}

int CRenderBufferObject::width() const {
    return frameBuffer->width;
}
int CRenderBufferObject::height() const {
    return frameBuffer->height;
}

CFrameBuffer::CFrameBuffer(int w, int h) : width(w), height(h) {
    glGenFramebuffersEXT(1, &frameBuffer);
    glGenRenderbuffersEXT(1, &depthBuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depthBuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, width, height);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

CFrameBuffer::~CFrameBuffer() {
    colourBuffers.clear();
    glDeleteRenderbuffersEXT(1, &depthBuffer);
    glDeleteFramebuffersEXT(1, &frameBuffer);
}

void CFrameBuffer::attachForDrawing() const {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 depthBuffer);
    glViewport(0, 0, width, height);
}

CFrameBufferObjects::CFrameBufferObjects(SettingsAccess* settings)
    : initialised_(true), settings_(settings) {}

CFrameBufferObjects::~CFrameBufferObjects() {
    if (!bound_.empty())
        Log(LOG_WARNING, "CFrameBufferObjects: Bound Render Buffers list not empty\n");
    frameBuffers_.clear();
    bound_.clear();
}

SettingsAccess* CFrameBufferObjects::settings() {
    return settings_ ? settings_ : renderSettings();
}

bool CFrameBufferObjects::floatRenderTextures() {
    return renderCaps().floatTextures && settings()->getInt("gl.float_render_texture", 0) != 0;
}

CFrameBuffer* CFrameBufferObjects::frameBufferFor(int width, int height) {
    for (auto& frameBuffer : frameBuffers_)
        if (frameBuffer->width == width && frameBuffer->height == height) return frameBuffer.get();
    Log(LOG_INFO, "Creating %d x %d FBO\n", width, height);
    VIS_ASSERT(initialised_);
    frameBuffers_.push_back(std::make_unique<CFrameBuffer>(width, height));
    return frameBuffers_.back().get();
}

CRenderBufferObject* CFrameBufferObjects::getRenderBuffer(int width, int height, bool isTexture,
                                                          bool isFloat) {
    GLint maximum = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maximum);
    if (maximum > 0) {
        if (width > maximum) width = maximum;
        if (height > maximum) height = maximum;
    }
    CFrameBuffer* frameBuffer = frameBufferFor(width, height);
    if (!floatRenderTextures()) isFloat = false;
    for (auto& buffer : frameBuffer->colourBuffers)
        if (!buffer->inUse && buffer->isTexture == isTexture && buffer->isFloat == isFloat)
            return buffer.get();
    auto buffer = std::make_unique<CRenderBufferObject>(frameBuffer, isTexture, isFloat);
    if (isTexture)
        createTextureStorage(buffer.get(), width, height);
    else
        createRenderBufferStorage(buffer.get(), width, height);
    glReportErrors(__FILE__, __LINE__);
    frameBuffer->colourBuffers.push_back(std::move(buffer));
    return frameBuffer->colourBuffers.back().get();
}

void CFrameBufferObjects::bind(CRenderBufferObject* buffer) {
    buffer->inUse = true;
    bound_.push_back(buffer);
    CFrameBuffer* frameBuffer = buffer->frameBuffer;
    if (frameBuffer->bindDepth == 0) glGetIntegerv(GL_VIEWPORT, frameBuffer->savedViewport);
    frameBuffer->bindDepth++;
    frameBuffer->attachForDrawing();
    attachColour(buffer);
}

GLuint CFrameBufferObjects::end(CRenderBufferObject* buffer) {
    CFrameBuffer* frameBuffer = buffer->frameBuffer;
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
    VIS_ASSERT(frameBuffer->bindDepth >= 1);
    frameBuffer->bindDepth--;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (frameBuffer->bindDepth == 0) {
        const GLint* saved = frameBuffer->savedViewport;
        glViewport(saved[0], saved[1], saved[2], saved[3]);
    }
    if (!bound_.empty()) bound_.pop_back();
    if (!bound_.empty()) {
        CRenderBufferObject* parent = bound_.back();
        parent->frameBuffer->attachForDrawing();
        attachColour(parent);
    }
    return buffer->isTexture ? buffer->texture : buffer->renderBuffer;
}

CRenderBufferObject* CFrameBufferObjects::findByTexture(GLuint texture) {
    for (auto& frameBuffer : frameBuffers_)
        for (auto& buffer : frameBuffer->colourBuffers)
            if (buffer->isTexture && buffer->texture == texture) return buffer.get();
    return nullptr;
}

void CFrameBufferObjects::age(int milliseconds) {
    int life = settings()->getInt("gl.renderbuffer_life", 120) * 1000;
    for (size_t f = 0; f < frameBuffers_.size();) {
        CFrameBuffer* frameBuffer = frameBuffers_[f].get();
        auto& buffers = frameBuffer->colourBuffers;
        for (size_t b = 0; b < buffers.size();) {
            CRenderBufferObject* buffer = buffers[b].get();
            buffer->age = buffer->inUse ? 0 : buffer->age + milliseconds;
            if (buffer->age > life) {
                Log(LOG_INFO, "Removing %dx%d Render Buffer because it is %ds (> %ds) old\n",
                    frameBuffer->width, frameBuffer->height, buffer->age / 1000, life / 1000);
                buffers.erase(buffers.begin() + static_cast<long>(b));
                continue;
            }
            b++;
        }
        if (buffers.empty()) {
            Log(LOG_INFO, "Removing empty %dx%d Frame Buffer\n", frameBuffer->width,
                frameBuffer->height);
            frameBuffers_.erase(frameBuffers_.begin() + static_cast<long>(f));
            continue;
        }
        f++;
    }
}
