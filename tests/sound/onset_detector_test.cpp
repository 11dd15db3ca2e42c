#include <gtest/gtest.h>

#include <vector>

#include "app/random.h"
#include "sound/logSpectrum.h"
#include "sound/onsetDetector.h"

namespace {

TEST(OnsetDetector, BandsSpanBins20To470) {
    const int expected[9] = {20, 76, 132, 188, 245, 301, 357, 413, 470};
    for (int k = 0; k < kOnsetDetectors; ++k) {
        EXPECT_EQ(OnsetDetector::firstBin(k), expected[k]) << k;
        EXPECT_EQ(OnsetDetector::lastBin(k), expected[k + 1]) << k;
    }
}

TEST(OnsetDetector, OnsetIsTheRiseAboveTheRunningAverage) {
    OnsetDetector detector(10, 13);
    std::vector<float> spectrum(kSpectrumBins, 100.0f);  // outside the range: ignored
    for (int n = 10; n <= 13; ++n)
        spectrum[n] = static_cast<float>(n);  // mean 11.5
    detector.process(spectrum.data());
    EXPECT_FLOAT_EQ(detector.onset(0), 11.5f);
    detector.process(spectrum.data());
    EXPECT_FLOAT_EQ(detector.onset(0), 11.5f * 0.95f);
    EXPECT_FLOAT_EQ(detector.onset(1), 11.5f);

    // A single onset of c: lag 0 holds c²/512 and the output is that times c.
    OnsetDetector fresh(10, 13);
    const float output = fresh.process(spectrum.data());
    EXPECT_NEAR(fresh.lagSum(0), 11.5 * 11.5 / 512, 1e-9);
    EXPECT_NEAR(output, 11.5 * 11.5 * 11.5 / 512, 1e-4);
    EXPECT_EQ(fresh.lagSum(1), 0.0);
}

// The incremental lag sums must equal the autocorrelation of the last 512
// onsets computed from scratch, long after the window started sliding.
TEST(OnsetDetector, IncrementalSumsMatchDirectAutocorrelation) {
    visSeedRandom(11);
    OnsetDetector detector(20, 76);
    std::vector<float> spectrum(kSpectrumBins);
    float output = 0.0f;
    for (int block = 0; block < 1700; ++block) {
        for (float& v : spectrum)
            v = visRand() / 32768.0f;
        if (block % 9 == 0) {
            for (float& v : spectrum)
                v += 2.0f;  // a regular pulse
        }
        output = detector.process(spectrum.data());
    }
    double directOutput = 0.0;
    for (int lag = 0; lag < kOnsetLags; lag += 1) {
        double direct = 0.0;
        for (int age = 0; age < kOnsetLags; ++age) {
            direct += static_cast<double>(detector.onset(age)) * detector.onset(age + lag);
        }
        direct /= kOnsetLags;
        ASSERT_NEAR(detector.lagSum(lag), direct, 1e-6 + 1e-6 * std::abs(direct)) << lag;
        directOutput += direct * detector.onset(lag);
    }
    EXPECT_NEAR(output, directOutput, 1e-4 * std::abs(directOutput) + 1e-6);
    // The pulse repeats every 9 blocks, so lag 9 correlates far more than lag 4.
    EXPECT_GT(detector.lagSum(9), 4.0 * std::abs(detector.lagSum(4)));
}

}  // namespace
