// audio_feed.cpp -- the played and the captured feeds: the audio's position turned into the module's rows.
#include "host/player/audio_feed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/analysis/frame_span.h"
#include "host/core/frame_rows.h"
#include "host/core/heard_rows.h"

namespace gloamer {

namespace {

int64_t endFrameOf(const AudioTrack& track, std::optional<double> seconds)
{
    int64_t frames = (int64_t)track.frameCount();
    if (!seconds)
        return frames;
    return std::min(frames, (int64_t)std::llround(std::max(0.0, *seconds) * track.sampleRate));
}

// A stream is decoded this far ahead of what is heard, beyond the plug-in's latency and the block it analyses:
// more than the device holds.
constexpr double streamAheadSeconds = 1.0;
// What is kept of it once heard, to seek back into; dropped in steps of the same.
constexpr double streamKeptSeconds = 10.0;

} // namespace

PlaybackFeed::PlaybackFeed(const AudioTrack& track, std::optional<double> seconds)
    : track_(track), audio_(AudioUse::Playback), output_(audio_, track, endFrameOf(track, seconds))
{
}

PlaybackFeed::PlaybackFeed(AudioTrack& track, AudioDecoder& decoder, std::optional<double> seconds)
    : track_(track), audio_(AudioUse::Playback),
      output_(audio_, track, seconds ? (int64_t)std::llround(std::max(0.0, *seconds) * track.sampleRate) : INT64_MAX,
              true),
      growing_(&track), decoder_(&decoder)
{
}

void PlaybackFeed::topUp(const VisModule& module)
{
    const int rate = track_.sampleRate;
    const int64_t heard = output_.heardFrame();
    const int64_t wanted = analysedFrameFor(heard, module.latencyMs, rate) + spectrumBlockFrames +
                           (int64_t)(streamAheadSeconds * rate);
    const int64_t missing = std::min(wanted, output_.endFrame()) - (int64_t)track_.frameCount();
    if (missing > 0 && !decoder_->ended()) {
        decoded_.clear();
        decoder_->decode(decoded_, missing); // the read watch lets Ctrl-C and the timeout end a stalled read
        output_.change([&] { growing_->samples.insert(growing_->samples.end(), decoded_.begin(), decoded_.end()); });
    }
    // The end is told to the output once, whenever the decoder reached it: a track shorter than what was read
    // before it began to play ended before any top-up, and an output without its end plays silence for ever.
    if (decoder_->ended() && !endTold_) {
        endTold_ = true;
        output_.endAt((int64_t)track_.frameCount());
        if (std::string warning = decoder_->warning(); !warning.empty())
            std::fprintf(stderr, "gloamer: warning: %s\n", warning.c_str());
    }
    const int64_t kept = (int64_t)(streamKeptSeconds * rate);
    if (heard - track_.firstFrame > 2 * kept)
        output_.change([&] {
            int64_t drop = heard - kept - growing_->firstFrame;
            growing_->samples.erase(growing_->samples.begin(),
                                    growing_->samples.begin() + (ptrdiff_t)(drop * growing_->channelCount));
            growing_->firstFrame += drop;
        });
}

void PlaybackFeed::seekTo(int64_t frame)
{
    frame = std::clamp<int64_t>(frame, 0, output_.endFrame());
    const bool held = frame >= track_.firstFrame && frame <= (int64_t)track_.frameCount();
    if (decoder_ && !held && decoder_->seekable()) {
        // The decoder moves first, while the old samples still play; then the track starts over where it landed.
        decoder_->seekTo(frame);
        output_.change([&] {
            growing_->samples.clear();
            growing_->firstFrame = decoder_->position();
        });
        if (decoder_->ended()) {
            endTold_ = true;
            output_.endAt((int64_t)track_.frameCount());
        }
        frame = decoder_->position();
    }
    output_.seekTo(frame);
}

void PlaybackFeed::start()
{
    output_.setPaused(false);
}

void PlaybackFeed::fill(VisModule& module)
{
    if (decoder_)
        topUp(module);
    if (output_.paused()) {
        silenceRows(module);
        return;
    }
    fillRowsHeardAt(analyser_, track_, output_.heardFrame(), module);
}

CaptureFeed::CaptureFeed(const std::string& device, std::optional<double> seconds)
    : audio_(AudioUse::Capture), seconds_(seconds)
{
    if (device.empty()) {
        deviceName_ = monitorOfDefaultOutput(listAudioInputs(), defaultOutputName());
        monitorChosen_ = !deviceName_.empty();
    } else {
        deviceName_ = chooseAudioInput(listAudioInputs(), device);
    }
    capture_.emplace(deviceName_);
}

void CaptureFeed::start()
{
    startedAt_ = std::chrono::steady_clock::now();
    capture_->setPaused(false);
}

void CaptureFeed::fill(VisModule& module)
{
    if (capture_->paused()) {
        silenceRows(module);
        return;
    }
    capture_->copyLatest(block_, spectrumBlockFrames);
    analyser_.analyse(block_, 0, module.spectrumChannelCount, module.waveformChannelCount, module.spectrumData,
                      module.waveformData);
}

bool CaptureFeed::ended() const
{
    if (!seconds_)
        return false;
    return std::chrono::steady_clock::now() - startedAt_ >= std::chrono::duration<double>(*seconds_);
}

} // namespace gloamer
