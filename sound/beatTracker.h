// Beat tracking: a grid of beats one period apart, kept in phase with the
// music, plus the smoothed strength and its envelopes that scenes also move to.
//
// A source that makes its own beat (the synthetic one) says where it is, and
// the grid follows it. For real sound the period comes from the tempo
// estimate while it is confident and is kept otherwise, so the beat carries
// on through a quiet bar (one second at the start and in silence). The phase
// comes from where the recent onsets fall on the grid extended back in time:
// each onset is a vector at the angle of its position within the beat,
// weighted by its strength and fading with age, and the angle of their sum
// says how far the grid is off. The grid's clock then runs a little slower or
// faster until it sits on them. Loud onsets pull hardest; weaker ones halfway
// between the beats (hi-hats on the off-beat) pull the other way and lose.
//
// A beat happens when the time since the last one exceeds the period; the
// oscillator is then retuned so that its phase reaches a whole number when the
// next beat is due.
#pragma once

#include "sound/soundSource.h"
#include "sound/tempoEstimator.h"

class BeatTracker {
public:
    static constexpr float kStartPeriod = 1.0f;  // seconds, also the beat in silence
    // Beats never come faster than about three a second: faster music is
    // followed at half its tempo (every other beat), so that a scene that
    // flashes on the beat stays below three flashes a second. (The tempo
    // estimate has the same bound.)
    static constexpr float kShortestPeriod = 0.32f;  // seconds
    // A known tempo below this (beats per minute) is not followed.
    static constexpr float kSlowest = 30.0f;

    // One block: its beat strength and the visual time it stands for, after
    // `tempo` has taken the block's onset. A source that makes its own beat
    // says where it is in `known` (as of the end of this block), which then
    // wins over the estimate and the onsets.
    void step(float strength, float blockSeconds, const TempoEstimator& tempo,
              const KnownBeat& known = KnownBeat());

    float smoothed() const { return smoothed_; }
    float sinceBeat() const { return sinceBeat_; }
    float period() const { return period_; }
    // Beats per minute of the period.
    float tempo() const { return 60.0f / period_; }
    float position() const { return sinceBeat_ / period_; }
    float upper() const { return upper_; }
    float lower() const { return lower_; }
    float phase() const { return phase_; }
    float rate() const { return rate_; }
    // Beats since construction.
    int beats() const { return beats_; }
    // Where the recent onsets fall relative to the grid, in beats (−0.5…0.5]:
    // 0 when the grid sits on them, as of the last step.
    float phaseError() const { return phaseError_; }

private:
    bool followKnownBeat(const KnownBeat& known, float blockSeconds);
    void followPeriod(float period);
    float measurePhase(float blockSeconds, const TempoEstimator& tempo) const;
    void advanceGrid(float blockSeconds, const TempoEstimator& tempo);
    void advanceOscillator(float blockSeconds, bool beat);

    float smoothed_ = 0.0f;
    float sinceBeat_ = 0.0f;
    float period_ = kStartPeriod;
    float upper_ = 0.0f;
    float lower_ = 0.0f;
    float phaseError_ = 0.0f;
    float phase_ = 0.0f;
    float rate_ = 0.0f;
    int beats_ = 0;
};
