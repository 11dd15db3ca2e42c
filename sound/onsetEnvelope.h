// The onset envelope that tempo and beat tracking follow: the spectral flux
// of each block (how far the log-compressed band energies rose since the
// previous block, summed over bands), less its own recent mean and cut at
// zero. A steady sound gives nothing, every attack a peak.
//
// It transforms its own Hann-windowed mono mix rather than reusing the
// published spectra: without a window a steady low note leaks into its
// neighbours with a strength that swings with the note's phase, and that
// swing is a false rhythm. The bands are spaced evenly in pitch, so the few
// bins of a bass drum count as much as the hundreds of a hi-hat.
#pragma once

#include "sound/fft.h"
#include "sound/logSpectrum.h"

class OnsetEnvelope {
public:
    static constexpr int kBands = 16;

    OnsetEnvelope();

    // The newest analysis window of each channel (kWindowFrames samples in
    // [-1, 1)); returns the block's onset strength, ≥ 0.
    float process(const float* left, const float* right);
    // The flux before the mean is taken off.
    float flux() const { return flux_; }

    // The first transform bin of band b (0…kBands); band b ends before band b + 1's.
    static int bandStart(int band);

private:
    RadixTwoFft fft_{9};
    float window_[kWindowFrames];
    float previous_[kBands] = {};
    float flux_ = 0.0f;
    float mean_ = 0.0f;
    float loudness_ = 0.0f;
    float loudnessWeight_ = 0.0f;
};
