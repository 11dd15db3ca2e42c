// Plays a WAV file as a sound source, for offline rendering, the beat tool
// and tests. The whole file is read and converted at once (SDL decodes the
// WAV format; any rate, sample format and channel count SDL knows becomes
// 16-bit stereo at the analyser's rate), so that producing blocks never
// touches the disk and the same file always gives the same blocks.
//
// Like the synthetic beat it is paced by the visual clock: produce() queues
// the blocks that fit below the time asked for so far. Time is counted in
// sample frames, not in whole-microsecond blocks, so a long file stays in step
// with the clock. Past the end of the file the blocks are silent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/soundSource.h"

class WavFileSource : public SoundSource {
public:
    // Reads and converts `path`. Null when the file cannot be read, is not a
    // WAV file SDL understands or cannot be converted; the reason is then in
    // *error when `error` is given.
    static std::unique_ptr<WavFileSource> open(const std::string& path, std::string* error);

    // Adds the time to the target and queues every whole block that fits
    // below it. Negative times add nothing.
    void produce(int milliseconds) override;

    // True once every frame of the file has been queued; later blocks are silent.
    bool finished() const { return producedFrames_ >= frames(); }
    // The file's length at the analyser's rate.
    int64_t frames() const { return static_cast<int64_t>(samples_.size() / 2); }
    double durationSeconds() const { return static_cast<double>(frames()) / kSampleRate; }
    // Frames queued so far, silence past the end included.
    int64_t producedFrames() const { return producedFrames_; }
    // The converted file: interleaved left and right samples at 44 100 Hz.
    const std::vector<int16_t>& samples() const { return samples_; }

private:
    explicit WavFileSource(std::vector<int16_t> samples);

    std::vector<int16_t> samples_;
    int64_t targetMicroseconds_ = 0;
    int64_t producedFrames_ = 0;
};
