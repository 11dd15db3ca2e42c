// The vertex buffer table. See vertexBuffer.h.
#include "render/vertexBuffer.h"

#include <vector>

#include "app/log.h"
#include "app/settingsAccess.h"
#include "render/renderState.h"

namespace {

std::vector<CVertexBuffer*> buffers;

// Where each component group of a format starts, in floats; -1 when absent.
struct FormatLayout {
    int floats;
    int texCoordSize;  // per unit
    int texUnits;
    int colour;
    int normal;
    int position;
};

const FormatLayout kFormats[6] = {
    //  floats  tc size  units  colour  normal  position
    {3, 0, 0, -1, -1, 0}, {5, 2, 1, -1, -1, 2}, {6, 0, 0, -1, 0, 3},
    {8, 2, 1, -1, 2, 5},  {12, 2, 1, 2, 6, 9},  {15, 3, 3, -1, 9, 12},
};

struct PrimitiveEntry {
    int id;
    GLenum mode;
};

const PrimitiveEntry kPrimitives[] = {
    {0, GL_POINTS}, {1, GL_LINES}, {2, GL_LINE_STRIP}, {3, GL_TRIANGLES}, {4, GL_QUADS},
};

CVertexBuffer* findBuffer(int id) {
    if (id < 0 || id >= static_cast<int>(buffers.size())) return nullptr;
    return buffers[id];
}

bool primitiveMode(int id, GLenum* mode) {
    for (const PrimitiveEntry& entry : kPrimitives) {
        if (entry.id == id) {
            *mode = entry.mode;
            return true;
        }
    }
    return false;
}

bool bufferObjectsWanted() {
    SettingsAccess* settings = renderSettings();
    if (settings->getInt("gl.use_vbo", 0) == 0) return false;
    if (renderCaps().vertexBufferObjects && glGenBuffers && glBindBuffer && glBufferData)
        return true;
    settings->setInt("gl.use_vbo", 0);
    Log(LOG_WARNING, "VBOs enabled but not supported by the system\n");
    return false;
}

void clientTexture(int unit) {
    if (glClientActiveTexture) glClientActiveTexture(GL_TEXTURE0 + unit);
}

// Array address of the component at `offset` floats; with a buffer object
// the base is 0 and the address is a byte offset into it.
const void* at(uintptr_t base, int offset) {
    return reinterpret_cast<const void*>(base + static_cast<uintptr_t>(offset) * sizeof(float));
}

void setArrays(const FormatLayout& layout, uintptr_t base) {
    GLsizei stride = layout.floats * static_cast<GLsizei>(sizeof(float));
    for (int unit = 0; unit < layout.texUnits; unit++) {
        clientTexture(unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(layout.texCoordSize, GL_FLOAT, stride,
                          at(base, unit * layout.texCoordSize));
    }
    if (layout.texUnits > 1) clientTexture(0);
    if (layout.colour >= 0) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, stride, at(base, layout.colour));
    }
    if (layout.normal >= 0) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, stride, at(base, layout.normal));
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, at(base, layout.position));
}

void resetArrays(bool usedBufferObject) {
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glColorPointer(4, GL_FLOAT, 0, nullptr);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    for (int unit = 2; unit >= 0; unit--) {
        clientTexture(unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (usedBufferObject) glBindBuffer(GL_ARRAY_BUFFER, 0);
}

}  // namespace

int vbFloatsPerVertex(int format) {
    if (format < 0 || format > 5) return 0;
    return kFormats[format].floats;
}

CVertexBuffer::CVertexBuffer(VertexMemoryOwner* owner, int format, int vertexCount)
    : owner_(owner), format_(format), vertexCount_(vertexCount) {
    VIS_ASSERT(format >= 0 && format <= 5);
    floatsPerVertex_ = kFormats[format].floats;
    uint32_t words = static_cast<uint32_t>(vertexCount) * static_cast<uint32_t>(floatsPerVertex_);
    if (owner_)
        ownerIndex_ = owner_->allocateWords(words);
    else
        ownedMemory_.reset(new float[words > 0 ? words : 1]());
}

CVertexBuffer::~CVertexBuffer() {
    if (locked) Log(LOG_SERIOUS, "CVertexBuffer: Locked VB Being destroyed!\n");
    if (owner_ && ownerIndex_ >= 0) owner_->freeWords(ownerIndex_);
    if (bufferObject) glDeleteBuffers(1, &bufferObject);
}

float* CVertexBuffer::getPtr() {
    if (ownedMemory_) return ownedMemory_.get();
    if (owner_ && ownerIndex_ >= 0) return owner_->wordPointer(ownerIndex_);
    Log(LOG_FATAL, "CVertexBuffer::getPtr called even though we didn't get any memory\n");
    return nullptr;
}

int vbCreate(VertexMemoryOwner* owner, int format, int vertexCount) {
    VIS_ASSERT(format >= 0 && format <= 5);
    if (vertexCount < 0) {
        Log(LOG_WARNING, "vbCreate: invalid vertex count %d\n", vertexCount);
        return -1;
    }
    auto* buffer = new CVertexBuffer(owner, format, vertexCount);
    if (!buffer->hasMemory()) {
        // Refused here rather than failing fatally at the first vbLock.
        Log(LOG_WARNING, "vbCreate: no memory for %d vertices of format %d\n", vertexCount, format);
        delete buffer;
        return -1;
    }
    if (bufferObjectsWanted()) glGenBuffers(1, &buffer->bufferObject);
    for (size_t slot = 0; slot < buffers.size(); slot++) {
        if (!buffers[slot]) {
            buffers[slot] = buffer;
            return static_cast<int>(slot);
        }
    }
    buffers.push_back(buffer);
    return static_cast<int>(buffers.size() - 1);
}

float* vbLock(int id) {
    CVertexBuffer* buffer = findBuffer(id);
    if (!buffer) {
        Log(LOG_SERIOUS, "Unknown Vertex Buffer %d\n", id);
        return nullptr;
    }
    if (buffer->locked)
        Log(LOG_WARNING, "Attempting to lock Vertex Buffer that was already locked\n");
    buffer->locked = true;
    return buffer->getPtr();
}

void vbUnLock(int id) {
    CVertexBuffer* buffer = findBuffer(id);
    if (!buffer) {
        Log(LOG_WARNING, "Unknown Vertex Buffer %d\n", id);
        return;
    }
    if (!buffer->locked)
        Log(LOG_WARNING, "Attempting to unlock Vertex Buffer that wasn't locked\n");
    if (buffer->bufferObject) {
        GLsizeiptr bytes = static_cast<GLsizeiptr>(buffer->vertexCount()) *
                           buffer->floatsPerVertex() * static_cast<GLsizeiptr>(sizeof(float));
        glBindBuffer(GL_ARRAY_BUFFER, buffer->bufferObject);
        glBufferData(GL_ARRAY_BUFFER, bytes, buffer->getPtr(), GL_DYNAMIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    buffer->locked = false;
}

bool vbRender(int id, int primitive, int first, int count) {
    CVertexBuffer* buffer = findBuffer(id);
    if (!buffer) {
        Log(LOG_WARNING, "Unknown Vertex Buffer %d\n", id);
        return false;
    }
    if (buffer->locked) {
        Log(LOG_SERIOUS, "Attempting to render locked Vertex Buffer\n");
        return false;
    }
    if (!renderState().currentShader) {
        Log(LOG_WARNING, "vbRender with no shader bound!\n");
        return false;
    }
    // 64-bit sum: first + count must not wrap past the check.
    int64_t end = static_cast<int64_t>(first) + count;
    if (first < 0 || count < 0 || end > buffer->vertexCount()) {
        Log(LOG_SERIOUS,
            "Rendering outside bounds of vertex buffer rendering %d..%d, buffer is 0..%d\n", first,
            static_cast<int>(end), buffer->vertexCount());
        return false;
    }
    GLenum mode = GL_POINTS;
    if (!primitiveMode(primitive, &mode)) {
        Log(LOG_SERIOUS, "Unknown Rendering format : %d\n", primitive);
        return false;
    }
    uintptr_t base = 0;
    if (buffer->bufferObject)
        glBindBuffer(GL_ARRAY_BUFFER, buffer->bufferObject);
    else
        base = reinterpret_cast<uintptr_t>(buffer->getPtr());
    setArrays(kFormats[buffer->format()], base);
    glDrawArrays(mode, first, count);
    resetArrays(buffer->bufferObject != 0);
    return true;
}

bool vbDestroy(int id) {
    CVertexBuffer* buffer = findBuffer(id);
    if (!buffer) {
        Log(LOG_WARNING, "Unknown Vertex Buffer %d\n", id);
        return false;
    }
    if (buffer->locked) {
        Log(LOG_SERIOUS, "Attempting to destroy Vertex Buffer that was locked\n");
        return false;
    }
    delete buffer;
    buffers[id] = nullptr;
    return true;
}

void vbDestroyAll() {
    int remaining = 0;
    for (CVertexBuffer*& buffer : buffers) {
        if (!buffer) continue;
        Log(LOG_WARNING, "vb: format %d elems %d\n", buffer->format(), buffer->vertexCount());
        delete buffer;
        buffer = nullptr;
        remaining++;
    }
    if (remaining) Log(LOG_WARNING, "renderUtilsKill: vertexBuffers not empty (%d)\n", remaining);
    buffers.clear();
}

int vbTableSize() {
    return static_cast<int>(buffers.size());
}
