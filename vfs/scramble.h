// The name-keyed byte scrambling of archive entries.
//
// The key starts as the name key; each clear byte p is stored as p XOR k and
// then k = rotl8(k) XOR p. A change in one stored byte therefore alters every
// clear byte after it, which is what lets the checksum catch it.
#pragma once

#include <cstddef>
#include <cstdint>

// k = 0; for each byte c of the name: k = rotl8(k) XOR c.
uint8_t nameKey(const char* name, size_t length);

// Descrambles `count` stored bytes from `in` into `out` (which must not
// overlap `in`), starting with `key`; `key` is left as it stands after the last
// byte, so that a long entry may be descrambled in pieces.
void descramble(const uint8_t* in, uint8_t* out, size_t count, uint8_t& key);

// The inverse, for writers: clear bytes in, stored bytes out.
void scramble(const uint8_t* in, uint8_t* out, size_t count, uint8_t& key);
