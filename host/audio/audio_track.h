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
    std::string title;            // the title its tags give, where it has one

    size_t frameCount() const { return channelCount > 0 ? samples.size() / (size_t)channelCount : 0; }
};

// Decodes the audio of a whole file through FFmpeg into 16-bit samples at the file's own rate; "-" reads
// standard input and a URL (http://...) is read as a stream. Mono stays one channel; of more channels the
// first two (front left and right) are kept. Throws HostError naming the file when it holds no audio or
// cannot be read. A damaged or cut file still loads what decodes; `warning`, when given, then says where.
AudioTrack loadAudioFile(const std::string& path, std::string* warning = nullptr);

// The built-in demo: 32 s of stereo music made in code (beat, bass line, sweeps), the two channels distinct.
AudioTrack makeDemoTrack(int sampleRate = 44100);

} // namespace gloamer
