// Vertex buffers of a scene keep their vertices in the scene's VM heap, so
// that scene code writes them in place between vbLock and vbUnLock.
#pragma once

#include "render/vertexBuffer.h"
#include "vm/vm.h"

class VmVertexMemory : public VertexMemoryOwner {
public:
    explicit VmVertexMemory(VMState* vm) : vm_(vm) {}
    int allocateWords(uint32_t words) override;
    void freeWords(int index) override;
    // Re-read on every call: the heap moves when it grows.
    float* wordPointer(int index) override;

private:
    VMState* vm_;
};
