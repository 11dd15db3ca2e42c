// Scrambling: see scramble.h.
//
// Descrambling sits on every content load, so it avoids the byte-serial key
// chain. Writing M for "rotate left by one, XOR the value itself" on 8-bit keys,
// the key after a stored byte s is M(k) XOR s, and M^8 = (R + I)^8 = R^8 + I = 0
// over GF(2). So from byte 8 on the key is a fixed function of the 8 stored
// bytes before it: k[m] = XOR over t of M^t(s[m-1-t]), t = 0..7, computed
// for 16 positions at once. With SSE2 the sum is factored as
// (I + M D)(I + M^2 D^2)(I + M^4 D^4) applied to the stored stream shifted by
// one (D delays by one byte, M^2 = R^2 + I, M^4 = R^4 + I), and each factor's
// delayed operand is taken from the previous block's result, so a block costs
// three rotations; elsewhere Horner's rule needs seven.
#include "vfs/scramble.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

inline uint8_t rotl8(uint8_t k) {
    return static_cast<uint8_t>((k << 1) | (k >> 7));
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

namespace {

// Serial descrambling of in[from, to).
void descrambleSerial(const uint8_t* in, uint8_t* out, size_t from, size_t to, uint8_t& k) {
    for (size_t i = from; i < to; ++i) {
        uint8_t p = in[i] ^ k;
        out[i] = p;
        k = static_cast<uint8_t>(rotl8(k) ^ p);
    }
}

#ifdef __SSE2__

// Each byte of x rotated left by n bits.
template <int n>
inline __m128i rotateBytes(__m128i x) {
    __m128i high = _mm_and_si128(_mm_slli_epi16(x, n), _mm_set1_epi8(char((0xFF << n) & 0xFF)));
    __m128i low = _mm_and_si128(_mm_srli_epi16(x, 8 - n), _mm_set1_epi8(char(0xFF >> (8 - n))));
    return _mm_or_si128(high, low);
}

template <int n>
inline __m128i mixPower(__m128i x) {  // M^n for n = 1, 2, 4: R^n + I
    return _mm_xor_si128(rotateBytes<n>(x), x);
}

inline __m128i loadAt(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The 16 bytes ending `n` bytes before the end of `current`, the first of them
// coming from the end of `previous`.
template <int n>
inline __m128i delayed(__m128i previous, __m128i current) {
    return _mm_or_si128(_mm_slli_si128(current, n), _mm_srli_si128(previous, 16 - n));
}

// Y1(m) = s[m-1] ^ M(s[m-2]) for the 16 positions from i.
inline __m128i firstFactor(const uint8_t* in, size_t i) {
    return _mm_xor_si128(loadAt(in + i - 1), mixPower<1>(loadAt(in + i - 2)));
}

// Descrambles [from, to) with from >= 24; returns the end of the whole blocks.
size_t descrambleBlocks(const uint8_t* in, uint8_t* out, size_t from, size_t to) {
    // The previous block's factors, from direct loads (reaching back to from - 20).
    __m128i y1Previous = firstFactor(in, from - 16);
    __m128i y2Previous = _mm_xor_si128(y1Previous, mixPower<2>(firstFactor(in, from - 18)));
    size_t i = from;
    for (; i + 16 <= to; i += 16) {
        __m128i y1 = firstFactor(in, i);
        __m128i y2 = _mm_xor_si128(y1, mixPower<2>(delayed<2>(y1Previous, y1)));
        __m128i keys = _mm_xor_si128(y2, mixPower<4>(delayed<4>(y2Previous, y2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_xor_si128(loadAt(in + i), keys));
        y1Previous = y1;
        y2Previous = y2;
    }
    return i;
}

constexpr size_t kSerialHead = 24;

#else

// Horner's rule: keys = A0 ^ M(A1 ^ M(A2 ^ ... M(A7))), A_t = stream at i - 1 - t.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

size_t descrambleBlocks(const uint8_t* in, uint8_t* out, size_t from, size_t to) {
    size_t i = from;
    for (; i + 16 <= to; i += 16) {
        Bytes16 keys, next;
        std::memcpy(&keys, in + i - 8, 16);
        for (int t = 6; t >= 0; --t) {
            std::memcpy(&next, in + i - 1 - t, 16);
            keys = (((keys << 1) | (keys >> 7)) ^ keys) ^ next;
        }
        std::memcpy(&next, in + i, 16);
        next ^= keys;
        std::memcpy(out + i, &next, 16);
    }
    return i;
}

constexpr size_t kSerialHead = 8;

#endif

}  // namespace

void descramble(const uint8_t* in, uint8_t* out, size_t count, uint8_t& key) {
    size_t head = count < kSerialHead ? count : kSerialHead;
    descrambleSerial(in, out, 0, head, key);
    if (head + 16 <= count) {
        size_t end = descrambleBlocks(in, out, head, count);
        key = keyAfter8(in + end - 8);
        descrambleSerial(in, out, end, count, key);
    } else {
        descrambleSerial(in, out, head, count, key);
    }
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
