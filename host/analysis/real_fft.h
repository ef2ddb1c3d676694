// real_fft.h -- the one transform the spectrum analyser needs, behind a seam: FFTW natively, our own on the web.
#pragma once

#include <complex>
#include <memory>

namespace gloamer {

// A forward real-to-complex DFT of a fixed power-of-two size n, unnormalised: X[k] = sum x[j] e^(-2 pi i j k / n).
class RealFft {
public:
    virtual ~RealFft() = default;
    // Reads n inputs, writes bins 0 to n/2.
    virtual void forward(const double* input, std::complex<double>* output) = 0;
};

// The build's transform: FFTW in the native host, ownRealFft where FFTW is not built (the page).
std::unique_ptr<RealFft> makeRealFft(int size);
std::unique_ptr<RealFft> makeOwnRealFft(int size);

} // namespace gloamer
