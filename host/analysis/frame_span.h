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
    // The sample frame heard at frame k.
    int64_t heardFrameOf(int64_t frame) const;
    // The first sample frame of the block analysed for frame k (analysedFrameFor of what is heard then).
    int64_t analysedFrameOf(int64_t frame, int latencyMs) const;
};

// The one latency rule of every host: a plug-in's latencyMs held to 0..10000 (absurd values to 10 s).
int clampLatencyMs(int latencyMs);
constexpr int maxLatencyMs = 10000;

// The seconds of audio from its start that a render or analysis `duration` seconds long reads: its own, the
// furthest latency ahead and a block past the end (0: to the track's end).
double audioSecondsRead(double duration);

// The one rule for which audio a frame's rows come from, in every host: the block that starts the plug-in's
// latency ahead of the sample frame heard, as a player does.
int64_t analysedFrameFor(int64_t heardFrame, int latencyMs, int sampleRate);

// From `start` seconds on, for `duration` seconds (0: to the end). Throws HostError for a start outside the track.
FrameSpan frameSpanOf(const AudioTrack& track, double start, double duration, int fps);

} // namespace gloamer
