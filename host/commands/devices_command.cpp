// devices_command.cpp -- `gloamer devices`: the audio inputs `gloamer live` can capture from.
#include <cstdio>

#include "host/audio/sdl_audio.h"
#include "host/commands/command_line.h"

namespace gloamer {

namespace {

int runDevices()
{
    SdlAudioSystem audio(AudioUse::Capture);
    AudioInputList inputs = listAudioInputs();
    std::printf("Audio inputs (SDL audio driver '%s'):\n", audio.driverName().c_str());
    if (!inputs.listable)
        std::printf("  (this driver cannot list its inputs: gloamer live takes the default one)\n");
    else if (inputs.names.empty())
        std::printf("  none\n");
    for (size_t index = 0; index < inputs.names.size(); ++index)
        std::printf("  %zu  %s\n", index + 1, inputs.names[index].c_str());
    std::printf("Capture one with: gloamer live --device NAME (its number or a part of its name will do).\n"
                "A \"Monitor of ...\" input hears what this computer plays.\n");
    return 0;
}

} // namespace

void addDevicesCommand(CLI::App& app, CommandLine& commandLine)
{
    CLI::App* devices = app.add_subcommand("devices", "List the audio inputs that gloamer live can capture");
    devices->callback([&commandLine] { commandLine.action = runDevices; });
}

} // namespace gloamer
