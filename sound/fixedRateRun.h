// Steps a source and the analyser at a fixed frame rate, the way the
// visualiser's frame step does (produce, then analyse), and notes where the
// beat tracker placed each beat on the sound's own time axis. The beat tool
// and the tests use it to judge the tracking on sound whose beats are known.
#pragma once

#include <vector>

#include "sound/soundAnalyser.h"
#include "sound/soundSource.h"

class FixedRateRun {
public:
    // Both must outlive the run. A rate that is not positive is taken as 60.
    FixedRateRun(SoundSource& source, SoundAnalyser& analyser, double framesPerSecond);

    // One frame.
    void step();
    // Frames until `seconds` of visual time have passed since the start.
    void runFor(double seconds);

    // Visual seconds since the start.
    double time() const { return static_cast<double>(frames_) / framesPerSecond_; }
    // Seconds of sound up to the end of the newest block the analyser took.
    double analysedSeconds() const;
    // Beat times in seconds of sound, in order: where the tracker put each
    // beat, which for a beat it placed after the fact lies before the block
    // that decided it.
    const std::vector<double>& beats() const { return beats_; }

private:
    SoundSource& source_;
    SoundAnalyser& analyser_;
    double framesPerSecond_;
    long long frames_ = 0;
    MillisecondCarry carry_;
    int lastBeatCount_ = 0;
    std::vector<double> beats_;
};
