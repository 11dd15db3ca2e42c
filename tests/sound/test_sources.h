// Sound sources for tests: one whose blocks the test hands in, from any
// thread, and one that plays generated samples at the visual pace.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

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

// Plays samples made at the analyser's rate (in [-1, 1]) at the visual pace,
// as the WAV file source does, without a file in between; silence after them.
class SampleSource : public SoundSource {
public:
    SampleSource(const std::vector<double>& left, const std::vector<double>& right)
        : left_(left), right_(right) {}
    void produce(int milliseconds) override {
        target_ += int64_t(milliseconds) * 441 / 10;  // frames
        while (produced_ + kBlockFrames <= target_) {
            auto block = std::make_unique<SoundBlock>();
            for (int i = 0; i < kBlockFrames; ++i) {
                const size_t at = size_t(produced_ + i);
                if (at >= left_.size()) break;
                block->left[i] = int16_t(std::lround(left_[at] * 32767));
                block->right[i] = int16_t(std::lround(right_[at] * 32767));
            }
            appendBlock(std::move(block));
            produced_ += kBlockFrames;
        }
    }

private:
    std::vector<double> left_, right_;
    int64_t target_ = 0;
    int64_t produced_ = 0;
};
