// audio_output.cpp -- SDL playback of a track from a callback, and the clock of what is being heard.
#include "host/audio/audio_output.h"

#include <algorithm>
#include <cstring>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

constexpr int lowestPlayableRate = 8000;

// About 20 ms per block: short enough for a close clock, long enough not to starve.
Uint16 blockFramesFor(int sampleRate)
{
    Uint16 frames = 256;
    while (frames < sampleRate / 50 && frames < 8192)
        frames *= 2;
    return frames;
}

SDL_AudioDeviceID openOutput(const AudioTrack& track, void* user, SDL_AudioCallback callback)
{
    SDL_AudioSpec wanted = {};
    wanted.freq = track.sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = (Uint8)track.channelCount;
    wanted.samples = blockFramesFor(track.sampleRate);
    wanted.callback = callback;
    wanted.userdata = user;
    SDL_AudioSpec obtained;
    QuietStderr quiet;
    // No changes allowed: SDL converts to whatever the device wants, so the callback sees the track's format.
    return SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
}

} // namespace

int64_t estimateHeardFrame(int64_t blockStart, int blockFrames, double seconds, int sampleRate)
{
    int64_t playing = blockStart - blockFrames;
    int64_t heard = playing + (int64_t)(std::max(0.0, seconds) * sampleRate);
    return std::max<int64_t>(0, std::clamp(heard, playing, blockStart));
}

AudioOutput::AudioOutput(SdlAudioSystem& audio, const AudioTrack& track, int64_t endFrame)
    : AudioOutput(audio, track, endFrame, false)
{
}

AudioOutput::AudioOutput(SdlAudioSystem& audio, const AudioTrack& track, int64_t endFrame, bool growing)
    : track_(track), endFrame_(growing ? std::max<int64_t>(0, endFrame)
                                       : std::clamp<int64_t>(endFrame, 0, (int64_t)track.frameCount())),
      growing_(growing), sampleRate_(track.sampleRate)
{
    if (track.channelCount < 1 || track.channelCount > 2 || track.sampleRate < 1)
        throw HostError("cannot play '" + track.name + "': it has no playable format");
    // Slower audio makes blocks of minutes, and closing the device would wait out the one being played.
    if (track.sampleRate < lowestPlayableRate)
        throw HostError("cannot play '" + track.name + "': its " + std::to_string(track.sampleRate) +
                        " Hz are below what audio outputs take (" + std::to_string(lowestPlayableRate) + " Hz)");
    device_ = openOutput(track, this, supply);
    if (!device_ && audio.silentReason().empty()) {
        audio.switchToSilentDriver(SDL_GetError());
        device_ = openOutput(track, this, supply);
    }
    if (!device_)
        throw HostError(std::string("cannot open an audio output: ") + SDL_GetError());
}

AudioOutput::~AudioOutput()
{
    SDL_CloseAudioDevice(device_);
}

void SDLCALL AudioOutput::supply(void* self, Uint8* stream, int length)
{
    auto* output = static_cast<AudioOutput*>(self);
    const int channels = output->track_.channelCount;
    const int frames = length / (int)(sizeof(int16_t) * channels);
    const int64_t held = (int64_t)output->track_.frameCount();
    const bool waiting = output->growing_ && held < output->endFrame_;
    const int64_t available =
        std::clamp<int64_t>(std::min(output->endFrame_, held) - output->nextFrame_, 0, frames);
    if (available > 0)
        std::memcpy(stream, output->track_.at(output->nextFrame_),
                    (size_t)(available * channels) * sizeof(int16_t));
    std::memset(stream + available * channels * sizeof(int16_t), 0,
                (size_t)length - (size_t)(available * channels) * sizeof(int16_t));
    output->blockStart_ = output->nextFrame_;
    output->blockFrames_ = frames;
    output->blockTime_ = SDL_GetPerformanceCounter();
    // A stream that has not yet come plays silence and stays where it is.
    output->nextFrame_ += waiting ? available : frames;
}

void AudioOutput::endAt(int64_t frame)
{
    change([&] { endFrame_ = std::clamp<int64_t>(frame, 0, endFrame_); });
}

int64_t AudioOutput::heardFrame() const
{
    if (paused_)
        return pausedAt_;
    SDL_LockAudioDevice(device_);
    int64_t blockStart = blockStart_;
    int blockFrames = blockFrames_;
    Uint64 blockTime = blockTime_;
    SDL_UnlockAudioDevice(device_);
    if (blockTime == 0)
        return pausedAt_;
    double seconds = (double)(SDL_GetPerformanceCounter() - blockTime) / (double)SDL_GetPerformanceFrequency();
    return std::max(pausedAt_, estimateHeardFrame(blockStart, blockFrames, seconds, sampleRate_));
}

void AudioOutput::seekTo(int64_t frame)
{
    SDL_LockAudioDevice(device_);
    // Of a growing track only what it holds can be gone to.
    frame = std::clamp<int64_t>(frame, track_.firstFrame,
                                growing_ ? std::min<int64_t>(endFrame_, (int64_t)track_.frameCount()) : endFrame_);
    nextFrame_ = frame;
    blockStart_ = frame;
    blockFrames_ = 0;
    blockTime_ = 0; // until the next block, the heard frame is the one sought
    SDL_UnlockAudioDevice(device_);
    pausedAt_ = frame;
}

void AudioOutput::setPaused(bool paused)
{
    if (paused == paused_)
        return;
    if (paused) {
        pausedAt_ = heardFrame();
        paused_ = true;
        SDL_PauseAudioDevice(device_, 1);
        return;
    }
    // The clock runs on from where it stopped, not from the last block before the pause.
    SDL_LockAudioDevice(device_);
    if (blockTime_ != 0)
        blockTime_ = SDL_GetPerformanceCounter();
    SDL_UnlockAudioDevice(device_);
    paused_ = false;
    SDL_PauseAudioDevice(device_, 0);
}

} // namespace gloamer
