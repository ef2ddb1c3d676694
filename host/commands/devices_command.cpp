// devices_command.cpp -- `gloamer devices`: the audio inputs `gloamer live` can capture from, and the GPUs that draw.
#include <cstdio>

#include "host/audio/sdl_audio.h"
#include "host/commands/command_line.h"
#include "host/core/egl_devices.h"
#include "host/core/gpu_choice.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

// Each EGL device named by a context made on it, and the one that --gpu auto takes.
void printGpus()
{
    std::vector<EglDevice> devices = listEglDevices();
    std::printf("\nDevices that draw offscreen (EGL), for gloamer render --gpu N:\n");
    if (devices.empty()) {
        std::printf("  none listed: this EGL lacks EGL_EXT_device_enumeration, so the driver picks the device\n");
        return;
    }
    int automatic = -1;
    try {
        automatic = chooseGpu(GpuRequest{}, devices, probeEglDevice);
    } catch (const HostError&) {
        // none can draw: each line says why
    }
    for (EglDevice& device : devices) {
        if (!device.probed)
            probeEglDevice(device);
        const std::string what =
            device.draws ? device.renderer + " (" + device.vendor + ")" : "cannot draw: " + device.failure;
        std::printf("  %d  %s, %s%s%s\n", device.index, device.software ? "software" : "GPU", what.c_str(),
                    device.deviceFile.empty() ? "" : (", " + device.deviceFile).c_str(),
                    device.index == automatic ? "  [default]" : "");
    }
    if (automatic >= 0 && devices[(size_t)automatic].software)
        std::printf("No GPU draws here: renders take the software renderer, on the CPU.\n");
}

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
    std::string monitor = monitorOfDefaultOutput(inputs, defaultOutputName());
    if (!monitor.empty())
        std::printf("gloamer live captures '%s' (what this computer plays) unless told otherwise.\n", monitor.c_str());
    else if (audio.driverName() != "pulseaudio")
        std::printf("No \"Monitor of ...\" input, so gloamer live cannot hear what this computer plays: SDL's "
                    "pulseaudio driver did not start, as no PulseAudio or PipeWire is running. Start one (for "
                    "PipeWire: systemctl --user start pipewire-pulse; for PulseAudio: pulseaudio --start), then "
                    "look again.\n");
    else
        std::printf("No \"Monitor of ...\" input: PulseAudio or PipeWire offers no monitor of an output here.\n");
    if (!inputs.listable || !inputs.names.empty())
        std::printf("Capture one with: gloamer live --device NAME (its number or a part of its name will do).\n");
    printGpus();
    return 0;
}

} // namespace

void addDevicesCommand(CLI::App& app, CommandLine& commandLine)
{
    CLI::App* devices =
        app.add_subcommand("devices", "List the audio inputs that gloamer live can capture and the devices that draw");
    devices->footer(""); // not the top level's, which a subcommand inherits: it is about gloamer without a command
    devices->callback([&commandLine] { commandLine.action = runDevices; });
}

} // namespace gloamer
