// page_exports.cpp -- the calls the page's script makes into the host; failures come back as one line of text.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "host/page/web_host.h"

using gloamer::web::PageAction;
using gloamer::web::WebHost;

namespace {

WebHost& host()
{
    return gloamer::web::pageHost();
}

std::string lastError;

// Runs a call, keeping its error for gloamer_last_error; 0 when it went well, -1 when not.
template <typename Call>
int guarded(Call call)
{
    try {
        call();
        lastError.clear();
        return 0;
    } catch (const std::exception& error) {
        lastError = error.what();
    } catch (...) {
        lastError = "unexpected failure";
    }
    return -1;
}

} // namespace

extern "C" {

// The sensitivity (0 to 4, 1 as recorded) and calm (nonzero: on) of the rows the plug-in is fed from now on.
EMSCRIPTEN_KEEPALIVE void gloamer_set_shaping(double sensitivity, int calm)
{
    double held = std::isfinite(sensitivity) ? std::clamp(sensitivity, 0.0, 4.0) : 1.0;
    host().setShaping(gloamer::SpectrumShaping{held, calm != 0});
}

EMSCRIPTEN_KEEPALIVE const char* gloamer_last_error()
{
    return lastError.c_str();
}

// Room for the page's decoded track: `frames` interleaved 16-bit frames, which the page writes into.
EMSCRIPTEN_KEEPALIVE int16_t* gloamer_track_buffer(int frames, int channels, int sampleRate)
{
    gloamer::AudioTrack& track = host().track();
    int16_t* samples = nullptr;
    guarded([&] {
        track = {};
        track.sampleRate = sampleRate;
        track.channelCount = channels;
        track.name = "song";
        track.samples.assign((size_t)frames * (size_t)channels, 0);
        samples = track.samples.data();
    });
    return samples;
}

// The built-in demo as the track; its samples are then read by the page to be played.
EMSCRIPTEN_KEEPALIVE int16_t* gloamer_demo_track()
{
    int16_t* samples = nullptr;
    guarded([&] {
        host().track() = gloamer::makeDemoTrack(44100);
        samples = host().track().samples.data();
    });
    return samples;
}

EMSCRIPTEN_KEEPALIVE int gloamer_track_frames()
{
    return (int)host().track().frameCount();
}

EMSCRIPTEN_KEEPALIVE int gloamer_track_channels()
{
    return host().track().channelCount;
}

EMSCRIPTEN_KEEPALIVE int gloamer_track_rate()
{
    return host().track().sampleRate;
}

EMSCRIPTEN_KEEPALIVE int gloamer_start()
{
    return guarded([] { host().start(); });
}

EMSCRIPTEN_KEEPALIVE void gloamer_stop()
{
    host().stop();
}

// One animation frame; returns what the page should do for the keys pressed (PageAction), -1 on failure.
EMSCRIPTEN_KEEPALIVE int gloamer_frame(double heardSeconds, int paused)
{
    PageAction action = PageAction::None;
    if (guarded([&] { action = host().frame(heardSeconds, paused != 0); }) != 0)
        return -1;
    return (int)action;
}

// The test hook: a frame data file in the page's file system; the number of frames, -1 on failure.
EMSCRIPTEN_KEEPALIVE int gloamer_replay_load(const char* path)
{
    if (guarded([&] { host().loadFrameData(path); }) != 0)
        return -1;
    return host().frameDataCount();
}

EMSCRIPTEN_KEEPALIVE int gloamer_replay_frame(int index)
{
    return guarded([&] { host().replayFrame(index); });
}

} // extern "C"
