// frame_span.h -- which frames a render of a track draws, at which ticks, and which audio each frame's rows come from.
#pragma once

#include <cstdint>

#include "host/audio/audio_track.h"

namespace gloamer {

struct FrameSpan {
    int fps = 30;
    int sampleRate = 44100;
    int64_t frameCount = 0;
    int64_t firstAudioFrame = 0; // the sample frame heard at frame 0
    uint32_t startTick = 0;      // the plug-in's tick count at frame 0: the start in milliseconds

    // Frame k is drawn at startTick + k * 1000 / fps.
    uint32_t tickOf(int64_t frame) const;
    // The first sample frame of the block analysed for frame k: what is heard then, latencyMs ahead, as the player does.
    int64_t analysedFrameOf(int64_t frame, int latencyMs) const;
};

// The one latency rule of play, render and analyse: a plug-in's latencyMs held to 0..10000 (absurd values to 10 s).
int clampLatencyMs(int latencyMs);

// From `start` seconds on, for `duration` seconds (0: to the end). Throws HostError for a start outside the track.
FrameSpan frameSpanOf(const AudioTrack& track, double start, double duration, int fps);

} // namespace gloamer
