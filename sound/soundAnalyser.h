// Turns the blocks of a sound source into the numbers scenes move to: level,
// standardised band levels, beat strength, beat position and an oscillator
// locked to the beat, plus the waveform and spectrum arrays.
//
// analyse() runs once per frame on the main thread. It takes as many blocks as
// the smoothed backlog allows, so that the analysis keeps pace with the visual
// clock without jumping when a frame brings more or fewer blocks than usual,
// and measures how much visual time one block stands for; every smoothing
// constant is expressed in seconds through that estimate.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "sound/bands.h"
#include "sound/beatTracker.h"
#include "sound/fft.h"
#include "sound/logSpectrum.h"
#include "sound/onsetDetector.h"
#include "sound/onsetEnvelope.h"
#include "sound/soundSource.h"
#include "sound/tempoEstimator.h"

class SoundAnalyser {
public:
    static constexpr int kHistoryBlocks = 16;
    static constexpr int kWaveformFloats = kWindowFrames;                 // id 105
    static constexpr int kSpectrumFloats = kSpectrumBins;                 // id 106
    static constexpr int kHistoryFloats = kHistoryBlocks * kBlockFrames;  // id 107

    SoundAnalyser();
    ~SoundAnalyser();
    SoundAnalyser(const SoundAnalyser&) = delete;
    SoundAnalyser& operator=(const SoundAnalyser&) = delete;

    // Consumes the frame's share of the source's queue. `timePass` is the
    // frame's filtered time step and `averageFrameTime` the smoothed raw frame
    // time, both in seconds. With nothing to analyse only the frame time is
    // kept, to be counted with the next blocks.
    void analyse(SoundSource& source, float timePass, float averageFrameTime);

    // Ids 100–104 and 108–113.
    static bool isValueId(int id);
    // The value behind an id, 0 for an id that is not one.
    float value(int id) const;
    // The array behind id 105, 106 or 107 and its length; null (count 0) for
    // any other id.
    const float* array(int id, int* count) const;

    // Visual seconds per block, as currently estimated.
    float blockDuration() const { return blockDuration_; }
    // Blocks in the history, at most 16.
    int historyBlocks() const { return historyCount_; }
    const BeatTracker& beat() const { return beat_; }
    const TempoEstimator& tempo() const { return tempo_; }
    // The onset envelope's value for the newest block.
    float onset() const { return onset_; }
    // The remapped spectra of the newest block.
    const float* leftSpectrum() const { return left_.spectrum; }
    const float* rightSpectrum() const { return right_.spectrum; }

private:
    struct Channel {
        float window[kWindowFrames] = {};
        float spectrum[kSpectrumBins] = {};  // remapped spectrum of the newest block
    };
    struct BandStatistics {
        float published = 0.0f;
        float mean = 0.0f;
        float variance = 0.0f;
    };

    void measureBlockDuration();
    void analyseBlock(const SoundBlock& block, float keep, const KnownBeat& known);
    void transform(Channel& channel);
    void standardise(float keep, const float* spectrumSum);
    float beatStrength(const float* spectrumSum);
    void remember(std::unique_ptr<SoundBlock> block);
    void publishWaveforms();

    RadixTwoFft fft_{9};
    LogFrequencyMap map_;
    Channel left_;
    Channel right_;
    float smoothedSpectrum_[kSpectrumBins] = {};
    float waveform_[kWaveformFloats] = {};
    float historyWave_[kHistoryFloats] = {};
    BandStatistics bands_[kBandCount];
    std::vector<OnsetDetector> detectors_;
    OnsetEnvelope envelope_;
    TempoEstimator tempo_;
    float onset_ = 0.0f;
    BeatTracker beat_;
    float level_ = 0.0f;
    float strength_ = 0.0f;

    int backlog_ = 0;
    float accumulatedTime_ = 0.0f;
    float blockDuration_ = 0.0f;
    double accumulatedArrivals_ = 0.0;  // blocks queued since the last measurement
    const SoundSource* lastSource_ = nullptr;
    uint64_t lastAppended_ = 0;  // the source's count of appended blocks then
    float recentTime_ = 0.0f;    // visual time, summed with fading weights
    float recentBlocks_ = 0.0f;  // blocks that arrived in it, likewise
    std::array<std::unique_ptr<SoundBlock>, kHistoryBlocks> history_;  // oldest first
    int historyCount_ = 0;
};
