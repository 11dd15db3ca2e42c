#include "sound/fixedRateRun.h"

FixedRateRun::FixedRateRun(SoundSource& source, SoundAnalyser& analyser, double framesPerSecond)
    : source_(source),
      analyser_(analyser),
      framesPerSecond_(framesPerSecond > 0.0 ? framesPerSecond : 60.0) {}

void FixedRateRun::step() {
    const double frameSeconds = 1.0 / framesPerSecond_;
    source_.produce(carry_.take(frameSeconds));
    const float timePass = static_cast<float>(frameSeconds);
    analyser_.analyse(source_, timePass, timePass);
    ++frames_;
    // At a few frames per second one frame may hold several beats; all but
    // the newest are placed a period apart before it.
    const int count = analyser_.beat().beats();
    const double newest = analysedSeconds() - analyser_.beat().sinceBeat();
    for (int older = count - lastBeatCount_ - 1; older >= 0; --older)
        beats_.push_back(newest - older * analyser_.beat().period());
    lastBeatCount_ = count;
}

void FixedRateRun::runFor(double seconds) {
    while (time() < seconds)
        step();
}

double FixedRateRun::analysedSeconds() const {
    const double analysed =
        static_cast<double>(source_.appendedBlocks()) - static_cast<double>(source_.queuedBlocks());
    return analysed * kBlockFrames / kSampleRate;
}
