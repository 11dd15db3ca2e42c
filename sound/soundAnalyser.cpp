#include "sound/soundAnalyser.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "sound/decay.h"

namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
// Slow statistics of the band levels, per block (not per second).
constexpr float kStatisticsKeep = 0.9975f;
constexpr float kSmallestDeviation = 0.1f;
// The block duration is measured over about this much visual time (a
// half-life in seconds).
constexpr float kPacingMemory = 2.0f;

}  // namespace

SoundAnalyser::SoundAnalyser() {
    detectors_.reserve(kOnsetDetectors);
    for (int k = 0; k < kOnsetDetectors; ++k) {
        detectors_.emplace_back(OnsetDetector::firstBin(k), OnsetDetector::lastBin(k));
    }
}

SoundAnalyser::~SoundAnalyser() = default;

void SoundAnalyser::analyse(SoundSource& source, float timePass, float averageFrameTime) {
    const int queued = static_cast<int>(std::min<size_t>(source.queuedBlocks(), INT_MAX / 4));
    backlog_ = (3 * backlog_ + queued) / 4;
    // A time step that is not a number would poison the block duration for
    // good; count it as no time.
    if (std::isfinite(timePass) && timePass > 0.0f) accumulatedTime_ += timePass;
    // Blocks that arrived since the last call (dropped ones too: they were
    // sound that passed). A source swapped in has a count of its own, which
    // says nothing about this frame.
    const uint64_t appended = source.appendedBlocks();
    if (!lastSource_) lastAppended_ = 0;
    if ((&source == lastSource_ || !lastSource_) && appended >= lastAppended_)
        accumulatedArrivals_ += static_cast<double>(appended - lastAppended_);
    lastSource_ = &source;
    lastAppended_ = appended;
    const int wanted = std::min(backlog_, queued);
    if (wanted == 0) return;
    measureBlockDuration();

    // The weight old spectrum and band values keep per block. It follows the
    // same half-life rule at every frame rate, also when a block stands for
    // more than a frame (fast displays), where the values must keep moving.
    const float keep = halfLifeDecay(blockDuration_, averageFrameTime / 4.0f);
    // A source that makes its own beat says where its newest block ends in
    // it; the blocks before that one are a block duration earlier each.
    const KnownBeat newest = source.knownBeat();
    int analysed = 0;
    while (analysed < wanted) {
        std::unique_ptr<SoundBlock> block = source.takeBlock();
        if (!block) break;
        KnownBeat known = newest;
        known.sinceBeat -= static_cast<double>(queued - 1 - analysed) * blockDuration_;
        analyseBlock(*block, keep, known);
        remember(std::move(block));
        ++analysed;
    }
    if (analysed > 0) publishWaveforms();
}

// The visual time that passed over the blocks that arrived in it, both summed
// over the last few seconds. Arrivals rather than analysed blocks: the backlog
// pacing takes blocks unevenly, and the queue growing or shrinking by a block
// or two would make the beat period waver. Sums rather than a mean of each
// frame's ratio: frames that alternate between two and three blocks would
// otherwise make the mean of 1/2 and 1/3 the duration and read periods long.
void SoundAnalyser::measureBlockDuration() {
    if (accumulatedArrivals_ > 0.0) {
        const float memory = halfLifeDecay(accumulatedTime_, kPacingMemory);
        recentTime_ = memory * recentTime_ + accumulatedTime_;
        recentBlocks_ = memory * recentBlocks_ + static_cast<float>(accumulatedArrivals_);
        blockDuration_ = recentTime_ / recentBlocks_;
    }
    accumulatedTime_ = 0.0f;
    accumulatedArrivals_ = 0.0;
}

void SoundAnalyser::analyseBlock(const SoundBlock& block, float keep, const KnownBeat& known) {
    const int half = kWindowFrames / 2;
    std::memmove(left_.window, left_.window + half, half * sizeof(float));
    std::memmove(right_.window, right_.window + half, half * sizeof(float));
    float energy = 0.0f;
    for (int i = 0; i < kBlockFrames; ++i) {
        const float l = block.left[i] * kSampleScale;
        const float r = block.right[i] * kSampleScale;
        left_.window[half + i] = l;
        right_.window[half + i] = r;
        energy += l * l + r * r;
    }
    transform(left_);
    transform(right_);
    onset_ = envelope_.process(left_.window, right_.window);
    tempo_.process(onset_);

    float spectrumSum[kSpectrumBins];
    for (int n = 0; n < kSpectrumBins; ++n) {
        const float product = left_.spectrum[n] * right_.spectrum[n];
        smoothedSpectrum_[n] = keep * smoothedSpectrum_[n] + (1.0f - keep) * product;
        spectrumSum[n] = left_.spectrum[n] + right_.spectrum[n];
    }
    standardise(keep, spectrumSum);
    level_ = std::sqrt(energy / kBlockFrames);
    strength_ = beatStrength(spectrumSum);
    beat_.step(strength_, blockDuration_, tempo_, known);
}

void SoundAnalyser::transform(Channel& channel) {
    float real[kWindowFrames];
    float imaginary[kWindowFrames] = {};
    std::memcpy(real, channel.window, sizeof(real));
    fft_.transform(real, imaginary);
    float tilted[kTiltedBins];
    foldAndTilt(real, imaginary, tilted);
    map_.apply(tilted, channel.spectrum);
}

void SoundAnalyser::standardise(float keep, const float* spectrumSum) {
    for (int b = 0; b < kBandCount; ++b) {
        BandStatistics& s = bands_[b];
        const float level = bandLevel(SoundBand(b), spectrumSum);
        const float deviation = std::max(std::sqrt(s.variance), kSmallestDeviation);
        const float z = (level - s.mean) / deviation;
        s.published = keep * s.published + (1.0f - keep) * z;
        const float offset = s.mean - level;
        s.variance = kStatisticsKeep * s.variance + (1.0f - kStatisticsKeep) * offset * offset;
        s.mean = kStatisticsKeep * s.mean + (1.0f - kStatisticsKeep) * level;
    }
}

// Low bands count more: detector k is weighted 16 − k.
float SoundAnalyser::beatStrength(const float* spectrumSum) {
    float sum = 0.0f;
    for (int k = 0; k < kOnsetDetectors; ++k) {
        sum += static_cast<float>(16 - k) * detectors_[k].process(spectrumSum);
    }
    return sum / 32.0f;
}

void SoundAnalyser::remember(std::unique_ptr<SoundBlock> block) {
    if (historyCount_ < kHistoryBlocks) {
        history_[historyCount_++] = std::move(block);
        return;
    }
    std::rotate(history_.begin(), history_.begin() + 1, history_.end());
    history_[kHistoryBlocks - 1] = std::move(block);  // frees the oldest
}

void SoundAnalyser::publishWaveforms() {
    for (int i = 0; i < kWaveformFloats; ++i) {
        waveform_[i] = (left_.window[i] + right_.window[i]) / 2.0f;
    }
    // Until the history is full the waveform stays silent rather than
    // showing a partial, shifting picture.
    if (historyCount_ < kHistoryBlocks) return;
    for (int b = 0; b < kHistoryBlocks; ++b) {
        const SoundBlock& block = *history_[b];
        for (int i = 0; i < kBlockFrames; ++i) {
            historyWave_[b * kBlockFrames + i] =
                (static_cast<float>(block.left[i]) + static_cast<float>(block.right[i])) / 32768.0f;
        }
    }
}

bool SoundAnalyser::isValueId(int id) {
    return (id >= 100 && id <= 104) || (id >= 108 && id <= 113);
}

float SoundAnalyser::value(int id) const {
    switch (id) {
        case 100:
            return level_;
        case 101:
            return bands_[kLowBand].published;
        case 102:
            return bands_[kMidBand].published;
        case 103:
            return bands_[kHighBand].published;
        case 104:
            return strength_;
        case 108:
            return beat_.smoothed();
        case 109:
            return beat_.position();
        case 110:
            return beat_.phase();
        case 111:
            return beat_.upper();
        case 112:
            return beat_.lower();
        case 113:
            return beat_.rate();
        default:
            return 0.0f;
    }
}

const float* SoundAnalyser::array(int id, int* count) const {
    const float* data = nullptr;
    int length = 0;
    switch (id) {
        case 105:
            data = waveform_;
            length = kWaveformFloats;
            break;
        case 106:
            data = smoothedSpectrum_;
            length = kSpectrumFloats;
            break;
        case 107:
            data = historyWave_;
            length = kHistoryFloats;
            break;
        default:
            break;
    }
    if (count) *count = length;
    return data;
}
