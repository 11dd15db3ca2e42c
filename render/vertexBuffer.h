// Vertex buffers: a table of interleaved float arrays in six formats that
// scenes fill between vbLock and vbUnLock and draw with vbRender.
//
// A buffer's memory lives either in a memory owner (a scene's VM heap, so
// that scene code writes vertices in place) or in an array the buffer owns.
// Ids are indexes into the table, from 0, and the lowest free slot is reused.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <memory>

// Memory of the scene that creates the buffer, addressed in 32-bit words.
class VertexMemoryOwner {
public:
    virtual ~VertexMemoryOwner() = default;
    // A block of `words` words; its word index, or -1 when there is no room.
    virtual int allocateWords(uint32_t words) = 0;
    virtual void freeWords(int index) = 0;
    // The first word of the block at `index`.
    virtual float* wordPointer(int index) = 0;
};

class CVertexBuffer {
public:
    // `owner` may be null (owned array). The format must be 0..5.
    CVertexBuffer(VertexMemoryOwner* owner, int format, int vertexCount);
    ~CVertexBuffer();
    CVertexBuffer(const CVertexBuffer&) = delete;
    CVertexBuffer& operator=(const CVertexBuffer&) = delete;

    bool hasMemory() const { return ownedMemory_ || ownerIndex_ >= 0; }
    float* getPtr();
    int format() const { return format_; }
    int vertexCount() const { return vertexCount_; }
    int floatsPerVertex() const { return floatsPerVertex_; }
    bool locked = false;
    GLuint bufferObject = 0;

private:
    VertexMemoryOwner* owner_;
    int format_;
    int vertexCount_;
    int floatsPerVertex_;
    int ownerIndex_ = -1;
    std::unique_ptr<float[]> ownedMemory_;
};

// Floats per vertex of a format, 0 for an unknown format.
int vbFloatsPerVertex(int format);

// The id of a new buffer, or -1 (with a warning) for a negative vertex count
// or when the memory owner has no room. An unknown format is fatal.
int vbCreate(VertexMemoryOwner* owner, int format, int vertexCount);
// The vertex floats, or null for an unknown id.
float* vbLock(int id);
void vbUnLock(int id);
// Draws `count` vertices from `first`; false, with nothing drawn and no GL
// state touched, for an unknown or locked buffer, no bound shader, a range
// outside the buffer or an unknown primitive.
bool vbRender(int id, int primitive, int first, int count);
bool vbDestroy(int id);

// Shutdown: reports and destroys every buffer left.
void vbDestroyAll();
// The number of table slots (used and empty), for tests and reports.
int vbTableSize();
