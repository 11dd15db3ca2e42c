#include "sound/logSpectrum.h"

#include <cmath>

#include "app/log.h"

void foldAndTilt(const float* real, const float* imaginary, float* tilted) {
    auto magnitude = [&](int k) {
        return std::sqrt(real[k] * real[k] + imaginary[k] * imaginary[k]) / 64.0f;
    };
    for (int k = 0; k < kTiltedBins; ++k) {
        tilted[k] =
            0.1f * static_cast<float>(k + 1) * (magnitude(k) + magnitude(kWindowFrames - 1 - k));
    }
}

LogFrequencyMap::LogFrequencyMap() {
    const double e = std::exp(1.0);
    const double scale = 206.0 / (std::exp(e) - 1.0);
    for (int n = 0; n < kSpectrumBins; ++n) {
        const double p = (std::exp(e * n / kSpectrumBins) - 1.0) * scale;
        VIS_ASSERT(!std::isnan(p));
        // The interpolation reads index floor(p) + 1, so p must stay below the last bin.
        VIS_ASSERT(p >= 0.0 && p < kTiltedBins - 1);
        position_[n] = static_cast<float>(p);
    }
}

void LogFrequencyMap::apply(const float* tilted, float* spectrum) const {
    for (int n = 0; n < kSpectrumBins; ++n) {
        const float p = position_[n];
        const int index = static_cast<int>(p);
        const float fraction = p - static_cast<float>(index);
        spectrum[n] = tilted[index] + (tilted[index + 1] - tilted[index]) * fraction;
    }
}
