// A sound source whose blocks the test hands in, from any thread.
#pragma once

#include <memory>

#include "sound/soundSource.h"

class FeedSource : public SoundSource {
public:
    explicit FeedSource(size_t capacity = kDefaultCapacity) : SoundSource(capacity) {}
    void produce(int) override {}
    void feed(std::unique_ptr<SoundBlock> block) { appendBlock(std::move(block)); }
};

// A block whose every frame holds the same left and right sample.
inline std::unique_ptr<SoundBlock> constantBlock(int16_t left, int16_t right) {
    auto block = std::make_unique<SoundBlock>();
    for (int i = 0; i < kBlockFrames; ++i) {
        block->left[i] = left;
        block->right[i] = right;
    }
    return block;
}
