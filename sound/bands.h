// The low, mid and high band levels: weighted means of a 512-bin spectrum
// under three raised-cosine curves, each lowered by 0.1 so that energy outside
// a band counts slightly against it.
#pragma once

enum SoundBand { kLowBand = 0, kMidBand = 1, kHighBand = 2 };
constexpr int kBandCount = 3;

// The weight of spectrum bin n (0…511) in a band, the 0.1 already subtracted.
float bandWeight(SoundBand band, int bin);
// Σ spectrum(n)·w(n) / Σ w(n) over the 512 bins.
float bandLevel(SoundBand band, const float* spectrum);
