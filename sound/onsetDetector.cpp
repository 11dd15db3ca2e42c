#include "sound/onsetDetector.h"

OnsetDetector::OnsetDetector(int firstBin, int lastBin) : first_(firstBin), last_(lastBin) {}

int OnsetDetector::firstBin(int detector) {
    return 450 * detector / 8 + 20;
}
int OnsetDetector::lastBin(int detector) {
    return 450 * (detector + 1) / 8 + 20;
}

float OnsetDetector::process(const float* spectrumSum) {
    float mean = 0.0f;
    for (int n = first_; n <= last_; ++n)
        mean += spectrumSum[n];
    mean /= static_cast<float>(last_ - first_ + 1);
    const float c = mean - average_;
    average_ = 0.95f * average_ + 0.05f * mean;

    newest_ = (newest_ + 1) & (kOnsetHistory - 1);
    onsets_[newest_] = c;

    // c(t − 512) and everything older than it leave the window now.
    const double leaving = onset(kOnsetLags);
    double output = 0.0;
    for (int lag = 0; lag < kOnsetLags; ++lag) {
        lagSums_[lag] +=
            (static_cast<double>(c) * onset(lag) - leaving * onset(kOnsetLags + lag)) / kOnsetLags;
        output += lagSums_[lag] * onset(lag);
    }
    return static_cast<float>(output);
}
