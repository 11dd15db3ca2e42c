// Handlers of the natives that need neither a scene nor the script host
// (natives.cpp holds the table that registers them).
#pragma once

#include "vm/vm.h"

void vmnAssert(VMState* s);
void vmnPrint(VMState* s);
void vmnPrintv(VMState* s);
void vmnSin(VMState* s);
void vmnCos(VMState* s);
void vmnTan(VMState* s);
void vmnAtan(VMState* s);
void vmnAtan2(VMState* s);
void vmnPow(VMState* s);
void vmnRand(VMState* s);
void vmnRandInt(VMState* s);
void vmnMalloc(VMState* s);
void vmnFree(VMState* s);
void vmnQSort(VMState* s);
void vmnCubicInterpFloat(VMState* s);
