// A click track made from a tempo, so that scenes always have a steady beat:
// noise ticks on every quarter beat and a 100 Hz thump on every beat, produced
// at the pace of the visual clock (about 5.8 ms of sound per 5.8 ms of frame
// time). A tempo of 0 or below gives silence.
#pragma once

#include <cstdint>

#include "sound/soundSource.h"

class SyntheticBeatSource : public SoundSource {
public:
    explicit SyntheticBeatSource(double beatsPerMinute = 140.0);

    // Adds the time to the target and makes every whole block that fits
    // below it. Negative times add nothing.
    void produce(int milliseconds) override;
    void setTempo(double beatsPerMinute) override;
    float tempo() const { return tempo_; }
    // While it makes a beat: the tempo, and where the newest block ends in
    // it (each beat is at the top of a thump).
    KnownBeat knownBeat() const override;

    // Microseconds of sound asked for and made so far.
    int64_t targetTime() const { return targetTime_; }
    int64_t producedTime() const { return producedTime_; }

private:
    void synthesise(SoundBlock& block) const;

    float tempo_;
    int64_t targetTime_ = 0;
    int64_t producedTime_ = 0;
};
