// spectrum_analyser.cpp -- the player's spectrum and waveform rows, over the build's real FFT.
#include "host/analysis/spectrum_analyser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace gloamer {

namespace {

signed char mostSignificantByte(int sample)
{
    return (signed char)(sample >> 8);
}

// One 8-bit row per wanted channel layout: 0 rows zero, 1 the channels averaged, 2 each channel.
void channelBytes(const AudioTrack& track, int64_t firstFrame, int layout, signed char bytes[2][576])
{
    std::memset(bytes, 0, 2 * spectrumBlockFrames);
    const int64_t frames = (int64_t)track.frameCount();
    const int channels = track.channelCount;
    for (int i = 0; i < spectrumBlockFrames; ++i) {
        int64_t frame = firstFrame + i;
        if (frame < track.firstFrame || frame >= frames || channels < 1)
            continue;
        const int16_t* sample = track.at(frame);
        int left = sample[0];
        int right = channels > 1 ? sample[1] : sample[0];
        if (layout == 1) {
            bytes[0][i] = mostSignificantByte((left + right) >> 1);
        } else if (layout == 2) {
            bytes[0][i] = mostSignificantByte(left);
            bytes[1][i] = mostSignificantByte(right);
        }
    }
}

} // namespace

SpectrumAnalyser::SpectrumAnalyser() : SpectrumAnalyser(makeRealFft(fftSize)) {}

SpectrumAnalyser::SpectrumAnalyser(std::unique_ptr<RealFft> fft) : fft_(std::move(fft))
{
    for (int n = 0; n < fftSize; ++n)
        window_[n] = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * n / fftSize));
}

SpectrumAnalyser::~SpectrumAnalyser() = default;

void SpectrumAnalyser::analyse(const AudioTrack& track, int64_t firstFrame, int spectrumChannels,
                               unsigned char spectrum[2][576], unsigned char waveform[2][576])
{
    analyse(track, firstFrame, spectrumChannels, spectrumChannels, spectrum, waveform);
}

void SpectrumAnalyser::analyse(const AudioTrack& track, int64_t firstFrame, int spectrumChannels,
                               int waveformChannels, unsigned char spectrum[2][576], unsigned char waveform[2][576])
{
    spectrumChannels = std::clamp(spectrumChannels, 0, 2);
    waveformChannels = std::clamp(waveformChannels, 0, 2);
    signed char bytes[2][576];

    channelBytes(track, firstFrame, waveformChannels, bytes);
    std::memcpy(waveform, bytes, sizeof(bytes));

    if (spectrumChannels != waveformChannels)
        channelBytes(track, firstFrame, spectrumChannels, bytes);
    for (int row = 0; row < 2; ++row) {
        if (row < spectrumChannels)
            spectrumOf(bytes[row], spectrum[row]);
        else
            std::memset(spectrum[row], 0, spectrumBlockFrames);
    }
}

void SpectrumAnalyser::spectrumOf(const signed char bytes[576], unsigned char row[576])
{
    double previousIn = 0.0, previousOut = 0.0;
    for (int n = 0; n < fftSize; ++n) {
        double in = bytes[n];
        double out = in - previousIn + 0.99 * previousOut;
        previousIn = in;
        previousOut = out;
        input_[n] = out * window_[n];
    }
    fft_->forward(input_, bins_);

    int previous = 0;
    for (int bin = 0; bin < fftSize / 2; ++bin) {
        double magnitude = std::hypot(bins_[bin].real(), bins_[bin].imag()) / 16.0;
        int value = magnitude >= 255.0 ? 255 : (int)magnitude;
        row[2 * bin] = (unsigned char)((previous + value) / 2);
        row[2 * bin + 1] = (unsigned char)value;
        previous = value;
    }
    for (int entry = fftSize; entry < spectrumBlockFrames; ++entry)
        row[entry] = row[entry - 1] / 2;
}

} // namespace gloamer
