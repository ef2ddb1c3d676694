// test_audio.h -- audio made by the tests themselves: tones, and WAV or raw files written from them.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace testaudio {

// The frequency of FFT bin `bin` of a 512-point transform at `rate`: a tone that falls exactly on it.
inline double binFrequency(double bin, int rate = 44100)
{
    return bin * rate / 512.0;
}

// Interleaved 16-bit frames, one tone (frequency, amplitude) per channel; frequency 0 gives silence.
inline std::vector<int16_t> tones(size_t frames, const std::vector<std::pair<double, double>>& channels,
                                  int rate = 44100)
{
    std::vector<int16_t> samples;
    samples.reserve(frames * channels.size());
    for (size_t frame = 0; frame < frames; ++frame)
        for (const auto& [frequency, amplitude] : channels)
            samples.push_back((int16_t)std::lround(
                amplitude * std::sin(2.0 * std::numbers::pi * frequency * (double)frame / rate)));
    return samples;
}

// Writes a file through libsndfile; `format` as SF_FORMAT_* (default 16-bit WAV).
inline bool writeSound(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples,
                       int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    sf_count_t frames = (sf_count_t)(samples.size() / (size_t)channels);
    bool written = sf_writef_short(file, samples.data(), frames) == frames;
    sf_close(file);
    return written;
}

// Raw 16-bit samples in the machine's byte order, as SDL's disk audio driver reads AUDIO_S16SYS.
inline bool writeRaw(const std::string& path, const std::vector<int16_t>& samples)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file) == samples.size();
    return std::fclose(file) == 0 && written;
}

} // namespace testaudio
