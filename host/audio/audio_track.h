// audio_track.h -- a piece of decoded audio held in memory: what the host plays, analyses and renders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gloamer {

struct AudioTrack {
    int sampleRate = 0;
    int channelCount = 0;         // 1 or 2
    std::vector<int16_t> samples; // interleaved, channelCount per frame
    std::string name;             // the file's name without its folder, or "demo"

    size_t frameCount() const { return channelCount > 0 ? samples.size() / (size_t)channelCount : 0; }
};

// Decodes a whole file through libsndfile into 16-bit samples. Mono stays one channel; of files with more
// than two channels the first two (front left and right) are kept. Throws HostError naming the file.
// A file cut short in its audio data still loads what it holds; `warning`, when given, then says so.
AudioTrack loadAudioFile(const std::string& path, std::string* warning = nullptr);

// The built-in demo: 32 s of stereo music made in code (beat, bass line, sweeps), the two channels distinct.
AudioTrack makeDemoTrack(int sampleRate = 44100);

} // namespace gloamer
