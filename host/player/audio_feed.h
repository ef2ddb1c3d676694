// audio_feed.h -- where the spectrum comes from: a track being played, or a live input.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/analysis/spectrum_analyser.h"
#include "host/audio/audio_capture.h"
#include "host/audio/audio_decoder.h"
#include "host/audio/audio_output.h"
#include "host/audio/sdl_audio.h"
#include "plugin/state/records.h"

namespace gloamer {

class AudioFeed {
public:
    virtual ~AudioFeed() = default;
    virtual int sampleRate() const = 0;
    virtual int channelCount() const = 0;
    // Starts the sound (or the capture): called once the plug-in runs.
    virtual void start() = 0;
    // Fills the module's spectrum and waveform rows, in the channel layouts it asks for, for this moment.
    virtual void fill(VisModule& module) = 0;
    virtual bool ended() const = 0;
    virtual void setPaused(bool paused) = 0;
    virtual bool paused() const = 0;
    // A player's controls; a live input has none of them.
    virtual void skipTracks(int /*by*/) {}
    virtual void seekBy(double /*seconds*/) {}
    // What plays and where, for the window's title ("Song — 1:02 / 3:45"); empty where the title stays.
    virtual std::string nowPlaying() const { return {}; }
};

// A track through the audio output; the rows come from the block `latencyMs` ahead of the frame heard.
// While paused, nothing is heard and the rows are silent.
class PlaybackFeed : public AudioFeed {
public:
    // Plays the whole track, or its first `seconds` when given. The track must outlive the feed.
    PlaybackFeed(const AudioTrack& track, std::optional<double> seconds = std::nullopt);
    // Plays `track` as `decoder` fills it, a little ahead of what is heard, keeping only the last seconds heard:
    // it plays at once, for as long as it lasts, in flat memory. A seek outside what is held seeks the decoder
    // where it can (a file). Both must outlive the feed.
    PlaybackFeed(AudioTrack& track, AudioDecoder& decoder, std::optional<double> seconds = std::nullopt);

    // Why the feed plays without sound (no usable output), empty when it is heard.
    const std::string& silentReason() const { return audio_.silentReason(); }
    int64_t heardFrame() const { return output_.heardFrame(); }
    // Plays on from `frame`, or from as near it as the input allows.
    void seekTo(int64_t frame);

    int sampleRate() const override { return track_.sampleRate; }
    int channelCount() const override { return track_.channelCount; }
    void start() override;
    void fill(VisModule& module) override;
    bool ended() const override { return output_.finished(); }
    void setPaused(bool paused) override { output_.setPaused(paused); }
    bool paused() const override { return output_.paused(); }

private:
    // Decodes what the next frames and the device need; drops what was heard long ago.
    void topUp(const VisModule& module);

    const AudioTrack& track_;
    SdlAudioSystem audio_;
    AudioOutput output_;
    SpectrumAnalyser analyser_;
    AudioTrack* growing_ = nullptr; // the track decoder_ fills, for a stream
    AudioDecoder* decoder_ = nullptr;
    std::vector<int16_t> decoded_;
    bool endTold_ = false; // the output knows where the decoded track ends
};

// A live input: the rows come from the newest 576 frames captured, as nothing is played to wait for.
// While paused the capture stops and the rows are silent.
class CaptureFeed : public AudioFeed {
public:
    // `device` as a user names it (see chooseAudioInput); empty for the monitor of the default output where the
    // driver offers one (what the computer plays), else the default input.
    CaptureFeed(const std::string& device, std::optional<double> seconds = std::nullopt);

    const std::string& deviceName() const { return deviceName_; }
    // True when no device was named and the default output's monitor was chosen.
    bool monitorChosen() const { return monitorChosen_; }

    int sampleRate() const override { return capture_->sampleRate(); }
    int channelCount() const override { return AudioCapture::channelCount; }
    void start() override;
    void fill(VisModule& module) override;
    bool ended() const override;
    void setPaused(bool paused) override { capture_->setPaused(paused); }
    bool paused() const override { return capture_->paused(); }
    std::string nowPlaying() const override { return "Live: " + deviceName_; }

private:
    SdlAudioSystem audio_;
    std::string deviceName_;
    bool monitorChosen_ = false;
    std::optional<AudioCapture> capture_;
    SpectrumAnalyser analyser_;
    AudioTrack block_;
    std::optional<double> seconds_;
    std::chrono::steady_clock::time_point startedAt_;
};

} // namespace gloamer
