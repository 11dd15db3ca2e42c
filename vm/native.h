// What a native needs: registration in the process-wide table, the calling
// convention helpers, VM strings and the heap and range checks.
//
// Convention: arguments are on the VM stack in parameter order, so a handler
// pops the last parameter first; a non-V native pushes exactly one word; a
// failure is a logged message plus the error flag. A handler that allocates
// (vmalloc) must re-read memory and the stack from the VMState afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "vm/vm.h"
#include "vm/vmMemory.h"

// Appends an entry to the live registry's table; its index is its position.
void vmRegisterNative(const char* signature, VMNativeHandler handler, uint8_t timeCheck);
// Index of the first entry whose signature equals `text` exactly, or -1.
int vmFindNative(const char* text);
int vmNativeCount();
const char* vmNativeSignature(int index);
// Replaces the handler registered for `signature` (in the live registry and
// for registries created later). Modules whose services arrive later (the
// graphics natives, the scene natives) install their handlers this way; the
// table order, and so every index, never changes. False if the signature is
// not in the table.
bool vmSetNativeHandler(const char* signature, VMNativeHandler handler);
// The same by table index; false when the index is outside the table.
bool vmSetNativeHandlerAt(int index, VMNativeHandler handler);
// The handler every not-yet-provided native starts with: logs "native %s is
// not available" at severe level and sets the error flag.
void vmNativeUnavailable(VMState* state);
// Index of the native being called (from the current op), or -1 outside a native.
int vmCurrentNative(VMState* state);

// Stack access for handlers. The interpreter tests the stack pointer after
// the native returns, so handlers pop and push without tests of their own.
inline uint32_t vmPop(VMState* s) {
    return *s->stackPointer--;
}
inline int32_t vmPopInt(VMState* s) {
    return static_cast<int32_t>(vmPop(s));
}
float vmPopFloat(VMState* s);
inline void vmPush(VMState* s, uint32_t word) {
    *++s->stackPointer = word;
}
void vmPushFloat(VMState* s, float value);

// Reads the VM string at `address` (low byte of each word up to a 0 word),
// stopping at `maxLength` characters or at the end of memory.
std::string vmReadString(VMState* s, uint32_t address, size_t maxLength = 4095);
// Writes `text` into the `capacity` words at `address`: at most capacity - 1
// characters, each sign-extended, then a 0 word. Range-tests the area with
// vcheck first; false (error flag set) when it leaves memory.
bool vmWriteString(VMState* s, uint32_t address, int32_t capacity, const std::string& text);

// Heap and range checks: vmalloc, vfree, vcheck, vcheckArea (vm/vmMemory.h).
