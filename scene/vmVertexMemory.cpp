#include "scene/vmVertexMemory.h"

#include "vm/native.h"

int VmVertexMemory::allocateWords(uint32_t words) {
    if (words > 0x7FFFFFFFu) return -1;
    int32_t address = vmalloc(vm_, static_cast<int32_t>(words));
    return address > 0 ? address : -1;
}

void VmVertexMemory::freeWords(int index) {
    vfree(vm_, index);
}

float* VmVertexMemory::wordPointer(int index) {
    return reinterpret_cast<float*>(vm_->memory + index);
}
