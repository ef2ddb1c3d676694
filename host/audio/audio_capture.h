// audio_capture.h -- live audio from an SDL input, kept as a short history of its newest frames.
#pragma once

#include <SDL2/SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/audio/audio_track.h"

namespace gloamer {

class AudioCapture {
public:
    static constexpr int channelCount = 2;

    // Opens the input named (empty: the system's default input), paused, as 16-bit stereo at `sampleRate`;
    // SDL converts whatever the device gives. Throws HostError naming the input.
    AudioCapture(const std::string& deviceName, int sampleRate = 44100);
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    int sampleRate() const { return sampleRate_; }
    int64_t framesCaptured() const;
    // Fills `block` with the newest `frames` frames, oldest first; silence where nothing came in yet.
    void copyLatest(AudioTrack& block, int frames) const;

    // Copies `count` frames from frame `first` of the capture (counted from its start) into `into`, silence for
    // those not captured yet or older than the history kept (a second).
    void copyFrames(int64_t first, int64_t count, int16_t* into) const;

private:
    static void SDLCALL store(void* self, Uint8* stream, int length);

    int sampleRate_;
    bool paused_ = true;
    SDL_AudioDeviceID device_ = 0;
    // Written by the audio thread, read under the device lock.
    std::vector<int16_t> history_; // a ring of historyFrames_ interleaved frames
    size_t historyFrames_;
    int64_t written_ = 0;
};

} // namespace gloamer
