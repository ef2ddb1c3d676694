// live_input.cpp -- sound that arrives as it plays (a microphone, a line input, a tab's audio) as the host's track:
// the page hands over each block it captures, the track keeps the newest second, and every frame is analysed at its
// end, as a live sound is heard the moment it is captured.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/analysis/spectrum_analyser.h"
#include "host/page/web_host.h"

using gloamer::web::pageHost;

namespace {

std::vector<int16_t> staging; // the block the page is writing, interleaved

} // namespace

extern "C" {

// An empty live track at the capture's rate and channels, for gloamer_start to start the plug-in on.
EMSCRIPTEN_KEEPALIVE void gloamer_live_begin(int sampleRate, int channels)
{
    gloamer::AudioTrack& track = pageHost().track();
    track = {};
    track.sampleRate = std::max(1, sampleRate);
    track.channelCount = std::clamp(channels, 1, 2);
    track.name = "live";
}

// Room for the next `frames` captured frames; valid until the next call into the program.
EMSCRIPTEN_KEEPALIVE int16_t* gloamer_live_buffer(int frames)
{
    staging.assign((size_t)std::max(0, frames) * (size_t)std::max(1, pageHost().track().channelCount), 0);
    return staging.data();
}

// Appends the block written into gloamer_live_buffer; what is older than a second is dropped now and then, so the
// track neither grows without end nor moves its samples on every block.
EMSCRIPTEN_KEEPALIVE void gloamer_live_push(int frames)
{
    gloamer::AudioTrack& track = pageHost().track();
    if (track.channelCount <= 0)
        return;
    size_t count = std::min(staging.size(), (size_t)std::max(0, frames) * (size_t)track.channelCount);
    track.samples.insert(track.samples.end(), staging.begin(), staging.begin() + (std::ptrdiff_t)count);
    size_t keep = (size_t)track.sampleRate * (size_t)track.channelCount;
    if (track.samples.size() > 2 * keep)
        track.samples.erase(track.samples.begin(), track.samples.end() - (std::ptrdiff_t)keep);
}

// The position to give gloamer_frame so that the rows come from the newest block the track holds, the plug-in's
// latency taken off as the frame adds it back.
EMSCRIPTEN_KEEPALIVE double gloamer_live_heard_seconds()
{
    gloamer::web::WebHost& host = pageHost();
    const gloamer::AudioTrack& track = host.track();
    if (track.sampleRate <= 0)
        return 0;
    int64_t first = (int64_t)track.frameCount() - gloamer::spectrumBlockFrames - host.latencyFrames();
    return (double)std::max<int64_t>(0, first) / track.sampleRate;
}

} // extern "C"
