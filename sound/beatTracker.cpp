#include "sound/beatTracker.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "sound/decay.h"

namespace {

constexpr float kTwoPi = 6.28318530717958647692f;
// The onset sum forgets with this half-life (seconds).
constexpr float kOnsetMemory = 2.0f;
// The grid's clock runs (1 − pull × error) times as fast; its error shrinks
// with a time constant of about a period over the pull.
constexpr float kPull = 2.0f;
constexpr float kLargestCorrection = 0.25f;
// Onsets reach the envelope about this long after the attack (seconds): the
// attack must be inside the window's middle before the flux sees it.
constexpr float kOnsetDelay = 0.02f;

}  // namespace

void BeatTracker::step(float strength, float blockSeconds, const TempoEstimator& tempo,
                       const KnownBeat& known) {
    const float keep = halfLifeDecay(blockSeconds, 0.3f);
    smoothed_ = (1.0f - keep) * strength + keep * smoothed_;
    // Envelopes of the strength that fade with a half-life of a second and
    // move halfway towards each value beyond them.
    const float fade = halfLifeDecay(blockSeconds, 1.0f);
    upper_ *= fade;
    lower_ *= fade;
    if (upper_ > strength) upper_ = (upper_ + strength) / 2.0f;
    if (lower_ < strength) lower_ = (lower_ + strength) / 2.0f;

    bool beat;
    if (known.tempo >= kSlowest && std::isfinite(known.tempo) && std::isfinite(known.sinceBeat)) {
        beat = followKnownBeat(known, blockSeconds);
    } else {
        if (tempo.confidence() > TempoEstimator::kTrusted && tempo.period() > 0.0f)
            followPeriod(tempo.period() * blockSeconds);
        advanceGrid(blockSeconds, tempo);
        beat = sinceBeat_ > period_;
        if (beat) sinceBeat_ -= period_;
    }
    if (beat) ++beats_;
    advanceOscillator(blockSeconds, beat);
}

// The grid is the source's beat, or every second or fourth of its beats when
// they come too fast: of the positions that the source's beat allows, the one
// that continues the grid. Time running backwards is the next beat.
bool BeatTracker::followKnownBeat(const KnownBeat& known, float blockSeconds) {
    const double sourcePeriod = 60.0 / known.tempo;
    double period = sourcePeriod;
    while (period < kShortestPeriod)
        period *= 2.0;
    double since = std::fmod(known.sinceBeat, sourcePeriod);
    if (since < 0.0) since += sourcePeriod;
    const double expected = std::fmod(static_cast<double>(sinceBeat_) + blockSeconds, period);
    double best = since;
    for (double candidate = since; candidate < period; candidate += sourcePeriod) {
        if (std::abs(std::remainder(candidate - expected, period)) <
            std::abs(std::remainder(best - expected, period)))
            best = candidate;
    }
    const bool beat = best < sinceBeat_;
    period_ = static_cast<float>(period);
    sinceBeat_ = static_cast<float>(best);
    return beat;
}

void BeatTracker::followPeriod(float period) {
    // Keep the position within the beat when the tempo changes.
    sinceBeat_ *= period / period_;
    period_ = period;
}

// The recent onsets, each as a vector at the angle of its position on the
// grid extended back in time, weighted by age; the angle of the sum.
float BeatTracker::measurePhase(float blockSeconds, const TempoEstimator& tempo) const {
    if (!(blockSeconds > 0.0f)) return 0.0f;
    const std::complex<float> step = std::polar(1.0f, -kTwoPi * blockSeconds / period_);
    const float fade = halfLifeDecay(blockSeconds, kOnsetMemory);
    std::complex<float> angle = std::polar(1.0f, kTwoPi * (sinceBeat_ - kOnsetDelay) / period_);
    std::complex<float> sum = 0.0f;
    float weight = 1.0f;
    for (int age = 0; age < TempoEstimator::kLags; ++age) {
        sum += (weight * tempo.onset(age)) * angle;
        angle *= step;
        weight *= fade;
    }
    return std::abs(sum) > 0.0f ? std::arg(sum) / kTwoPi : 0.0f;
}

void BeatTracker::advanceGrid(float blockSeconds, const TempoEstimator& tempo) {
    sinceBeat_ += blockSeconds;
    phaseError_ = measurePhase(blockSeconds, tempo);
    // The grid's clock runs slower while the onsets fall after its beats and
    // faster while they fall before.
    const float correction =
        std::clamp(kPull * phaseError_, -kLargestCorrection, kLargestCorrection);
    sinceBeat_ -= blockSeconds * correction;
}

void BeatTracker::advanceOscillator(float blockSeconds, bool beat) {
    phase_ += rate_ * blockSeconds;
    phase_ -= std::floor(phase_);
    // On a beat (or before any time has passed): aim the phase at the next
    // whole number, one period from now; a phase already past a quarter skips
    // to the one after.
    if (beat || rate_ == 0.0f) rate_ = (phase_ < 0.25f ? 1.0f - phase_ : 2.0f - phase_) / period_;
}
