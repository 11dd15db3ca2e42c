// Beat tracking on the beat strength: a beat is taken when the strength, after
// having dipped below its smoothed value between the two envelopes, rises to
// meet it again, or at the latest one second after the previous beat. The
// period follows the upper median of the last ten accepted intervals, and an
// oscillator is retuned on each accepted beat so that its phase reaches a whole
// number when the next beat is due.
#pragma once

#include <array>

class BeatTracker {
public:
    static constexpr int kIntervals = 10;
    static constexpr float kShortestInterval = 0.33f;  // seconds
    static constexpr float kLongestWait = 1.0f;        // a beat is forced after this

    BeatTracker();

    // One block: the block's beat strength and the visual time it stands for.
    void step(float strength, float blockSeconds);

    float smoothed() const { return smoothed_; }
    float sinceBeat() const { return sinceBeat_; }
    float period() const { return period_; }
    float position() const { return sinceBeat_ / period_; }
    float upper() const { return upper_; }
    float lower() const { return lower_; }
    float phase() const { return phase_; }
    float rate() const { return rate_; }
    // Accepted beats since construction (forced ones included).
    int beats() const { return beats_; }
    const std::array<float, kIntervals>& intervals() const { return intervals_; }

private:
    bool detect(float strength);
    void accept();
    void advanceOscillator(float blockSeconds);

    float smoothed_ = 0.0f;
    float sinceBeat_ = 0.0f;
    float period_ = 1.0f;
    std::array<float, kIntervals> intervals_;
    int newestInterval_ = 0;
    float upper_ = 0.0f;
    float lower_ = 0.0f;
    bool upperArmed_ = false;
    bool lowerArmed_ = false;
    bool smoothedWasAbove_ = false;
    float phase_ = 0.0f;
    float rate_ = 0.0f;
    int beats_ = 0;
};
