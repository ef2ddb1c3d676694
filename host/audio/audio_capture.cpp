// audio_capture.cpp -- SDL capture into a ring of recent frames, read by the frame loop under the device lock.
#include "host/audio/audio_capture.h"

#include <algorithm>

#include "host/audio/sdl_audio.h"
#include "host/process/host_error.h"

namespace gloamer {

AudioCapture::AudioCapture(const std::string& deviceName, int sampleRate)
    : sampleRate_(sampleRate), historyFrames_((size_t)std::max(sampleRate, 4096))
{
    history_.assign(historyFrames_ * channelCount, 0);
    SDL_AudioSpec wanted = {};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = channelCount;
    wanted.samples = 1024;
    wanted.callback = store;
    wanted.userdata = this;
    SDL_AudioSpec obtained;
    {
        QuietStderr quiet;
        device_ = SDL_OpenAudioDevice(deviceName.empty() ? nullptr : deviceName.c_str(), 1, &wanted, &obtained, 0);
    }
    if (!device_) {
        std::string which = deviceName.empty() ? "the default audio input" : "audio input '" + deviceName + "'";
        throw HostError("cannot open " + which + ": " + SDL_GetError() + " (list inputs with: gloamer devices)");
    }
}

AudioCapture::~AudioCapture()
{
    SDL_CloseAudioDevice(device_);
}

void SDLCALL AudioCapture::store(void* self, Uint8* stream, int length)
{
    auto* capture = static_cast<AudioCapture*>(self);
    const auto* samples = reinterpret_cast<const int16_t*>(stream);
    const size_t frames = (size_t)length / (sizeof(int16_t) * channelCount);
    for (size_t frame = 0; frame < frames; ++frame) {
        size_t slot = (size_t)((capture->written_ + (int64_t)frame) % (int64_t)capture->historyFrames_);
        capture->history_[slot * channelCount] = samples[frame * channelCount];
        capture->history_[slot * channelCount + 1] = samples[frame * channelCount + 1];
    }
    capture->written_ += (int64_t)frames;
}

void AudioCapture::setPaused(bool paused)
{
    paused_ = paused;
    SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

int64_t AudioCapture::framesCaptured() const
{
    SDL_LockAudioDevice(device_);
    int64_t written = written_;
    SDL_UnlockAudioDevice(device_);
    return written;
}

void AudioCapture::copyLatest(AudioTrack& block, int frames) const
{
    frames = std::clamp(frames, 0, (int)historyFrames_);
    block.sampleRate = sampleRate_;
    block.channelCount = channelCount;
    block.samples.assign((size_t)frames * channelCount, 0);
    SDL_LockAudioDevice(device_);
    int64_t first = written_ - frames;
    for (int i = 0; i < frames; ++i) {
        int64_t frame = first + i;
        if (frame < 0)
            continue;
        size_t slot = (size_t)(frame % (int64_t)historyFrames_);
        block.samples[(size_t)i * channelCount] = history_[slot * channelCount];
        block.samples[(size_t)i * channelCount + 1] = history_[slot * channelCount + 1];
    }
    SDL_UnlockAudioDevice(device_);
}

void AudioCapture::copyFrames(int64_t first, int64_t count, int16_t* into) const
{
    std::fill(into, into + count * channelCount, (int16_t)0);
    SDL_LockAudioDevice(device_);
    const int64_t oldest = std::max<int64_t>(0, written_ - (int64_t)historyFrames_);
    for (int64_t frame = std::max(first, oldest); frame < std::min(first + count, written_); ++frame) {
        const size_t slot = (size_t)(frame % (int64_t)historyFrames_);
        into[(frame - first) * channelCount] = history_[slot * channelCount];
        into[(frame - first) * channelCount + 1] = history_[slot * channelCount + 1];
    }
    SDL_UnlockAudioDevice(device_);
}

} // namespace gloamer
