// captured_sound.h -- the sound of a live input as a stream's sound: taken as the input gives it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/audio/audio_capture.h"
#include "host/audio/sdl_audio.h"
#include "host/stream/stream_audio.h"

namespace gloamer {

// need() waits for the input: its clock is the sound's. An input that gives nothing for ten seconds is an error.
class CapturedSound : public StreamSound {
public:
    // `device` as gloamer live takes it (empty: the default output's monitor, else the default input); `seconds`
    // ends the sound.
    CapturedSound(const std::string& device, std::optional<double> seconds);

    const std::string& deviceName() const { return deviceName_; }
    bool monitorChosen() const { return monitorChosen_; }

    void need(int64_t upTo) override;
    bool endsBy(int64_t frame) const override { return window_.finished() && window_.end() <= frame; }
    const AudioTrack& held() const override { return window_.track(); }
    void release(int64_t frame) override { window_.release(frame); }
    int64_t copy(int64_t first, int64_t count, int16_t* into) override { return window_.copy(first, count, into); }
    std::vector<TrackStart> takeTrackStarts() override;

private:
    SdlAudioSystem audio_;
    std::string deviceName_;
    bool monitorChosen_ = false;
    std::optional<AudioCapture> capture_;
    int64_t endFrame_ = INT64_MAX;
    SoundWindow window_;
    std::vector<int16_t> block_;
    bool announced_ = false;
};

} // namespace gloamer
