// audio_track.h -- a piece of decoded audio held in memory: what the host plays, analyses and renders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/media/cover_picture.h"

namespace gloamer {

struct AudioTrack {
    int sampleRate = 0;
    int channelCount = 0;         // 1 or 2
    std::vector<int16_t> samples; // interleaved, channelCount per frame, from sample frame firstFrame on
    int64_t firstFrame = 0;       // the track's sample frame that samples begins with: 0 but for a span
    std::string name;             // the file's name without its folder, or "demo"
    std::string title;            // the title its tags give, where it has one
    std::vector<CoverPicture> covers; // the pictures attached to the input

    size_t heldFrames() const { return channelCount > 0 ? samples.size() / (size_t)channelCount : 0; }
    // The end of what is held, in sample frames from the track's start: its length, for a whole track.
    size_t frameCount() const { return (size_t)firstFrame + heldFrames(); }
    // The samples of sample frame `frame`, which must be held.
    const int16_t* at(int64_t frame) const { return samples.data() + (frame - firstFrame) * channelCount; }
};

// Decodes the audio of a whole file through FFmpeg into 16-bit samples at the file's own rate; "-" reads
// standard input and a URL (http://...) is read as a stream. Mono stays one channel; of more channels the
// first two (front left and right) are kept. Throws HostError naming the file when it holds no audio or
// cannot be read. A damaged or cut file still loads what decodes; `warning`, when given, then says where.
AudioTrack loadAudioFile(const std::string& path, std::string* warning = nullptr);
// The same for the part from `start` seconds on, `seconds` long (0: to the end), with the samples a whole
// decode has there: only that part is held, a seekable file seeks to it, and reading stops at its end. A start
// past the input's end gives a track holding nothing whose frameCount() is the input's length.
AudioTrack loadAudioSpan(const std::string& path, double start, double seconds, std::string* warning = nullptr);

// The input's length as a whole decode gives it, with its rate, channels, name, title and covers, in a track
// holding no samples whose frameCount() is that length: decoded and discarded as it goes, so that memory stays
// flat however long it is. Throws as loadAudioFile does; `warning` as there. An input read once is used up.
AudioTrack measureAudioFile(const std::string& path, std::string* warning = nullptr);

// True for an input read once from its start as it comes: standard input, a URL, a pipe or a device.
bool readsAsStream(const std::string& path);

// The built-in demo: 32 s of stereo music made in code (beat, bass line, sweeps), the two channels distinct.
AudioTrack makeDemoTrack(int sampleRate = 44100);

} // namespace gloamer
