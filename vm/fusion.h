// The load-time fusion pass: rewrites runs of plain instructions into
// superinstructions (superinstructions.def) in a private copy of the code.
#pragma once

#include <cstdint>

// Fuses `code` (count words) in place. A jump target (the operand of a CALL,
// J, JZ or JNZ) may start a run but never lies inside one, so every position
// that control flow can reach keeps its meaning; operand words are never
// changed. Returns the number of superinstructions made.
int fuseCode(uint32_t* code, int count);
