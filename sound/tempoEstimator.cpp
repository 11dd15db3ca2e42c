#include "sound/tempoEstimator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMeanKeep = 0.998f;
constexpr int kChoiceInterval = 8;         // blocks between choices
constexpr float kCandidateStep = 0.25f;    // blocks
constexpr float kPreferredPeriod = 94.0f;  // blocks: about 110 beats per minute
constexpr float kPriorWidth = 1.5f;        // octaves
// A period whose half pulses at least this strongly (against the period
// itself) is two beats: kick and snare on alternate beats correlate less with
// each other than each with itself, so the double period can score higher.
// Pulses of relative strength r halfway give about 2r / (1 + r²): kick and
// snare come near 1, off-beat hi-hats a third of the beat's strength 0.6.
constexpr float kHalfRatio = 0.5f;

}  // namespace

void TempoEstimator::process(float onset) {
    sum_ = kMeanKeep * sum_ + onset;
    weight_ = kMeanKeep * weight_ + 1.0f;
    const float centred = onset - sum_ / weight_;
    newest_ = (newest_ + 1) % kLags;
    history_[newest_] = centred;
    // Lags 0…newest_ read the ring backwards from the newest entry, the rest
    // backwards from its end.
    const double value = centred;
    for (int lag = 0; lag <= newest_; ++lag)
        correlation_[lag] = kCorrelationKeep * correlation_[lag] + value * history_[newest_ - lag];
    for (int lag = newest_ + 1; lag < kLags; ++lag) {
        correlation_[lag] =
            kCorrelationKeep * correlation_[lag] + value * history_[newest_ - lag + kLags];
    }
    if (++sinceChoice_ >= kChoiceInterval) {
        sinceChoice_ = 0;
        choose();
    }
}

float TempoEstimator::correlationAt(float lag) const {
    const int whole = static_cast<int>(lag);
    if (whole + 1 >= kLags) return static_cast<float>(correlation_[kLags - 1]);
    const float fraction = lag - static_cast<float>(whole);
    return static_cast<float>(correlation_[whole] * (1.0f - fraction) +
                              correlation_[whole + 1] * fraction);
}

float TempoEstimator::halfRatio(float period) const {
    const float whole = correlationAt(period) + correlationAt(2.0f * period);
    const float half = correlationAt(0.5f * period) + correlationAt(1.5f * period);
    return whole > 0.0f ? half / whole : 0.0f;
}

float TempoEstimator::refine(float around, float range) const {
    float best = around;
    float bestScore = score(around);
    for (float p = around * (1.0f - range); p <= around * (1.0f + range); p += kCandidateStep) {
        const float s = score(p);
        if (s > bestScore) {
            bestScore = s;
            best = p;
        }
    }
    return best;
}

float TempoEstimator::score(float period) const {
    float sum = 0.0f;
    for (int multiple = 1; multiple <= 4; ++multiple) {
        const float lag = period * multiple;
        if (lag >= kLags - 1) break;
        sum += correlationAt(lag);
    }
    const float octaves = std::log2(period / kPreferredPeriod) / kPriorWidth;
    return sum * std::exp(-0.5f * octaves * octaves);
}

void TempoEstimator::choose() {
    const double energy = correlation_[0];
    if (!(energy > 1e-9)) {
        confidence_ = 0.0f;
        return;
    }
    float best = kShortestPeriod;
    float bestScore = score(best);
    for (float p = kShortestPeriod + kCandidateStep; p <= kLongestPeriod; p += kCandidateStep) {
        const float s = score(p);
        if (s > bestScore) {
            bestScore = s;
            best = p;
        }
    }
    // A beat whose half also pulses strongly is a bar half: the beat is the half.
    while (best / 2.0f >= kShortestPeriod && halfRatio(best) > kHalfRatio)
        best = refine(best / 2.0f, 0.04f);
    // Between the candidates: the top of a parabola through the best and its
    // two neighbours.
    const float before = score(best - kCandidateStep);
    const float at = score(best);
    const float after = score(best + kCandidateStep);
    const float curve = before - 2.0f * at + after;
    if (curve < 0.0f) {
        best += kCandidateStep * std::clamp(0.5f * (before - after) / curve, -0.5f, 0.5f);
    }
    confidence_ = static_cast<float>(at / energy);
    if (confidence_ > 0.0f) period_ = best;
}
