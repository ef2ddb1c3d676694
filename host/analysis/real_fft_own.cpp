// real_fft_own.cpp -- an iterative radix-2 FFT of our own, for builds without FFTW (WebAssembly).
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "host/analysis/real_fft.h"

namespace gloamer {

namespace {

// The n real inputs as the real parts of an n-point complex transform: at 512 points the cost is nothing
// beside a frame, and the plain form keeps it easy to check against FFTW.
class OwnRealFft : public RealFft {
public:
    explicit OwnRealFft(int size) : size_(size), data_((size_t)size), twiddles_((size_t)size / 2), reversed_((size_t)size)
    {
        if (size < 2 || (size & (size - 1)) != 0)
            throw std::invalid_argument("the FFT size must be a power of two");
        // Each twiddle from its own angle, so that rounding does not build up along the table.
        for (int k = 0; k < size / 2; ++k)
            twiddles_[(size_t)k] = std::polar(1.0, -2.0 * std::numbers::pi * k / size);
        int bits = 0;
        while ((1 << bits) < size)
            ++bits;
        for (int i = 0; i < size; ++i) {
            int r = 0;
            for (int b = 0; b < bits; ++b)
                r |= ((i >> b) & 1) << (bits - 1 - b);
            reversed_[(size_t)i] = r;
        }
    }

    void forward(const double* input, std::complex<double>* output) override
    {
        for (int i = 0; i < size_; ++i)
            data_[(size_t)reversed_[(size_t)i]] = input[i];
        for (int half = 1; half < size_; half *= 2) {
            int stride = size_ / (2 * half);
            for (int start = 0; start < size_; start += 2 * half) {
                for (int k = 0; k < half; ++k) {
                    std::complex<double>& even = data_[(size_t)(start + k)];
                    std::complex<double>& odd = data_[(size_t)(start + k + half)];
                    std::complex<double> turned = twiddles_[(size_t)(k * stride)] * odd;
                    odd = even - turned;
                    even += turned;
                }
            }
        }
        for (int k = 0; k <= size_ / 2; ++k)
            output[k] = data_[(size_t)k];
    }

private:
    int size_;
    std::vector<std::complex<double>> data_;
    std::vector<std::complex<double>> twiddles_;
    std::vector<int> reversed_;
};

} // namespace

std::unique_ptr<RealFft> makeOwnRealFft(int size)
{
    return std::make_unique<OwnRealFft>(size);
}

} // namespace gloamer
