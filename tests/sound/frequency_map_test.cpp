#include <gtest/gtest.h>

#include <vector>

#include "sound/bands.h"
#include "sound/logSpectrum.h"

namespace {

TEST(LogFrequencyMap, PositionsRiseExponentiallyFromZero) {
    LogFrequencyMap map;
    EXPECT_FLOAT_EQ(map.position(0), 0.0f);
    EXPECT_NEAR(map.position(256), 42.1023f, 1e-3);  // (e^(e/2) - 1)·206/(e^e - 1)
    EXPECT_NEAR(map.position(511), 204.832f, 1e-3);
    for (int n = 1; n < kSpectrumBins; ++n) {
        ASSERT_GT(map.position(n), map.position(n - 1)) << n;
        // Spacing grows: each step is wider than the one before.
        if (n > 1) {
            ASSERT_GT(map.position(n) - map.position(n - 1),
                      map.position(n - 1) - map.position(n - 2))
                << n;
        }
    }
}

TEST(LogFrequencyMap, InterpolatesLinearlyBetweenNeighbours) {
    LogFrequencyMap map;
    std::vector<float> ramp(kTiltedBins), out(kSpectrumBins);
    for (int k = 0; k < kTiltedBins; ++k)
        ramp[k] = 3.0f * k + 1.0f;
    map.apply(ramp.data(), out.data());
    for (int n = 0; n < kSpectrumBins; ++n) {
        ASSERT_NEAR(out[n], 3.0f * map.position(n) + 1.0f, 1e-3) << n;
    }

    // A single raised value is seen only by bins whose position is within one of it.
    std::vector<float> spike(kTiltedBins, 0.0f);
    spike[100] = 1.0f;
    map.apply(spike.data(), out.data());
    for (int n = 0; n < kSpectrumBins; ++n) {
        const float distance = std::abs(map.position(n) - 100.0f);
        if (distance >= 1.0f) {
            ASSERT_EQ(out[n], 0.0f) << n;
        } else {
            ASSERT_NEAR(out[n], 1.0f - distance, 1e-4) << n;
        }
    }
}

TEST(Bands, WeightsAreTheCurvesLoweredByATenth) {
    EXPECT_NEAR(bandWeight(kLowBand, 0), 0.9f, 1e-6);
    EXPECT_NEAR(bandWeight(kLowBand, 128), 0.4f, 1e-6);
    EXPECT_NEAR(bandWeight(kLowBand, 300), -0.1f, 1e-6);
    EXPECT_NEAR(bandWeight(kMidBand, 256), 0.9f, 1e-6);
    EXPECT_NEAR(bandWeight(kMidBand, 100), -0.1f, 1e-6);
    EXPECT_NEAR(bandWeight(kMidBand, 450), -0.1f, 1e-6);
    EXPECT_NEAR(bandWeight(kHighBand, 511), 0.9f, 1e-6);
    EXPECT_NEAR(bandWeight(kHighBand, 256), -0.1f, 1e-6);
    EXPECT_NEAR(bandWeight(kHighBand, 383), 0.4f, 1e-6);
}

TEST(Bands, LevelIsAWeightedMean) {
    std::vector<float> flat(kSpectrumBins, 2.5f);
    for (SoundBand band : {kLowBand, kMidBand, kHighBand}) {
        EXPECT_NEAR(bandLevel(band, flat.data()), 2.5f, 1e-4) << band;
    }

    // Energy only at the top: the low band sees it through its negative tail.
    std::vector<float> top(kSpectrumBins, 0.0f);
    for (int n = 448; n < kSpectrumBins; ++n)
        top[n] = 1.0f;
    EXPECT_LT(bandLevel(kLowBand, top.data()), 0.0f);
    EXPECT_LT(bandLevel(kMidBand, top.data()), 0.0f);
    EXPECT_GT(bandLevel(kHighBand, top.data()), 0.5f);

    std::vector<float> bottom(kSpectrumBins, 0.0f);
    for (int n = 0; n < 64; ++n)
        bottom[n] = 1.0f;
    EXPECT_GT(bandLevel(kLowBand, bottom.data()), 0.5f);
    EXPECT_LT(bandLevel(kHighBand, bottom.data()), 0.0f);
}

}  // namespace
