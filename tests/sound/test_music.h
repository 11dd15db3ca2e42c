// Generated test music with known beats, and writers for it.
//
// A click track: a short noisy blip of 1 kHz on every beat.
//
// A drum loop: kick drum on beats 1 and 3 (a falling sine), snare on 2 and 4
// (noise with a tone), closed hi-hats on every eighth (short high noise),
// over a steady background of noise and a low tone that changes note every
// bar. The beats are every quarter note, from time 0.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace music {

constexpr double kPi = 3.14159265358979323846;

// Noise as a function of time rather than of the sample index, so that the
// same music rendered at any rate is the same sound: a table of 2^16 white
// values at 44 100 Hz, low-passed below 9 kHz (so that 22 050 Hz still holds
// all of it) and read with linear interpolation. It repeats every 1.49 s.
class Noise {
public:
    static constexpr int kSize = 1 << 16;
    static constexpr double kRate = 44100.0;

    explicit Noise(uint32_t seed) : table_(kSize) {
        uint32_t state = seed * 2654435761u + 1u;
        std::vector<double> white(kSize);
        for (double& v : white) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            v = static_cast<double>(state) / 2147483648.0 - 1.0;
        }
        // A windowed-sinc low-pass, applied around the circle.
        constexpr int kTaps = 31;
        const double cutoff = 9000.0 / kRate;
        double taps[2 * kTaps + 1];
        double sum = 0.0;
        for (int k = -kTaps; k <= kTaps; ++k) {
            const double sinc =
                k == 0 ? 2.0 * cutoff : std::sin(2.0 * kPi * cutoff * k) / (kPi * k);
            const double window = 0.5 + 0.5 * std::cos(kPi * k / (kTaps + 1));
            taps[k + kTaps] = sinc * window;
            sum += taps[k + kTaps];
        }
        for (int i = 0; i < kSize; ++i) {
            double v = 0.0;
            for (int k = -kTaps; k <= kTaps; ++k)
                v += taps[k + kTaps] / sum * white[(i + k + kSize) % kSize];
            table_[i] = 1.7 * v;  // about the loudness of the white noise
        }
    }
    // Roughly in [-1, 1].
    double at(double seconds) const {
        const double position = seconds * kRate;
        const double base = std::floor(position);
        const double fraction = position - base;
        const int i = static_cast<int>((static_cast<int64_t>(base) % kSize + kSize) % kSize);
        return table_[i] + (table_[(i + 1) % kSize] - table_[i]) * fraction;
    }

private:
    std::vector<double> table_;
};

struct Loop {
    double bpm = 120.0;
    double seconds = 20.0;
    double hats = 0.12;        // hi-hat loudness
    double background = 0.03;  // noise floor loudness
    double tone = 0.12;        // background tone loudness
    uint32_t seed = 1;
};

// Mono samples in [-1, 1] at `rate`.
inline std::vector<double> render(const Loop& loop, int rate) {
    const size_t count = static_cast<size_t>(loop.seconds * rate);
    std::vector<double> out(count, 0.0);
    const Noise noise(loop.seed);
    const double beat = 60.0 / loop.bpm;
    const double notes[4] = {55.0, 65.41, 49.0, 73.42};
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double eighths = t / (beat / 2.0);
        const int eighth = static_cast<int>(eighths);
        const double sinceEighth = (eighths - eighth) * beat / 2.0;
        const int quarter = eighth / 2;
        const double sinceQuarter = t - quarter * beat;
        const double white = noise.at(t);
        // The noise less itself a moment ago: mostly its upper octaves.
        const double high = white - noise.at(t - 1.0 / 11025.0);

        double s = 0.0;
        if (quarter % 2 == 0) {  // kick: 110 Hz falling to 45 Hz within 30 ms
            const double sweep = 65.0 * 0.03 * (1.0 - std::exp(-sinceQuarter / 0.03));
            const double phase = 2.0 * kPi * (45.0 * sinceQuarter + sweep);
            s += 0.8 * std::sin(phase) * std::exp(-sinceQuarter / 0.12);
        } else {  // snare: noise and a 190 Hz tone
            s += 0.35 * white * std::exp(-sinceQuarter / 0.06);
            s += 0.3 * std::sin(2.0 * kPi * 190.0 * sinceQuarter) * std::exp(-sinceQuarter / 0.08);
        }
        s += loop.hats * high * std::exp(-sinceEighth / 0.015);
        s += loop.background * white;
        const double note = notes[(quarter / 4) % 4];
        s += loop.tone * std::sin(2.0 * kPi * note * t);
        out[i] = std::max(-1.0, std::min(1.0, s));
    }
    return out;
}

// Every beat in [0, seconds).
inline std::vector<double> beatTimes(double bpm, double seconds) {
    std::vector<double> times;
    const double beat = 60.0 / bpm;
    for (int k = 0; k * beat < seconds; ++k)
        times.push_back(k * beat);
    return times;
}

// Clicks on every beat for `seconds`, then `silence` seconds of zeros.
inline std::vector<double> clickTrack(double bpm, double seconds, double silence, int rate) {
    std::vector<double> out(static_cast<size_t>((seconds + silence) * rate), 0.0);
    const Noise noise(static_cast<uint32_t>(bpm));
    const double beat = 60.0 / bpm;
    for (size_t i = 0; i < static_cast<size_t>(seconds * rate); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double since = t - std::floor(t / beat) * beat;
        if (since > 0.05) continue;
        const double blip = 0.6 * std::sin(2.0 * kPi * 1000.0 * since) + 0.2 * noise.at(t);
        out[i] = blip * std::exp(-since / 0.01);
    }
    return out;
}

// Native-endian 32-bit floats, as SDL's disk driver reads them.
inline bool writeRawFloats(const std::string& path, const std::vector<double>& samples) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    for (double s : samples) {
        const float f = static_cast<float>(s);
        std::fwrite(&f, sizeof f, 1, file);
    }
    return std::fclose(file) == 0;
}

// Writes 16-bit PCM; `channels` interleaved copies of the signal, the right
// one scaled by `rightGain` so that a stereo file is not two equal halves.
inline bool writeWav(const std::string& path, const std::vector<double>& samples, int rate,
                     int channels, double rightGain = 1.0) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    auto u32 = [&](uint32_t v) {
        const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16),
                                    uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, file);
    };
    auto u16 = [&](uint16_t v) {
        const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
        std::fwrite(b, 1, 2, file);
    };
    const uint32_t data = static_cast<uint32_t>(samples.size() * channels * 2);
    std::fwrite("RIFF", 1, 4, file);
    u32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, file);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * 2));
    u16(static_cast<uint16_t>(channels * 2));
    u16(16);
    std::fwrite("data", 1, 4, file);
    u32(data);
    for (double s : samples) {
        for (int c = 0; c < channels; ++c) {
            const double v = (c == 1 ? rightGain : 1.0) * s * 32767.0;
            u16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v))));
        }
    }
    return std::fclose(file) == 0;
}

}  // namespace music
