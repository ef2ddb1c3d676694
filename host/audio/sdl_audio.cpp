// sdl_audio.cpp -- starting SDL's audio drivers, listing and choosing inputs.
#include "host/audio/sdl_audio.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

bool startDriver()
{
    QuietStderr quiet;
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

} // namespace

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
    int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere < 0)
        return;
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0)
        dup2(nowhere, STDERR_FILENO);
    close(nowhere);
}

QuietStderr::~QuietStderr()
{
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
}

SdlAudioSystem::SdlAudioSystem(AudioUse use)
{
    // The host handles Ctrl-C itself; monitors of outputs are inputs worth offering.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "gloamer");
    if (use == AudioUse::Capture && !std::getenv("SDL_AUDIODRIVER")) {
        SDL_SetHint(SDL_HINT_AUDIODRIVER, "pulseaudio");
        if (startDriver())
            return;
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    }
    if (startDriver())
        return;
    if (use == AudioUse::Playback) {
        switchToSilentDriver(SDL_GetError());
        return;
    }
    throw HostError(std::string("cannot use audio: ") + SDL_GetError() +
                    " (is a sound server running? SDL_AUDIODRIVER picks a driver)");
}

SdlAudioSystem::~SdlAudioSystem()
{
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
}

std::string SdlAudioSystem::driverName() const
{
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : "none";
}

void SdlAudioSystem::switchToSilentDriver(const std::string& reason)
{
    silentReason_ = reason.empty() ? "no audio driver" : reason;
    if (SDL_WasInit(SDL_INIT_AUDIO))
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (!startDriver())
        throw HostError(std::string("cannot start even SDL's silent audio driver: ") + SDL_GetError());
}

AudioInputList listAudioInputs()
{
    AudioInputList inputs;
    int count = SDL_GetNumAudioDevices(1);
    if (count < 0) {
        inputs.listable = false;
        return inputs;
    }
    for (int index = 0; index < count; ++index) {
        const char* name = SDL_GetAudioDeviceName(index, 1);
        if (name)
            inputs.names.push_back(name);
    }
    return inputs;
}

std::string monitorOfDefaultOutput(const AudioInputList& inputs, const std::string& defaultOutput)
{
    const std::string prefix = "Monitor of ";
    std::vector<std::string> monitors;
    for (const std::string& name : inputs.names) {
        if (!defaultOutput.empty() && name == prefix + defaultOutput)
            return name;
        if (name.rfind(prefix, 0) == 0)
            monitors.push_back(name);
    }
    return monitors.size() == 1 ? monitors[0] : std::string();
}

std::string defaultOutputName()
{
    char* name = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&name, &spec, 0) != 0 || !name)
        return "";
    std::string result = name;
    SDL_free(name);
    return result;
}

std::string chooseAudioInput(const AudioInputList& inputs, const std::string& wanted)
{
    if (!inputs.listable)
        return wanted;
    for (const std::string& name : inputs.names)
        if (name == wanted)
            return name;
    if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) { return std::isdigit(c); })) {
        size_t number = wanted.size() < 6 ? std::stoul(wanted) : 0;
        if (number >= 1 && number <= inputs.names.size())
            return inputs.names[number - 1];
    }
    std::vector<std::string> matches;
    for (const std::string& name : inputs.names)
        if (lowerCase(name).find(lowerCase(wanted)) != std::string::npos)
            matches.push_back(name);
    if (matches.size() == 1)
        return matches[0];
    if (matches.empty())
        throw HostError("no audio input matches '" + wanted + "' (list them with: gloamer devices)");
    std::string names;
    for (const std::string& name : matches)
        names += (names.empty() ? "'" : ", '") + name + "'";
    throw HostError("'" + wanted + "' matches several audio inputs: " + names + " (give more of the name)");
}

} // namespace gloamer
