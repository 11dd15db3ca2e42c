#include "sound/fft.h"

#include <cmath>
#include <utility>

#include "app/log.h"

RadixTwoFft::RadixTwoFft(int bits) : size_(1 << bits), reversed_(size_) {
    VIS_ASSERT(bits >= 1 && bits <= 20);
    for (int i = 0; i < size_; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            r |= ((i >> b) & 1) << (bits - 1 - b);
        reversed_[i] = r;
    }
    const double step = 2.0 * 3.14159265358979323846 / size_;
    for (int j = 0; j < size_ / 2; ++j) {
        cosines_.push_back(static_cast<float>(std::cos(step * j)));
        sines_.push_back(static_cast<float>(-std::sin(step * j)));
    }
}

void RadixTwoFft::transform(float* real, float* imaginary) const {
    for (int i = 0; i < size_; ++i) {
        const int r = reversed_[i];
        if (r > i) {
            std::swap(real[i], real[r]);
            std::swap(imaginary[i], imaginary[r]);
        }
    }
    for (int span = 1; span < size_; span *= 2) {
        const int stride = size_ / (2 * span);  // twiddle index step for this pass
        for (int start = 0; start < size_; start += 2 * span) {
            for (int j = 0; j < span; ++j) {
                const float wr = cosines_[j * stride];
                const float wi = sines_[j * stride];
                const int a = start + j;
                const int b = a + span;
                const float tr = real[b] * wr - imaginary[b] * wi;
                const float ti = real[b] * wi + imaginary[b] * wr;
                real[b] = real[a] - tr;
                imaginary[b] = imaginary[a] - ti;
                real[a] += tr;
                imaginary[a] += ti;
            }
        }
    }
}
