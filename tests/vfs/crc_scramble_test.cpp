// The checksum and the scrambling, against the byte-at-a-time rules.
#include <gtest/gtest.h>

#include <string>

#include "app/random.h"
#include "tests/vfs/hand_archive.h"
#include "vfs/crc.h"
#include "vfs/scramble.h"

namespace {

std::string randomBytes(size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i)
        out += char(visRand() & 0xFF);
    return out;
}

TEST(Crc, KnownValues) {
    EXPECT_EQ(crc("abc", 3, 0), 0x00000123u);
    const unsigned char high = 0x80;
    EXPECT_EQ(crc(&high, 1, 0), 0xFFFFFF80u);
    const unsigned char ff = 0xFF;
    EXPECT_EQ(crc(&ff, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(crc("a", 1, 0x80000000u), 0x00000001u ^ 0x61u);
}

TEST(Crc, EmptyOrNegativeLengthReturnsTheSeed) {
    EXPECT_EQ(crc("abc", 0, 0xCAFEBABEu), 0xCAFEBABEu);
    EXPECT_EQ(crc("abc", -5, 0x12345678u), 0x12345678u);
}

// Every length around the 32-byte folding, with seeds and high bytes.
TEST(Crc, MatchesTheByteRuleForAllLengthsAndSeeds) {
    visSeedRandom(7);
    std::string data = randomBytes(300);
    for (size_t length = 0; length <= data.size(); ++length) {
        uint32_t seed = uint32_t(visRand()) << 17 ^ uint32_t(visRand());
        std::string part = data.substr(0, length);
        ASSERT_EQ(crc(part.data(), int(length), seed), referenceCrc(part, seed)) << length;
    }
    std::string big = randomBytes(100003);
    EXPECT_EQ(crc(big.data(), int(big.size()), 99), referenceCrc(big, 99));
}

TEST(Crc, ChainsThroughTheSeed) {
    std::string text = "The quick brown fox jumps over the lazy dog, forty-three times over.";
    uint32_t whole = crc(text.data(), int(text.size()), 0);
    uint32_t first = crc(text.data(), 20, 0);
    EXPECT_EQ(crc(text.data() + 20, int(text.size() - 20), first), whole);
}

TEST(Scramble, NameKeyRotatesWithinEightBits) {
    EXPECT_EQ(nameKey("", 0), 0);
    EXPECT_EQ(nameKey("a", 1), 0x61);
    // 'a' -> 0x61; rotl8(0x61) = 0xC2, ^ 'b' (0x62) = 0xA0
    EXPECT_EQ(nameKey("ab", 2), 0xA0);
    std::string longName(300, '\x93');
    EXPECT_EQ(nameKey(longName.data(), longName.size()), referenceKey(longName));
}

TEST(Scramble, DescramblesAHandComputedVector) {
    // Key 0xA0 for "ab": 'h' ^ 0xA0 = 0xC8; key becomes rotl8(0xA0) ^ 'h' = 0x29;
    // 'i' ^ 0x29 = 0x40.
    const uint8_t stored[] = {0xC8, 0x40};
    uint8_t clear[2];
    uint8_t key = nameKey("ab", 2);
    descramble(stored, clear, 2, key);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(clear), 2), "hi");
    EXPECT_EQ(key, uint8_t(((0x29 << 1) | (0x29 >> 7)) ^ 'i'));
}

// Lengths around the 8-byte head and the 16-byte blocks, whole and in pieces.
TEST(Scramble, DescrambleMatchesTheByteRuleInWholeAndInPieces) {
    visSeedRandom(11);
    for (size_t length : {0, 1, 7, 8, 9, 15, 16, 23, 24, 25, 40, 41, 100, 1000, 4097}) {
        std::string clear = randomBytes(length);
        std::string name = "scenes/" + std::to_string(length) + ".bin";
        std::string stored = referenceScramble(name, clear);
        std::string out(length, '\0');
        uint8_t key = nameKey(name.data(), name.size());
        descramble(reinterpret_cast<const uint8_t*>(stored.data()),
                   reinterpret_cast<uint8_t*>(&out[0]), length, key);
        ASSERT_EQ(out, clear) << length;

        std::string pieces(length, '\0');
        key = nameKey(name.data(), name.size());
        for (size_t done = 0, step = 3; done < length; done += step, step = step * 2 + 1) {
            size_t count = std::min(step, length - done);
            descramble(reinterpret_cast<const uint8_t*>(stored.data()) + done,
                       reinterpret_cast<uint8_t*>(&pieces[done]), count, key);
        }
        ASSERT_EQ(pieces, clear) << length;
    }
}

TEST(Scramble, ScrambleIsTheInverse) {
    visSeedRandom(5);
    std::string clear = randomBytes(777);
    std::string stored(clear.size(), '\0');
    uint8_t key = 0x5A;
    scramble(reinterpret_cast<const uint8_t*>(clear.data()), reinterpret_cast<uint8_t*>(&stored[0]),
             clear.size(), key);
    EXPECT_NE(stored, clear);
    std::string back(clear.size(), '\0');
    key = 0x5A;
    descramble(reinterpret_cast<const uint8_t*>(stored.data()),
               reinterpret_cast<uint8_t*>(&back[0]), stored.size(), key);
    EXPECT_EQ(back, clear);
}

// One changed stored byte changes every clear byte after it (with probability
// 1 - 2^-8 per byte), which is what lets the checksum catch it.
TEST(Scramble, AStoredChangePropagatesToLaterBytes) {
    std::string clear(64, 'x');
    std::string stored = referenceScramble("n", clear);
    stored[10] ^= 0x01;
    std::string out(clear.size(), '\0');
    uint8_t key = nameKey("n", 1);
    descramble(reinterpret_cast<const uint8_t*>(stored.data()), reinterpret_cast<uint8_t*>(&out[0]),
               stored.size(), key);
    EXPECT_EQ(out.substr(0, 10), clear.substr(0, 10));
    EXPECT_NE(out[10], clear[10]);
    EXPECT_NE(out.substr(11), clear.substr(11));
}

}  // namespace
