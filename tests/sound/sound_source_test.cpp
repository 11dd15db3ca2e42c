#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include "app/log.h"
#include "app/random.h"
#include "sound/syntheticBeatSource.h"
#include "tests/sound/test_sources.h"
#include "tests/support/log_capture.h"

namespace {

std::vector<std::unique_ptr<SoundBlock>> drain(SoundSource& source) {
    std::vector<std::unique_ptr<SoundBlock>> blocks;
    while (auto block = source.takeBlock())
        blocks.push_back(std::move(block));
    return blocks;
}

double energy(const SoundBlock& block) {
    double sum = 0.0;
    for (int i = 0; i < kBlockFrames; ++i)
        sum += double(block.left[i]) * block.left[i];
    return sum;
}

TEST(SoundQueue, IsFirstInFirstOutAndEmptyGivesNull) {
    FeedSource source;
    EXPECT_EQ(source.takeBlock(), nullptr);
    for (int16_t v = 1; v <= 3; ++v)
        source.feed(constantBlock(v, 0));
    EXPECT_EQ(source.queuedBlocks(), 3u);
    for (int16_t v = 1; v <= 3; ++v) {
        auto block = source.takeBlock();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->left[0], v);
        EXPECT_EQ(block->next, nullptr);
    }
    EXPECT_EQ(source.takeBlock(), nullptr);
    EXPECT_EQ(source.queuedBlocks(), 0u);
    source.feed(constantBlock(9, 0));  // usable again after running dry
    EXPECT_EQ(source.takeBlock()->left[0], 9);
}

TEST(SoundQueue, FullQueueDropsTheOldestAndWarnsOnce) {
    LogCapture log;
    FeedSource source(4);
    for (int16_t v = 1; v <= 7; ++v)
        source.feed(constantBlock(v, 0));
    EXPECT_EQ(source.queuedBlocks(), 4u);
    EXPECT_EQ(source.droppedBlocks(), 3u);
    EXPECT_EQ(log.count("Sound queue full"), 1u);
    auto blocks = drain(source);
    ASSERT_EQ(blocks.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(blocks[i]->left[0], 4 + i);

    // After draining, a new overflow is reported again.
    for (int16_t v = 1; v <= 5; ++v)
        source.feed(constantBlock(v, 0));
    EXPECT_EQ(log.count("Sound queue full"), 2u);
}

// A capture source fills the queue from its own thread while the main thread
// drains it: nothing may be lost, duplicated or reordered.
TEST(SoundQueue, ProducerOnAnotherThread) {
    constexpr int kBlocks = 20000;
    FeedSource source(kBlocks);
    std::thread producer([&] {
        for (int i = 0; i < kBlocks; ++i)
            source.feed(constantBlock(int16_t(i % 30000), int16_t(i / 30000)));
    });
    int received = 0;
    bool inOrder = true;
    while (received < kBlocks) {
        auto block = source.takeBlock();
        if (!block) {
            std::this_thread::yield();
            continue;
        }
        inOrder = inOrder && block->left[0] + 30000 * block->right[0] == received;
        ++received;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(source.queuedBlocks(), 0u);
    EXPECT_EQ(source.droppedBlocks(), 0u);
}

TEST(SyntheticBeat, MakesWholeBlocksAtTheVisualPace) {
    SyntheticBeatSource source(140.0);
    source.produce(5);  // 5000 µs: not yet a whole block beyond the target
    EXPECT_EQ(source.queuedBlocks(), 0u);
    source.produce(1);  // 6000 µs
    EXPECT_EQ(source.queuedBlocks(), 1u);
    source.produce(-50);
    EXPECT_EQ(source.targetTime(), 6000);
    EXPECT_EQ(source.queuedBlocks(), 1u);
    source.produce(994);  // one second: 5804·k + 5804 < 1 000 000 up to k = 171
    EXPECT_EQ(source.queuedBlocks(), 172u);
    EXPECT_EQ(source.producedTime(), 172 * 5804);
}

TEST(SyntheticBeat, FirstSamplesFollowTheClickFormula) {
    visSeedRandom(1);  // draws 41, 18467, 6334
    SyntheticBeatSource source(140.0);
    source.produce(6);
    auto block = source.takeBlock();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->left[0], 2);     // noise only: 41·0.125/32767·16384
    EXPECT_EQ(block->left[1], 1380);  // noise plus the start of the thump
    EXPECT_EQ(block->left[2], 859);
    for (int i = 0; i < kBlockFrames; ++i)
        ASSERT_EQ(block->left[i], block->right[i]) << i;
}

TEST(SyntheticBeat, ThumpOnEachBeatQuietHalfwayBetween) {
    SyntheticBeatSource source(140.0);
    source.produce(4000);
    auto blocks = drain(source);
    const double period = 428571.0;  // µs
    for (int beat = 0; beat < 8; ++beat) {
        const size_t onBeat = size_t(beat * period / kBlockMicroseconds);
        const size_t between = size_t((beat + 0.5) * period / kBlockMicroseconds);
        ASSERT_LT(between, blocks.size());
        EXPECT_GT(energy(*blocks[onBeat]), 10.0 * energy(*blocks[between])) << beat;
        // Halfway between beats only the non-negative noise ticks remain.
        for (int i = 0; i < kBlockFrames; ++i) {
            ASSERT_GE(blocks[between]->left[i], 0);
            ASSERT_LE(blocks[between]->left[i], 2048);
        }
    }
}

TEST(SyntheticBeat, ZeroNegativeOrInvalidTempoIsSilent) {
    SyntheticBeatSource source(140.0);
    for (double tempo : {0.0, -60.0, std::nan("")}) {
        source.setTempo(tempo);
        source.produce(100);
        auto blocks = drain(source);
        ASSERT_FALSE(blocks.empty());
        for (auto& block : blocks)
            ASSERT_EQ(energy(*block), 0.0) << tempo;
    }
    // An absurd tempo must not divide by zero; the result stays in range.
    source.setTempo(1e12);
    source.produce(100);
    EXPECT_FALSE(drain(source).empty());
    source.setTempo(90.0);
    EXPECT_FLOAT_EQ(source.tempo(), 90.0f);
    source.produce(200);
    double total = 0.0;
    for (auto& block : drain(source))
        total += energy(*block);
    EXPECT_GT(total, 0.0);
}

}  // namespace

namespace {

TEST(MillisecondCarry, KeepsTheFractionForTheNextFrame) {
    MillisecondCarry carry;
    int total = 0;
    int shortest = 1000, longest = 0;
    for (int frame = 0; frame < 600; ++frame) {
        const int ms = carry.take(1.0 / 60.0);
        shortest = std::min(shortest, ms);
        longest = std::max(longest, ms);
        total += ms;
    }
    EXPECT_EQ(total, 10000);  // ten seconds, not 600 × 16 ms
    EXPECT_EQ(shortest, 16);
    EXPECT_EQ(longest, 17);
    EXPECT_EQ(carry.take(0.0004), 0);
    EXPECT_EQ(carry.take(std::nan("")), 0);
    EXPECT_EQ(carry.take(-3.0), 0);
    EXPECT_EQ(carry.take(INFINITY), 0);
    EXPECT_EQ(carry.take(0.0007), 1);  // with the 0.4 ms kept from before
    EXPECT_EQ(carry.take(1e9), 86400000);
}

}  // namespace
