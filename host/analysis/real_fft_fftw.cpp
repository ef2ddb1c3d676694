// real_fft_fftw.cpp -- the native host's transform: one FFTW plan, made once and reused for every block.
#include <fftw3.h>

#include <cstring>

#include "host/analysis/real_fft.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

class FftwRealFft : public RealFft {
public:
    explicit FftwRealFft(int size) : size_(size)
    {
        input_ = fftw_alloc_real((size_t)size);
        output_ = fftw_alloc_complex((size_t)size / 2 + 1);
        if (input_ && output_)
            plan_ = fftw_plan_dft_r2c_1d(size, input_, output_, FFTW_ESTIMATE);
        if (!plan_) {
            release();
            throw HostError("cannot set up the spectrum analysis (FFTW could not make a plan)");
        }
    }
    ~FftwRealFft() override { release(); }

    void forward(const double* input, std::complex<double>* output) override
    {
        std::memcpy(input_, input, sizeof(double) * (size_t)size_);
        fftw_execute(plan_);
        for (int k = 0; k <= size_ / 2; ++k)
            output[k] = {output_[k][0], output_[k][1]};
    }

private:
    void release()
    {
        if (plan_)
            fftw_destroy_plan(plan_);
        fftw_free(input_);
        fftw_free(output_);
        plan_ = nullptr;
        input_ = nullptr;
        output_ = nullptr;
    }

    int size_;
    double* input_ = nullptr;
    fftw_complex* output_ = nullptr;
    fftw_plan plan_ = nullptr;
};

} // namespace

std::unique_ptr<RealFft> makeRealFft(int size)
{
    return std::make_unique<FftwRealFft>(size);
}

} // namespace gloamer
