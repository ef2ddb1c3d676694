// demo_track.cpp -- the built-in demo: a short piece of music synthesised in code, so gloamer runs with no input.
#include "host/audio/audio_track.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double beatsPerMinute = 120.0;
constexpr int bars = 16;                 // 4 beats each: 32 s at 120 beats per minute
constexpr double bassRoots[4] = {55.0, 43.65, 65.41, 49.0}; // A, F, C, G: one per bar

// A fixed noise source, so that the demo is the same on every run.
class Noise {
public:
    double next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return (double)state_ / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_ = 0x9E3779B9u;
};

struct Mix {
    std::vector<float> left;
    std::vector<float> right;
    int rate;

    double pan = -1, leftGain = 0, rightGain = 0; // the gains of the last place, which most voices keep

    // Adds a mono voice at a place between left (0) and right (1).
    void add(size_t frame, double value, double place)
    {
        if (frame >= left.size())
            return;
        if (place != pan) {
            pan = place;
            leftGain = std::cos(place * pi / 2);
            rightGain = std::sin(place * pi / 2);
        }
        left[frame] += (float)(value * leftGain);
        right[frame] += (float)(value * rightGain);
    }
};

void addKick(Mix& mix, size_t start)
{
    double phase = 0;
    size_t length = (size_t)(0.35 * mix.rate);
    for (size_t i = 0; i < length; ++i) {
        double t = (double)i / mix.rate;
        double frequency = 45.0 + 75.0 * std::exp(-t / 0.03);
        phase += 2 * pi * frequency / mix.rate;
        mix.add(start + i, 0.9 * std::sin(phase) * std::exp(-t / 0.12), 0.5);
    }
}

void addSnare(Mix& mix, size_t start, Noise& noise)
{
    size_t length = (size_t)(0.25 * mix.rate);
    for (size_t i = 0; i < length; ++i) {
        double t = (double)i / mix.rate;
        double body = 0.3 * std::sin(2 * pi * 190.0 * t) * std::exp(-t / 0.05);
        mix.add(start + i, body + 0.35 * noise.next() * std::exp(-t / 0.07), 0.6);
    }
}

void addHat(Mix& mix, size_t start, Noise& noise, double pan)
{
    size_t length = (size_t)(0.06 * mix.rate);
    double previous = 0;
    for (size_t i = 0; i < length; ++i) {
        double t = (double)i / mix.rate;
        double sample = noise.next();
        mix.add(start + i, 0.18 * (sample - previous) * std::exp(-t / 0.015), pan); // difference: a bright hiss
        previous = sample;
    }
}

// A sawtooth through a one-pole low-pass whose cutoff falls over the note: a plucked bass.
void addBassNote(Mix& mix, size_t start, double frequency, double seconds)
{
    size_t length = (size_t)(seconds * mix.rate);
    double phase = 0, filtered = 0;
    for (size_t i = 0; i < length; ++i) {
        double t = (double)i / mix.rate;
        phase += frequency / mix.rate;
        double saw = 2.0 * (phase - std::floor(phase)) - 1.0;
        double cutoff = 150.0 + 1800.0 * std::exp(-t / 0.08);
        double k = 1.0 - std::exp(-2 * pi * cutoff / mix.rate);
        filtered += k * (saw - filtered);
        double envelope = std::min(1.0, t / 0.005) * std::exp(-t / 0.4);
        mix.add(start + i, 0.45 * filtered * envelope, 0.25);
    }
}

// A rising sine from low to high that travels from one side to the other.
void addSweep(Mix& mix, size_t start, double seconds, bool leftToRight)
{
    size_t length = (size_t)(seconds * mix.rate);
    double phase = 0;
    for (size_t i = 0; i < length; ++i) {
        double progress = (double)i / length;
        double frequency = 200.0 * std::pow(40.0, progress); // 200 Hz to 8 kHz
        phase += 2 * pi * frequency / mix.rate;
        double envelope = std::sin(pi * progress);
        mix.add(start + i, 0.25 * envelope * std::sin(phase), leftToRight ? progress : 1.0 - progress);
    }
}

void addLeadNote(Mix& mix, size_t start, double frequency, double seconds, double pan)
{
    size_t length = (size_t)(seconds * mix.rate);
    for (size_t i = 0; i < length; ++i) {
        double t = (double)i / mix.rate;
        double tone = std::sin(2 * pi * frequency * t) + 0.3 * std::sin(2 * pi * 2 * frequency * t);
        mix.add(start + i, 0.12 * tone * std::exp(-t / 0.15), pan);
    }
}

} // namespace

AudioTrack makeDemoTrack(int sampleRate)
{
    if (sampleRate < 8000 || sampleRate > 384000)
        throw HostError("cannot make the demo track at " + std::to_string(sampleRate) +
                        " Hz: choose a rate from 8000 to 384000");
    const double beat = 60.0 / beatsPerMinute;
    const size_t frames = (size_t)(bars * 4 * beat * sampleRate);
    Mix mix{std::vector<float>(frames), std::vector<float>(frames), sampleRate};
    Noise noise;
    auto at = [&](double beats) { return (size_t)(beats * beat * sampleRate); };

    for (int bar = 0; bar < bars; ++bar) {
        double root = bassRoots[bar % 4];
        for (int step = 0; step < 4; ++step) {
            double beatIndex = bar * 4 + step;
            addKick(mix, at(beatIndex));
            if (bar >= 2) {
                if (step % 2 == 1)
                    addSnare(mix, at(beatIndex), noise);
                addHat(mix, at(beatIndex + 0.5), noise, step % 2 ? 0.85 : 0.7);
            }
        }
        if (bar >= 2) {
            static const double pattern[8] = {1, 1, 2, 1, 1.5, 1, 2, 1}; // root, octave and fifth in eighths
            for (int eighth = 0; eighth < 8; ++eighth)
                addBassNote(mix, at(bar * 4 + eighth * 0.5), root * pattern[eighth], beat * 0.45);
        }
        if (bar >= 8) {
            static const double arpeggio[4] = {4, 5, 6, 8}; // a chord two octaves above the bass
            for (int sixteenth = 0; sixteenth < 16; ++sixteenth)
                addLeadNote(mix, at(bar * 4 + sixteenth * 0.25), root * arpeggio[sixteenth % 4] * 2,
                            beat * 0.25, sixteenth % 2 ? 0.15 : 0.85);
        }
        if (bar % 4 == 0)
            addSweep(mix, at(bar * 4), 8 * beat, bar % 8 == 0);
    }

    // Fade out over the last bar, then scale the loudest sample to just under full scale.
    size_t fadeStart = at((bars - 1) * 4);
    for (size_t i = fadeStart; i < frames; ++i) {
        float gain = (float)(frames - i) / (float)(frames - fadeStart);
        mix.left[i] *= gain;
        mix.right[i] *= gain;
    }
    float peak = 1e-6f;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const float scale = 0.9f * 32767.0f / peak;

    AudioTrack track;
    track.sampleRate = sampleRate;
    track.channelCount = 2;
    track.name = "demo";
    track.samples.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        track.samples[2 * i] = (int16_t)std::lround(mix.left[i] * scale);
        track.samples[2 * i + 1] = (int16_t)std::lround(mix.right[i] * scale);
    }
    return track;
}

} // namespace gloamer
