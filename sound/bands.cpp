#include "sound/bands.h"

#include <cmath>

#include "sound/logSpectrum.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The curves before the 0.1 is taken off, as functions of the bin.
double raisedCosine(SoundBand band, int n) {
    switch (band) {
        case kLowBand:
            return n < 256 ? (std::cos(kPi * n / 256.0) + 1.0) / 2.0 : 0.0;
        case kMidBand:
            return n > 128 && n < 384 ? (std::cos(kPi * n / 128.0) + 1.0) / 2.0 : 0.0;
        case kHighBand:
            return n > 256 ? (std::cos(kPi * (511 - n) / 256.0) + 1.0) / 2.0 : 0.0;
    }
    return 0.0;
}

struct BandTable {
    float weight[kBandCount][kSpectrumBins];
    float total[kBandCount];

    BandTable() {
        for (int b = 0; b < kBandCount; ++b) {
            double sum = 0.0;
            for (int n = 0; n < kSpectrumBins; ++n) {
                weight[b][n] = static_cast<float>(raisedCosine(SoundBand(b), n) - 0.1);
                sum += weight[b][n];
            }
            total[b] = static_cast<float>(sum);
        }
    }
};

const BandTable& table() {
    static const BandTable instance;
    return instance;
}

}  // namespace

float bandWeight(SoundBand band, int bin) {
    return table().weight[band][bin];
}

float bandLevel(SoundBand band, const float* spectrum) {
    const BandTable& t = table();
    float sum = 0.0f;
    for (int n = 0; n < kSpectrumBins; ++n)
        sum += spectrum[n] * t.weight[band][n];
    return sum / t.total[band];
}
