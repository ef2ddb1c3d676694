// frame_span.cpp -- the frame arithmetic shared by gloamer render and gloamer analyse, so that both feed the same rows.
#include "host/analysis/frame_span.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/process/host_error.h"
#include "host/process/duration_text.h"

namespace gloamer {

uint32_t FrameSpan::tickOf(int64_t frame) const
{
    return startTick + (uint32_t)((uint64_t)frame * 1000u / (uint64_t)fps);
}

int64_t FrameSpan::heardFrameOf(int64_t frame) const
{
    return firstAudioFrame + frame * sampleRate / fps;
}

int64_t FrameSpan::analysedFrameOf(int64_t frame, int latencyMs) const
{
    return analysedFrameFor(heardFrameOf(frame), latencyMs, sampleRate);
}

int clampLatencyMs(int latencyMs)
{
    return std::clamp(latencyMs, 0, maxLatencyMs);
}

double audioSecondsRead(double duration)
{
    return duration > 0 ? duration + maxLatencyMs / 1000.0 + 1.0 : 0;
}

int64_t analysedFrameFor(int64_t heardFrame, int latencyMs, int sampleRate)
{
    return heardFrame + (int64_t)clampLatencyMs(latencyMs) * sampleRate / 1000;
}

FrameSpan frameSpanOf(const AudioTrack& track, double start, double duration, int fps)
{
    const double trackSeconds = (double)track.frameCount() / track.sampleRate;
    if (start < 0 || start >= trackSeconds)
    {
        char seconds[32];
        snprintf(seconds, sizeof(seconds), "%g", start);
        throw HostError(std::string("--start ") + seconds + " s is outside the track ('" + track.name + "' lasts " +
                        formatDuration(trackSeconds) + ")");
    }
    double seconds = trackSeconds - start;
    if (duration > 0)
        seconds = std::min(seconds, duration);
    FrameSpan span;
    span.fps = fps;
    span.sampleRate = track.sampleRate;
    span.frameCount = std::max<int64_t>(1, (int64_t)std::ceil(seconds * fps - 1e-9));
    span.firstAudioFrame = (int64_t)std::llround(start * track.sampleRate);
    span.startTick = (uint32_t)std::llround(start * 1000.0);
    return span;
}

} // namespace gloamer
