// real_fft_web.cpp -- the page's analyser transform: our own FFT, as FFTW is not built for WebAssembly.
#include "host/analysis/real_fft.h"

namespace gloamer {

std::unique_ptr<RealFft> makeRealFft(int size)
{
    return makeOwnRealFft(size);
}

} // namespace gloamer
