// sdl_audio.h -- SDL's audio subsystem as the host uses it: opened once per command, inputs listed and chosen.
#pragma once

#include <string>
#include <vector>

namespace gloamer {

enum class AudioUse { Playback, Capture };

// Holds SDL's audio subsystem for as long as it lives. For capture with SDL_AUDIODRIVER unset it prefers
// the pulseaudio driver, which (on PulseAudio and on PipeWire alike) lists the monitor of every output
// as an input, so that what the computer plays can be captured.
class SdlAudioSystem {
public:
    explicit SdlAudioSystem(AudioUse use); // throws HostError when no driver starts
    ~SdlAudioSystem();
    SdlAudioSystem(const SdlAudioSystem&) = delete;
    SdlAudioSystem& operator=(const SdlAudioSystem&) = delete;

    std::string driverName() const;
    // Restarts on SDL's dummy driver, which takes audio in real time and plays nothing; `reason` says why.
    void switchToSilentDriver(const std::string& reason);
    // Why the audio is silent; empty while a real driver is in use.
    const std::string& silentReason() const { return silentReason_; }

private:
    std::string silentReason_;
};

struct AudioInputList {
    bool listable = true; // false when the driver cannot tell its inputs
    std::vector<std::string> names;
};

AudioInputList listAudioInputs();

// The input a user means by `wanted`: its exact name, its number in the list (from 1), or a part of one
// name in any case. Throws HostError when nothing or more than one input matches.
std::string chooseAudioInput(const AudioInputList& inputs, const std::string& wanted);

// The monitor of the default output among `inputs` ("Monitor of " + its name, as PulseAudio and PipeWire
// name them), or the only monitor there is; empty when neither is found.
std::string monitorOfDefaultOutput(const AudioInputList& inputs, const std::string& defaultOutput);
// The default output's name as the running driver tells it; empty when it cannot.
std::string defaultOutputName();

// Silences stderr while it lives: audio libraries print their own diagnostics there when a device fails,
// and the host reports the failure itself, in one line.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

} // namespace gloamer
