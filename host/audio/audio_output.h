// audio_output.h -- plays a track through SDL and tells which of its frames is being heard.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>

#include "host/audio/audio_track.h"
#include "host/audio/sdl_audio.h"

namespace gloamer {

class AudioOutput {
public:
    // Opens the default output for the track's rate and channels, paused, to play frames [0, endFrame).
    // When no output opens it goes on through `audio`'s silent driver. The track must outlive the output.
    AudioOutput(SdlAudioSystem& audio, const AudioTrack& track, int64_t endFrame);
    // For a track that grows as it plays (a stream): frames not yet there are waited for, not skipped, and the
    // track changes only inside change(), which the sound thread waits out.
    AudioOutput(SdlAudioSystem& audio, const AudioTrack& track, int64_t endFrame, bool growing);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // The frame the listener hears now, from what the device has taken; frozen while paused.
    int64_t heardFrame() const;
    // Plays on from `frame` (clamped to the track), paused or not; the clock jumps there at once.
    void seekTo(int64_t frame);
    int64_t endFrame() const { return endFrame_; }
    // Runs `edit` on the track while the sound thread reads none of it.
    template <typename Edit>
    void change(Edit edit)
    {
        SDL_LockAudioDevice(device_);
        edit();
        SDL_UnlockAudioDevice(device_);
    }
    // A growing track's end, once known.
    void endAt(int64_t frame);
    bool finished() const { return heardFrame() >= endFrame_; }

private:
    static void SDLCALL supply(void* self, Uint8* stream, int length);

    const AudioTrack& track_;
    int64_t endFrame_;
    bool growing_ = false;
    SDL_AudioDeviceID device_ = 0;
    int sampleRate_ = 0;
    bool paused_ = true;
    int64_t pausedAt_ = 0;
    // Written by the audio thread, read under the device lock.
    int64_t nextFrame_ = 0;
    int64_t blockStart_ = 0;
    int blockFrames_ = 0;
    Uint64 blockTime_ = 0;
};

// The frame heard `seconds` after the block [blockStart, blockStart + blockFrames) was handed to the device.
// The device is then still playing the block before it, so the estimate runs on from
// blockStart - blockFrames at the sample rate and stops at blockStart until the next block comes.
int64_t estimateHeardFrame(int64_t blockStart, int blockFrames, double seconds, int sampleRate);

} // namespace gloamer
