// The system's 32-bit checksum, shared by archives, the updater, the script
// function crc and the machine identifier.
#pragma once

#include <cstdint>

// h = seed; for each byte: h = rotl(h, 1) XOR (byte sign-extended to 32 bits).
// A length of 0 or less returns the seed. The sign extension is part of the
// format: bytes 0x80..0xFF contribute 0xFFFFFF80..0xFFFFFFFF.
uint32_t crc(const void* data, int length, uint32_t seed);
