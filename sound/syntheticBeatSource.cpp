#include "sound/syntheticBeatSource.h"

#include <algorithm>
#include <cmath>

#include "app/random.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The beat period in whole microseconds. At absurd tempi the period would
// truncate to 0 and divide by zero, or overflow; keep it within [1 µs, ~31 years].
double beatPeriod(float tempo) {
    double period = std::floor(60000000.0 / tempo);
    return std::min(std::max(period, 1.0), 1e15);
}

// cos(2π·cycles·g/d) reduced modulo the period first, so that hours of
// produced time keep full precision.
double pulse(double g, double period, double cycles) {
    double cosine = std::cos(2.0 * kPi * cycles * std::fmod(g, period) / period);
    return (cosine + 1.0) / 2.0;
}

}  // namespace

SyntheticBeatSource::SyntheticBeatSource(double beatsPerMinute)
    : tempo_(static_cast<float>(beatsPerMinute)) {}

void SyntheticBeatSource::setTempo(double beatsPerMinute) {
    tempo_ = static_cast<float>(beatsPerMinute);
}

KnownBeat SyntheticBeatSource::knownBeat() const {
    KnownBeat beat;
    if (!(tempo_ > 0.0f)) return beat;
    beat.tempo = tempo_;
    beat.sinceBeat = std::fmod(static_cast<double>(producedTime_), beatPeriod(tempo_)) / 1e6;
    return beat;
}

void SyntheticBeatSource::produce(int milliseconds) {
    if (milliseconds > 0) targetTime_ += static_cast<int64_t>(milliseconds) * 1000;
    while (producedTime_ + kBlockMicroseconds < targetTime_) {
        auto block = std::make_unique<SoundBlock>();  // value-initialised: silent
        if (tempo_ > 0) synthesise(*block);
        appendBlock(std::move(block));
        producedTime_ += kBlockMicroseconds;
    }
}

void SyntheticBeatSource::synthesise(SoundBlock& block) const {
    const double period = beatPeriod(tempo_);
    for (int i = 0; i < kBlockFrames; ++i) {
        const int64_t g = static_cast<int64_t>(i) * 1000000 / kSampleRate + producedTime_;
        const double gd = static_cast<double>(g);
        const double quarter = pulse(gd, period, 4.0);  // four ticks per beat
        const double whole = pulse(gd, period, 1.0);    // one thump per beat
        const double noise = visRand() * 0.125 / 32767.0;
        const double thump = std::sin(2.0 * kPi * static_cast<double>(g % 10000) / 10000.0);
        const double value = (noise * quarter * quarter + thump * whole * whole) * 16384.0;
        const int16_t sample = static_cast<int16_t>(static_cast<int>(value));
        block.left[i] = sample;
        block.right[i] = sample;
    }
}
