#include "sound/beatTracker.h"

#include <algorithm>
#include <cmath>

#include "sound/decay.h"

BeatTracker::BeatTracker() {
    intervals_.fill(1.0f);
}

void BeatTracker::step(float strength, float blockSeconds) {
    const float keep = halfLifeDecay(blockSeconds, 0.3f);
    smoothed_ = (1.0f - keep) * strength + keep * smoothed_;

    sinceBeat_ += blockSeconds;
    const float fade = halfLifeDecay(blockSeconds, 1.0f);
    upper_ *= fade;
    lower_ *= fade;
    if (upper_ > strength) {
        upperArmed_ = true;
        upper_ = (upper_ + strength) / 2.0f;
    }
    if (lower_ < strength) {
        lowerArmed_ = true;
        lower_ = (lower_ + strength) / 2.0f;
    }

    if (detect(strength) || sinceBeat_ > kLongestWait) {
        if (sinceBeat_ >= kShortestInterval) accept();
        upperArmed_ = false;
        lowerArmed_ = false;
    }
    smoothedWasAbove_ = smoothed_ > strength;
    advanceOscillator(blockSeconds);
}

bool BeatTracker::detect(float strength) {
    return upperArmed_ && lowerArmed_ && smoothedWasAbove_ && !(smoothed_ > strength);
}

void BeatTracker::accept() {
    newestInterval_ = (newestInterval_ + 1) % kIntervals;
    intervals_[newestInterval_] = sinceBeat_;
    std::array<float, kIntervals> sorted = intervals_;
    std::nth_element(sorted.begin(), sorted.begin() + kIntervals / 2, sorted.end());
    period_ = 0.8f * period_ + 0.2f * sorted[kIntervals / 2];  // the upper median
    sinceBeat_ = 0.0f;
    ++beats_;
}

void BeatTracker::advanceOscillator(float blockSeconds) {
    phase_ += rate_ * blockSeconds;
    phase_ -= std::floor(phase_);
    // A beat was just accepted (or no time has passed yet): aim the phase at
    // the next whole number, one period from now; a phase already past a
    // quarter skips to the one after.
    if (sinceBeat_ == 0.0f) rate_ = (phase_ < 0.25f ? 1.0f - phase_ : 2.0f - phase_) / period_;
}
