// spectrum_analyser.h -- the player's 576-entry spectrum and waveform rows, computed from a block of audio.
#pragma once

#include <cstdint>
#include <memory>

#include "host/analysis/real_fft.h"
#include "host/audio/audio_track.h"

namespace gloamer {

constexpr int spectrumBlockFrames = 576;
constexpr int fftSize = 512;

// Per channel, from the 576 sample frames starting at a given frame:
// - every sample is reduced to its most significant byte, a signed 8-bit value;
// - the first 512 of them go through the DC filter y = x - x1 + 0.99 y1, whose state (x1, y1) starts from
//   zero at the start of every block: blocks are analysed independently, so the same frame gives the same
//   rows whatever was analysed before it;
// - then a Hann window, 0.5 (1 - cos(2 pi n / 512)), and a 512-point real FFT;
// - the magnitudes of bins 0 to 255, divided by 16, truncated and clamped to 255, make entries 0 to 511:
//   for each bin, first the mean of the previous bin's value (0 before bin 0) and its own, then its own;
// - entries 512 to 575 go on halving the entry before them.
// The waveform row holds each of the 576 samples' signed most significant byte.
// Frames before the track's start or past its end read as silence.
class SpectrumAnalyser {
public:
    SpectrumAnalyser();
    // With a given transform instead of the build's own (makeRealFft).
    explicit SpectrumAnalyser(std::unique_ptr<RealFft> fft);
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // spectrumChannels 1: row 0 holds the channels averaged sample by sample, row 1 is zero;
    // 2: one row per channel, a mono track filling both rows with its one channel; 0: both rows zero.
    // The waveform rows follow the same channel layout.
    void analyse(const AudioTrack& track, int64_t firstFrame, int spectrumChannels, unsigned char spectrum[2][576],
                 unsigned char waveform[2][576]);
    // The same with the waveform rows laid out for their own channel count, as a module may ask for.
    void analyse(const AudioTrack& track, int64_t firstFrame, int spectrumChannels, int waveformChannels,
                 unsigned char spectrum[2][576], unsigned char waveform[2][576]);

private:
    void spectrumOf(const signed char bytes[576], unsigned char row[576]);

    std::unique_ptr<RealFft> fft_;
    double window_[fftSize];
    double input_[fftSize];
    std::complex<double> bins_[fftSize / 2 + 1];
};

} // namespace gloamer
