// An iterative radix-2 Fourier transform for power-of-two sizes: bit-reversed
// reordering followed by butterfly passes, with the bit-reversal table and the
// twiddle factors computed once at construction. Unnormalised; the sign
// convention is e^(-2πi·k·n/N).
#pragma once

#include <vector>

class RadixTwoFft {
public:
    // Size 2^bits; bits from 1 to 20.
    explicit RadixTwoFft(int bits);

    int size() const { return size_; }
    // Transforms the size() complex values in place (real and imaginary parts
    // in separate arrays).
    void transform(float* real, float* imaginary) const;

private:
    int size_;
    std::vector<int> reversed_;   // index with its bits reversed
    std::vector<float> cosines_;  // cos(2πj/N), j < N/2
    std::vector<float> sines_;    // -sin(2πj/N), j < N/2
};
