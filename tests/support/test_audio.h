// test_audio.h -- audio made by the tests themselves: tones, and WAV, raw or other files made from them.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

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

// Writes a 16-bit PCM WAV file (little-endian, as the format is on every machine the tests run on).
inline bool writeSound(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    auto u32 = [&](uint32_t value) { std::fwrite(&value, 4, 1, file); };
    auto u16 = [&](uint16_t value) { std::fwrite(&value, 2, 1, file); };
    const uint32_t bytes = (uint32_t)(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, file), u32(36 + bytes), std::fwrite("WAVEfmt ", 1, 8, file), u32(16), u16(1);
    u16((uint16_t)channels), u32((uint32_t)rate), u32((uint32_t)(rate * channels * 2)), u16((uint16_t)(channels * 2));
    u16(16), std::fwrite("data", 1, 4, file), u32(bytes);
    bool written = samples.empty() || std::fwrite(samples.data(), 2, samples.size(), file) == samples.size();
    return std::fclose(file) == 0 && written;
}

// Converts `source` into `target` with the ffmpeg command; `options` go between them (codec, format).
inline bool transcode(const std::string& source, const std::string& target, const std::string& options = "")
{
    std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + source + "' " + options + " '" + target + "'";
    return std::system(command.c_str()) == 0;
}

// A local web server (python3's http.server on 127.0.0.1) serving `folder` while it lives.
class FileServer {
public:
    explicit FileServer(const std::string& folder) : log_(folder + "/.server-log")
    {
        pid_ = testproc::spawn({"/usr/bin/python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
                                folder, "0"},
                               {"/dev/null", log_, "/dev/null"});
        // It says "Serving HTTP on 127.0.0.1 port N" once it listens.
        for (int wait = 0; pid_ > 0 && port_ == 0 && wait < 200; ++wait) {
            std::ifstream log(log_);
            std::string word;
            while (log >> word)
                if (word == "port" && log >> port_)
                    break;
            if (port_ == 0)
                usleep(25000);
        }
    }
    ~FileServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    std::string log_;
    pid_t pid_ = -1;
    int port_ = 0;
};

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
