#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "app/random.h"
#include "sound/fft.h"
#include "sound/logSpectrum.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Against the transform's definition, on noise, for a small and the real size.
TEST(Fft, MatchesTheDirectSumOnNoise) {
    visSeedRandom(5);
    for (int bits : {3, 9}) {
        RadixTwoFft fft(bits);
        const int n = fft.size();
        std::vector<float> re(n), im(n);
        std::vector<std::complex<double>> input(n);
        for (int i = 0; i < n; ++i) {
            re[i] = visRand() / 16384.0f - 1.0f;
            im[i] = visRand() / 16384.0f - 1.0f;
            input[i] = {re[i], im[i]};
        }
        fft.transform(re.data(), im.data());
        for (int k = 0; k < n; ++k) {
            std::complex<double> sum = 0.0;
            for (int i = 0; i < n; ++i)
                sum += input[i] * std::polar(1.0, -2.0 * kPi * k * i / n);
            ASSERT_NEAR(re[k], sum.real(), 2e-3) << "size " << n << " bin " << k;
            ASSERT_NEAR(im[k], sum.imag(), 2e-3) << "size " << n << " bin " << k;
        }
    }
}

// A cosine of amplitude A in bin m gives |F| = 256A in bins m and 512 - m, so
// X = 4A there; T(k) pairs bin k with bin 511 - k, which is bin m for k = m - 1.
TEST(FoldAndTilt, ScalesFoldsAndLiftsHighBins) {
    RadixTwoFft fft(9);
    std::vector<float> re(512), im(512, 0.0f);
    const float amplitude = 0.25f;
    for (int n = 0; n < 512; ++n)
        re[n] = amplitude * std::cos(2.0 * kPi * 20 * n / 512);
    fft.transform(re.data(), im.data());
    float tilted[kTiltedBins];
    foldAndTilt(re.data(), im.data(), tilted);
    for (int k = 0; k < kTiltedBins; ++k) {
        float expected = 0.0f;
        if (k == 20) expected = 0.1f * 21 * 4 * amplitude;
        if (k == 19) expected = 0.1f * 20 * 4 * amplitude;
        ASSERT_NEAR(tilted[k], expected, 1e-4) << k;
    }
}

}  // namespace
