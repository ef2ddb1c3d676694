// media_probe.h -- decodes a written video back with FFmpeg's libraries, for tests to check what a viewer gets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gloamer::testing {

struct MediaInfo {
    bool opened = false;
    double durationSeconds = 0;
    int width = 0;
    int height = 0;
    double framesPerSecond = 0;
    int videoFrames = 0;            // decoded
    bool hasAudio = false;
    int audioSampleRate = 0;
    int64_t audioSamples = 0;       // decoded, per channel
    std::vector<std::vector<uint8_t>> pictures; // RGB, top row first, every `keepEvery`th frame
};

// Decodes every frame of `path`; keeps the pictures of frames 0, keepEvery, 2 keepEvery, ...
MediaInfo probeMedia(const std::string& path, int keepEvery = 0);

} // namespace gloamer::testing
