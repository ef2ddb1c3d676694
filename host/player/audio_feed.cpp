// audio_feed.cpp -- the played and the captured feeds: the audio's position turned into the module's rows.
#include "host/player/audio_feed.h"

#include <algorithm>
#include <cmath>

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

} // namespace

PlaybackFeed::PlaybackFeed(const AudioTrack& track, std::optional<double> seconds)
    : track_(track), audio_(AudioUse::Playback), output_(audio_, track, endFrameOf(track, seconds))
{
}

void PlaybackFeed::start()
{
    output_.setPaused(false);
}

void PlaybackFeed::fill(VisModule& module)
{
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
