// Scrambling: see scramble.h.
//
// Descrambling sits on every content load, so it avoids the byte-serial key
// chain. Writing M for "rotate left by one, XOR the value itself" on 8-bit keys,
// the key after a stored byte s is M(k) XOR s, and M^8 = (R + I)^8 = R^8 + I = 0
// over GF(2). So from byte 8 on the key is a fixed function of the 8 stored
// bytes before it: k[m] = XOR over t of M^t(s[m-1-t]), t = 0..7, which is
// computed for 16 positions at once with Horner's rule.
#include "vfs/scramble.h"

#include <cstring>

namespace {

typedef uint8_t Bytes16 __attribute__((vector_size(16)));

inline uint8_t rotl8(uint8_t k) {
    return static_cast<uint8_t>((k << 1) | (k >> 7));
}

inline Bytes16 load16(const uint8_t* p) {
    Bytes16 v;
    std::memcpy(&v, p, 16);
    return v;
}

inline Bytes16 mixLanes(Bytes16 x) {
    return ((x << 1) | (x >> 7)) ^ x;
}

// The key that follows the 8 stored bytes at `s`, whatever came before them.
uint8_t keyAfter8(const uint8_t* s) {
    uint8_t k = 0;
    for (int j = 0; j < 8; ++j)
        k = static_cast<uint8_t>(rotl8(k) ^ k ^ s[j]);
    return k;
}

}  // namespace

uint8_t nameKey(const char* name, size_t length) {
    uint8_t k = 0;
    for (size_t i = 0; i < length; ++i)
        k = static_cast<uint8_t>(rotl8(k) ^ uint8_t(name[i]));
    return k;
}

void descramble(const uint8_t* in, uint8_t* out, size_t count, uint8_t& key) {
    uint8_t k = key;
    size_t i = 0;
    size_t head = count < 8 ? count : 8;
    for (; i < head; ++i) {
        uint8_t p = in[i] ^ k;
        out[i] = p;
        k = static_cast<uint8_t>(rotl8(k) ^ p);
    }
    if (i + 16 <= count) {
        for (; i + 16 <= count; i += 16) {
            Bytes16 keys = load16(in + i - 8);
            for (int t = 6; t >= 0; --t)
                keys = mixLanes(keys) ^ load16(in + i - 1 - t);
            Bytes16 clear = load16(in + i) ^ keys;
            std::memcpy(out + i, &clear, 16);
        }
        k = keyAfter8(in + i - 8);
    }
    for (; i < count; ++i) {
        uint8_t p = in[i] ^ k;
        out[i] = p;
        k = static_cast<uint8_t>(rotl8(k) ^ p);
    }
    key = k;
}

void scramble(const uint8_t* in, uint8_t* out, size_t count, uint8_t& key) {
    uint8_t k = key;
    for (size_t i = 0; i < count; ++i) {
        uint8_t p = in[i];
        out[i] = p ^ k;
        k = static_cast<uint8_t>(rotl8(k) ^ p);
    }
    key = k;
}
