// From a 512-point transform to the spectrum scenes see: magnitudes folded
// and tilted into 256 values (the tilt lifts high frequencies, which carry
// little energy in music), then read out on a logarithmic frequency axis of
// 512 bins so that every octave gets a comparable share of the bins.
#pragma once

constexpr int kWindowFrames = 512;  // samples per channel that are transformed
constexpr int kTiltedBins = 256;
constexpr int kSpectrumBins = 512;

// T(k) = 0.1·(k + 1)·(X(k) + X(511 − k)) for k < 256, where X(k) is the
// magnitude of transform bin k divided by 64.
void foldAndTilt(const float* real, const float* imaginary, float* tilted);

// Output bin n reads the tilted values at the fractional position
// (e^(e·n/512) − 1)·206/(e^e − 1), interpolating linearly between neighbours:
// bin 0 reads position 0, bin 511 almost 206.
class LogFrequencyMap {
public:
    LogFrequencyMap();

    float position(int bin) const { return position_[bin]; }
    void apply(const float* tilted, float* spectrum) const;

private:
    float position_[kSpectrumBins];
};
