// One onset detector over a range of spectrum bins. Each block it turns the
// band's energy into an onset value (how far the energy rose above its running
// average), keeps the autocorrelation of the onsets over the last 512 blocks
// (about three seconds) and answers how strongly the newest onsets repeat the
// periods that dominate that stretch.
//
// The 512 lag sums are updated incrementally, one product added and one
// removed per lag and block, instead of being recomputed. They are kept in
// double precision so that the add-and-subtract does not drift over hours.
#pragma once

#include <array>

constexpr int kOnsetDetectors = 8;
constexpr int kOnsetLags = 512;
constexpr int kOnsetHistory = 1024;

class OnsetDetector {
public:
    // The bins first…last, both included.
    OnsetDetector(int firstBin, int lastBin);

    // The bins of detector k: [450k/8 + 20, 450(k+1)/8 + 20], in integers.
    static int firstBin(int detector);
    static int lastBin(int detector);

    // Feeds one block's spectrum sum S(n) = L(n) + R(n) and returns the
    // detector's output Σ_L R(L)·c(t − L).
    float process(const float* spectrumSum);

    // The onset of `age` blocks ago (0 = newest); 0 before any was stored.
    float onset(int age) const { return onsets_[(newest_ - age) & (kOnsetHistory - 1)]; }
    double lagSum(int lag) const { return lagSums_[lag]; }

private:
    int first_;
    int last_;
    float average_ = 0.0f;
    int newest_ = 0;
    std::array<float, kOnsetHistory> onsets_{};
    std::array<double, kOnsetLags> lagSums_{};
};
