// Prints what analysing one second of audio costs, for the synthetic click
// track and for captured music (a drum loop handed to a capture source the
// way SDL's callback hands it sound), and its ratio to two peers timed in the
// same run on the same blocks: producing the synthetic click track, and
// transforming both channels' 512-sample windows with a textbook recursive
// FFT (std::complex, fresh vectors at every level).
//
// Then the latency at 60 frames per second from a block's arrival to the end
// of the frame whose analysis takes it: for capture, a thread delivers the
// loop in real time in SDL-sized buffers while the frames run on the clock;
// for the synthetic beat, whose blocks are made by the frame itself, in
// frames of visual time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "app/random.h"
#include "sound/captureSource.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"
#include "tests/sound/test_music.h"

namespace {

constexpr int kSeconds = 30;
constexpr int kFrameMs = 16;
constexpr int kRounds = 5;
constexpr double kPi = 3.14159265358979323846;

// Hands out copies of recorded blocks at the visual pace, like the synthetic
// source but without its synthesis cost.
class ReplaySource : public SoundSource {
public:
    explicit ReplaySource(const std::vector<SoundBlock>& blocks)
        : SoundSource(1 << 16), blocks_(blocks) {}
    void produce(int milliseconds) override {
        target_ += milliseconds * 1000;
        while (produced_ + kBlockMicroseconds < target_ && next_ < blocks_.size()) {
            auto block = std::make_unique<SoundBlock>(blocks_[next_++]);
            appendBlock(std::move(block));
            produced_ += kBlockMicroseconds;
        }
    }

private:
    const std::vector<SoundBlock>& blocks_;
    size_t next_ = 0;
    int64_t target_ = 0;
    int64_t produced_ = 0;
};

template <typename Work>
double bestSeconds(Work work) {
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count());
    }
    return best;
}

std::vector<SoundBlock> produceBlocks() {
    visSeedRandom(1);
    SyntheticBeatSource source(140.0);
    std::vector<SoundBlock> blocks;
    for (int frame = 0; frame < kSeconds * 1000 / kFrameMs; ++frame) {
        source.produce(kFrameMs);
        while (auto block = source.takeBlock())
            blocks.push_back(*block);
    }
    return blocks;
}

std::vector<std::complex<double>> naiveFft(const std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    if (n == 1) return x;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (size_t i = 0; i < n / 2; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    const auto e = naiveFft(even);
    const auto o = naiveFft(odd);
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n / 2; ++k) {
        const auto t = std::polar(1.0, -2.0 * kPi * double(k) / double(n)) * o[k];
        out[k] = e[k] + t;
        out[k + n / 2] = e[k] - t;
    }
    return out;
}

double naiveTransforms(const std::vector<SoundBlock>& blocks) {
    std::vector<std::complex<double>> left(512), right(512);
    double sink = 0.0;
    for (const SoundBlock& block : blocks) {
        std::copy(left.begin() + 256, left.end(), left.begin());
        std::copy(right.begin() + 256, right.end(), right.begin());
        for (int i = 0; i < kBlockFrames; ++i) {
            left[256 + i] = block.left[i] / 32768.0;
            right[256 + i] = block.right[i] / 32768.0;
        }
        sink += std::abs(naiveFft(left)[3]) + std::abs(naiveFft(right)[3]);
    }
    return sink;
}

// A capture source without a device: the benchmark is SDL's callback.
class FedCapture : public CaptureSource {
public:
    FedCapture() = default;
};

std::vector<float> drumLoop(double seconds) {
    music::Loop loop;
    loop.bpm = 128.0;
    loop.seconds = seconds;
    const std::vector<double> samples = music::render(loop, kSampleRate);
    return std::vector<float>(samples.begin(), samples.end());
}

// Analyses the loop as captured: each frame the callback's buffers that fit
// in it arrive, then the frame analyses.
float analyseCaptured(const std::vector<float>& loop) {
    FedCapture capture;
    SoundAnalyser analyser;
    const float timePass = kFrameMs / 1000.0f;
    const size_t perFrame = kSampleRate * kFrameMs / 1000;
    size_t at = 0;
    for (int frame = 0; frame < kSeconds * 1000 / kFrameMs + 8; ++frame) {
        const size_t end = std::min(loop.size(), at + perFrame);
        for (; at < end; at += CaptureSource::kCallbackFrames) {
            const size_t count = std::min<size_t>(CaptureSource::kCallbackFrames, end - at);
            capture.deliver(loop.data() + at, static_cast<int>(count));
        }
        analyser.analyse(capture, timePass, timePass);
    }
    return analyser.value(108);
}

struct Latency {
    double mean = 0.0;
    double worst = 0.0;
    size_t blocks = 0;
};

Latency summarise(const std::vector<double>& latencies) {
    Latency result;
    for (double l : latencies) {
        result.mean += l;
        result.worst = std::max(result.worst, l);
    }
    result.blocks = latencies.size();
    if (!latencies.empty()) result.mean /= static_cast<double>(latencies.size());
    return result;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Real time: a thread delivers 512-frame buffers on the audio clock and notes
// when each block became complete; the frames run at 60 per second.
Latency captureLatency(const std::vector<float>& loop, double seconds) {
    FedCapture capture;
    SoundAnalyser analyser;
    const size_t blocks = static_cast<size_t>(seconds * kSampleRate) / kBlockFrames;
    std::vector<double> arrival(blocks + 2, 0.0);
    std::atomic<size_t> arrived{0};
    const Clock::time_point start = Clock::now();
    std::thread callback([&] {
        size_t at = 0;
        while (at + CaptureSource::kCallbackFrames <= blocks * kBlockFrames) {
            const double due = double(at + CaptureSource::kCallbackFrames) / kSampleRate;
            std::this_thread::sleep_until(start + std::chrono::duration<double>(due));
            capture.deliver(loop.data() + at, CaptureSource::kCallbackFrames);
            at += CaptureSource::kCallbackFrames;
            const size_t complete = at / kBlockFrames;
            const double now = secondsSince(start);
            for (size_t b = arrived.load(); b < complete; ++b)
                arrival[b] = now;
            arrived.store(complete, std::memory_order_release);
        }
    });
    std::vector<double> latencies;
    size_t seen = 0;
    const double frame = 1.0 / 60.0;
    for (int f = 1; f * frame < seconds; ++f) {
        std::this_thread::sleep_until(start + std::chrono::duration<double>(f * frame));
        analyser.analyse(capture, float(frame), float(frame));
        const size_t taken = capture.appendedBlocks() - capture.queuedBlocks();
        const double now = secondsSince(start);
        while (arrived.load(std::memory_order_acquire) < taken) {
        }
        for (; seen < taken; ++seen)
            latencies.push_back(now - arrival[seen]);
    }
    callback.join();
    return summarise(latencies);
}

// Visual time: the synthetic source makes the frame's blocks in produce(),
// so a block's latency is the frames it waits in the queue.
Latency syntheticLatency(double seconds) {
    SyntheticBeatSource source(128.0);
    SoundAnalyser analyser;
    MillisecondCarry carry;
    const double frame = 1.0 / 60.0;
    std::vector<double> made;  // visual time each block was made at
    std::vector<double> latencies;
    size_t seen = 0;
    for (int f = 1; f * frame < seconds; ++f) {
        const double now = f * frame;
        source.produce(carry.take(frame));
        while (made.size() < source.appendedBlocks())
            made.push_back(now - frame);  // made at the frame's start
        analyser.analyse(source, float(frame), float(frame));
        const size_t taken = source.appendedBlocks() - source.queuedBlocks();
        for (; seen < taken; ++seen)
            latencies.push_back(now - made[seen]);
    }
    return summarise(latencies);
}

}  // namespace

int main() {
    const std::vector<SoundBlock> blocks = produceBlocks();
    float check = 0.0f;
    double sink = 0.0;

    const double analyse = bestSeconds([&] {
        ReplaySource source(blocks);
        SoundAnalyser analyser;
        const float timePass = kFrameMs / 1000.0f;
        for (int frame = 0; frame < kSeconds * 1000 / kFrameMs + 8; ++frame) {
            source.produce(kFrameMs);
            analyser.analyse(source, timePass, timePass);
        }
        check += analyser.value(108);
    });
    const double produce = bestSeconds([&] {
        SyntheticBeatSource source(140.0);
        for (int frame = 0; frame < kSeconds * 1000 / kFrameMs; ++frame) {
            source.produce(kFrameMs);
            while (auto block = source.takeBlock())
                sink += block->left[7];
        }
    });
    const double naive = bestSeconds([&] { sink += naiveTransforms(blocks); });
    const std::vector<float> loop = drumLoop(kSeconds + 1.0);
    const double captured = bestSeconds([&] { check += analyseCaptured(loop); });

    auto perSecond = [](double seconds) { return seconds * 1000.0 / kSeconds; };
    std::printf("sound analysis of %d s of audio (%zu blocks), best of %d runs\n", kSeconds,
                blocks.size(), kRounds);
    std::printf("  analyser, synthetic beat    %8.3f ms per second of audio\n", perSecond(analyse));
    std::printf("  analyser, captured music    %8.3f ms per second of audio\n",
                perSecond(captured));
    std::printf("  peer: synthesising blocks   %8.3f ms per second of audio\n", perSecond(produce));
    std::printf("  peer: recursive FFT, 2 ch   %8.3f ms per second of audio\n", perSecond(naive));
    std::printf("  ratio analyser / synthesis  %8.2f\n", analyse / produce);
    std::printf("  ratio analyser / naive FFT  %8.2f\n", analyse / naive);
    std::printf("  (checksum %g)\n", double(check) + sink * 1e-12);

    constexpr double kLatencySeconds = 6.0;
    const Latency live = captureLatency(loop, kLatencySeconds);
    const Latency made = syntheticLatency(kLatencySeconds);
    std::printf("latency from a block's arrival to the frame that analyses it, 60 frames/s\n");
    std::printf("  captured music (real time)  mean %6.1f ms, worst %6.1f ms (%zu blocks)\n",
                live.mean * 1000, live.worst * 1000, live.blocks);
    std::printf("  synthetic beat (visual)     mean %6.1f ms, worst %6.1f ms (%zu blocks)\n",
                made.mean * 1000, made.worst * 1000, made.blocks);
    std::printf("  (capture adds SDL's buffer of %d frames, %.1f ms, before a block arrives)\n",
                CaptureSource::kCallbackFrames,
                1000.0 * CaptureSource::kCallbackFrames / kSampleRate);
    return 0;
}
