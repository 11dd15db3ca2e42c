// Tempo from the onset envelope: a leaky autocorrelation of the envelope
// (less its mean) over the last few seconds, scored at every candidate beat
// period together with its multiples, so that a period whose bars also repeat
// beats one that only matches once, and weighted towards moderate tempi where
// the score cannot tell a beat from its half or double.
//
// Periods are counted in blocks: the analysis runs on the audio's own clock,
// whatever the frame rate, and the caller turns blocks into seconds.
#pragma once

#include <array>

class TempoEstimator {
public:
    static constexpr int kLags = 720;                // about 4.2 s of history
    static constexpr float kShortestPeriod = 55.2f;  // blocks: 0.32 s, 187 beats per minute
    static constexpr float kLongestPeriod = 155.0f;  // blocks: 0.9 s, 66 beats per minute
    // The correlation fades per block by 0.5^(1/516): a half-life of three seconds.
    static constexpr double kCorrelationKeep = 0.99865759;
    // A confidence from which the period is worth following.
    static constexpr float kTrusted = 0.5f;

    // One block's onset strength.
    void process(float onset);

    // The best beat period in blocks, fractional; 0 until something repeats.
    float period() const { return period_; }
    // How clearly the best period stands out: its score over the envelope's
    // energy; 0 in silence.
    float confidence() const { return confidence_; }
    // The onset strength of `age` blocks ago less the running mean (0…kLags−1;
    // 0 before any was stored).
    float onset(int age) const { return history_[(newest_ - age + kLags) % kLags]; }
    // The autocorrelation at a lag (blocks, 0…kLags−1).
    double correlation(int lag) const { return correlation_[lag]; }
    // The score of a candidate period (blocks): the correlation at it and its
    // multiples, weighted by the preference for moderate tempi.
    float score(float period) const;
    // How strongly the envelope repeats at half the period and one and a
    // half, against the period and its double.
    float halfRatio(float period) const;

private:
    void choose();
    // The best-scoring period within ±range (a fraction) of `around`.
    float refine(float around, float range) const;
    float correlationAt(float lag) const;

    std::array<float, kLags> history_{};  // mean-free onsets, newest at newest_
    int newest_ = 0;
    std::array<double, kLags> correlation_{};
    float sum_ = 0.0f;  // of the onsets, fading; over weight_ it is their mean
    float weight_ = 0.0f;
    int sinceChoice_ = 0;
    float period_ = 0.0f;
    float confidence_ = 0.0f;
};
