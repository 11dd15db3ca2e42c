// Prints what analysing one second of audio costs, and its ratio to two peers
// timed in the same run on the same blocks: producing the synthetic click
// track, and transforming both channels' 512-sample windows with a textbook
// recursive FFT (std::complex, fresh vectors at every level).
#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/random.h"
#include "sound/soundAnalyser.h"
#include "sound/syntheticBeatSource.h"

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

    auto perSecond = [](double seconds) { return seconds * 1000.0 / kSeconds; };
    std::printf("sound analysis of %d s of audio (%zu blocks), best of %d runs\n", kSeconds,
                blocks.size(), kRounds);
    std::printf("  analyser                    %8.3f ms per second of audio\n", perSecond(analyse));
    std::printf("  peer: synthesising blocks   %8.3f ms per second of audio\n", perSecond(produce));
    std::printf("  peer: recursive FFT, 2 ch   %8.3f ms per second of audio\n", perSecond(naive));
    std::printf("  ratio analyser / synthesis  %8.2f\n", analyse / produce);
    std::printf("  ratio analyser / naive FFT  %8.2f\n", analyse / naive);
    std::printf("  (checksum %g)\n", double(check) + sink * 1e-12);
    return 0;
}
