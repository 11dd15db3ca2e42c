#include "sound/onsetEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {

// log(1 + γ·e) of a band's energy e over the mean band energy: nearly linear
// for ordinary levels, so that loud attacks (drums) outweigh the many soft
// ones between them, while a band far louder than the rest cannot swamp them.
constexpr float kCompression = 0.03f;
// The mean flux that is taken off follows about 20 blocks (0.12 s).
constexpr float kMeanKeep = 0.95f;
// Mean band magnitudes below this are silence (about −120 dB of full scale).
constexpr float kSilence = 1e-4f;
// The loudness that energies are measured against follows the last few seconds.
constexpr float kLoudnessKeep = 0.999f;
// Transform bins (86 Hz apart), about two bands per octave above 300 Hz; the
// last ends at 20 kHz.
constexpr int kBandEdges[OnsetEnvelope::kBands + 1] = {1,  2,  3,  4,  6,   8,   11,  15, 20,
                                                       28, 39, 54, 75, 104, 144, 200, 233};

}  // namespace

int OnsetEnvelope::bandStart(int band) {
    return kBandEdges[band];
}

OnsetEnvelope::OnsetEnvelope() {
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < kWindowFrames; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * pi * (i + 0.5) / kWindowFrames));
}

float OnsetEnvelope::process(const float* left, const float* right) {
    float real[kWindowFrames];
    float imaginary[kWindowFrames] = {};
    for (int i = 0; i < kWindowFrames; ++i)
        real[i] = (left[i] + right[i]) * window_[i];
    fft_.transform(real, imaginary);

    float energies[kBands];
    float total = 0.0f;
    for (int b = 0; b < kBands; ++b) {
        float energy = 0.0f;
        for (int k = kBandEdges[b]; k < kBandEdges[b + 1]; ++k)
            energy += std::sqrt(real[k] * real[k] + imaginary[k] * imaginary[k]);
        energies[b] = energy / static_cast<float>(kBandEdges[b + 1] - kBandEdges[b]);
        total += energies[b];
    }
    // The mean loudness so far, weighted towards the last few seconds; the
    // weights are summed too, so the first blocks are not measured against
    // a mean that still starts from zero.
    loudness_ = kLoudnessKeep * loudness_ + total / kBands;
    loudnessWeight_ = kLoudnessKeep * loudnessWeight_ + 1.0f;
    const float loudness = loudness_ / loudnessWeight_;
    const float scale = loudness > kSilence ? kCompression / loudness : 0.0f;
    float flux = 0.0f;
    for (int b = 0; b < kBands; ++b) {
        const float level = std::log1p(scale * energies[b]);
        flux += std::max(level - previous_[b], 0.0f);
        previous_[b] = level;
    }
    flux_ = flux;
    const float onset = std::max(flux - mean_, 0.0f);
    mean_ = kMeanKeep * mean_ + (1.0f - kMeanKeep) * flux;
    return onset;
}
