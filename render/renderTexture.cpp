// Render targets and viewport read-back. See renderTexture.h.
#include "render/renderTexture.h"

#include <GL/glew.h>

#include <vector>

#include "app/log.h"
#include "render/frameBufferObjects.h"
#include "render/renderState.h"
#include "render/textureInfos.h"

namespace {

int outputDimension(int value, int stateId) {
    if (value == -1) return glGetInt(stateId);
    if (value == -2) return glGetInt(stateId) / 2;
    return value;
}

}  // namespace

void texRenderBegin(int width, int height, bool isFloat) {
    if (width < -2 || height < -2) {
        Log(LOG_WARNING, "Invalid arguments %dx%d to texRenderBegin\n", width, height);
        width = height = 256;
    } else {
        width = outputDimension(width, 207);
        height = outputDimension(height, 208);
    }
    CFrameBufferObjects* pool = renderFrameBufferObjects();
    VIS_ASSERT(pool != nullptr);
    CRenderBufferObject* target = pool->getRenderBuffer(width, height, true, isFloat);
    pool->bind(target);
    renderState().renderTextureStack.push_back(target);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

int texRenderEnd() {
    glReportErrors(__FILE__, __LINE__);
    auto& stack = renderState().renderTextureStack;
    if (stack.empty()) {
        Log(LOG_WARNING, "texRenderEnd: Render texture stack is EMPTY\n");
        return 0;
    }
    CRenderBufferObject* target = stack.back();
    stack.pop_back();
    GLuint texture = renderFrameBufferObjects()->end(target);
    return textureInfos().registerTexture(GL_TEXTURE_2D, texture, target->width(), target->height(),
                                          true);
}

void texRenderFinished(int id) {
    if (id == 0) return;
    GLuint name = textureInfos().getGLid(id);
    if (!name) return;
    CFrameBufferObjects* pool = renderFrameBufferObjects();
    CRenderBufferObject* buffer = pool ? pool->findByTexture(name) : nullptr;
    if (buffer)
        buffer->setUnused();
    else
        Log(LOG_WARNING, "no renderable texture number %d found\n", static_cast<int>(name));
    textureInfos().remove(id);
}

void sumViewport(float* out, int columns, int rows) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    int width = viewport[2], height = viewport[3];
    if (columns <= 0 || rows <= 0) return;
    size_t cells = static_cast<size_t>(columns) * rows;
    if (width <= 0 || height <= 0) {
        for (size_t i = 0; i < cells * 3; i++)
            out[i] = 0.0f;
        return;
    }
    std::vector<float> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(viewport[0], viewport[1], width, height, GL_RGBA, GL_FLOAT, pixels.data());
    for (int r = 0; r < rows; r++) {
        int y0 = static_cast<int>(static_cast<int64_t>(r) * height / rows);
        int y1 = static_cast<int>(static_cast<int64_t>(r + 1) * height / rows);
        for (int c = 0; c < columns; c++) {
            int x0 = static_cast<int>(static_cast<int64_t>(c) * width / columns);
            int x1 = static_cast<int>(static_cast<int64_t>(c + 1) * width / columns);
            double sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; y++)
                for (int x = x0; x < x1; x++)
                    for (int k = 0; k < 3; k++)
                        sum[k] += pixels[(static_cast<size_t>(y) * width + x) * 4 + k];
            int count = (y1 - y0) * (x1 - x0);
            for (int k = 0; k < 3; k++)
                *out++ = count > 0 ? static_cast<float>(sum[k] / count) : 0.0f;
        }
    }
}
