// The unit of audio that sources hand to the analyser: 256 stereo frames of
// signed 16-bit samples at 44 100 Hz, linked into a source's queue.
#pragma once

#include <cstdint>

constexpr int kBlockFrames = 256;
constexpr int kSampleRate = 44100;
// Sources count time in whole microseconds; 256 / 44 100 s rounded down.
constexpr int64_t kBlockMicroseconds = 5804;

struct SoundBlock {
    int16_t left[kBlockFrames];
    int16_t right[kBlockFrames];
    SoundBlock* next;  // owned by the queue while the block is queued
};
