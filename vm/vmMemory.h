// VM memory for services that keep data inside a VM's heap (vertex buffers
// mirror their vertices there). Memory moves when the heap grows, so keep
// word addresses, never host pointers, across anything that may allocate.
#pragma once

#include <cstdint>

#include "vm/vm.h"

// Word 0 of the VM's memory (null before the image created it) and its size.
inline uint32_t* vmMemoryWords(VMState* s) {
    return s->memory;
}
inline uint32_t vmMemorySize(VMState* s) {
    return s->memorySize;
}

// `words` usable words from the VM heap; returns their address, or 0 (with
// "vmalloc failed" logged and the error flag set) when memory cannot grow.
// Returns 0 at once when the error flag is already set.
int32_t vmalloc(VMState* s, int32_t words);
// Releases an address from vmalloc; a bad address or broken guard logs
// "vfree failed" and sets the error flag. Does nothing when the flag is set.
void vfree(VMState* s, int32_t address);
// True when addresses a and b both lie inside memory; otherwise logs "vcheck
// failed" and sets the error flag.
bool vcheck(VMState* s, uint32_t a, uint32_t b);
// vcheck of `count` words from `address` (count <= 0 tests only `address`).
bool vcheckArea(VMState* s, uint32_t address, int64_t count);
