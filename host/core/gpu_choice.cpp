// gpu_choice.cpp -- a --gpu request resolved against EGL's devices, with one line for each way it cannot be met.
#include "host/core/gpu_choice.h"

#include <algorithm>
#include <cctype>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.size() <= 6 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string nameOf(const EglDevice& device)
{
    if (!device.renderer.empty())
        return device.renderer;
    if (!device.deviceFile.empty())
        return device.deviceFile;
    return device.software ? "software renderer" : "GPU";
}

const EglDevice& probed(EglDevice& device, const std::function<void(EglDevice&)>& probe)
{
    if (!device.probed)
        probe(device);
    device.probed = true;
    return device;
}

// The devices as the error line lists them, each named by a context made on it.
std::string listed(std::vector<EglDevice>& devices, const std::function<void(EglDevice&)>& probe)
{
    for (EglDevice& device : devices)
        probed(device, probe);
    return " (this machine has " + std::to_string(devices.size()) + ": " + describeDevices(devices) +
           "; gloamer devices lists them)";
}

int drawingOrRefused(const GpuRequest& request, EglDevice& device, const std::function<void(EglDevice&)>& probe)
{
    if (!probed(device, probe).draws)
        throw HostError("--gpu " + request.text + ": device " + std::to_string(device.index) + " (" +
                        nameOf(device) + ") cannot draw: " + device.failure +
                        "; pick another with --gpu (gloamer devices lists them)");
    return device.index;
}

int automatic(std::vector<EglDevice>& devices, const std::function<void(EglDevice&)>& probe)
{
    for (bool software : {false, true})
        for (EglDevice& device : devices)
            if (device.software == software && probed(device, probe).draws)
                return device.index;
    std::string reasons;
    for (const EglDevice& device : devices)
        reasons += (reasons.empty() ? "" : "; ") + std::to_string(device.index) + ": " + device.failure;
    throw HostError("none of this machine's " + std::to_string(devices.size()) +
                    " EGL devices can make a GL context (" + reasons + ")");
}

} // namespace

std::optional<GpuRequest> parseGpuRequest(const std::string& text)
{
    if (text.empty() || text[0] == '-')
        return std::nullopt;
    GpuRequest request;
    request.text = text;
    const std::string word = lowered(text);
    if (word == "auto")
        request.kind = GpuRequest::Auto;
    else if (word == "software")
        request.kind = GpuRequest::Software;
    else if (allDigits(text)) {
        request.kind = GpuRequest::Index;
        request.index = std::stoi(text);
    } else {
        request.kind = GpuRequest::Name;
        request.name = word;
    }
    return request;
}

int chooseGpu(const GpuRequest& request, std::vector<EglDevice>& devices,
              const std::function<void(EglDevice&)>& probe)
{
    if (devices.empty()) {
        if (request.kind == GpuRequest::Auto)
            return -1;
        throw UsageError("--gpu " + request.text + ": this machine's EGL lists no devices that draw offscreen "
                         "(it lacks EGL_EXT_device_enumeration); leave --gpu out to draw where the driver chooses");
    }
    switch (request.kind) {
    case GpuRequest::Auto:
        return automatic(devices, probe);
    case GpuRequest::Index:
        if (request.index < 0 || (size_t)request.index >= devices.size())
            throw UsageError("--gpu " + request.text + ": there is no device " + std::to_string(request.index) +
                             listed(devices, probe));
        return drawingOrRefused(request, devices[(size_t)request.index], probe);
    case GpuRequest::Software:
        for (EglDevice& device : devices)
            if (device.software)
                return drawingOrRefused(request, device, probe);
        throw UsageError("--gpu software: this machine's EGL lists no software renderer" + listed(devices, probe) +
                         "; Mesa's EGL (libegl-mesa0) brings one");
    case GpuRequest::Name:
        for (EglDevice& device : devices) {
            probed(device, probe);
            for (const std::string& field : {device.renderer, device.vendor, device.deviceFile})
                if (!field.empty() && lowered(field).find(request.name) != std::string::npos)
                    return drawingOrRefused(request, device, probe);
        }
        throw UsageError("--gpu " + request.text + ": no device's vendor or renderer names it" + listed(devices, probe));
    }
    return -1;
}

std::optional<EglDevice> drawOnChosenGpu(const GpuRequest& request)
{
    std::vector<EglDevice> devices = listEglDevices();
    const int index = chooseGpu(request, devices, probeEglDevice);
    if (index < 0)
        return std::nullopt;
    if (!drawOffscreenOn(index))
        throw HostError("--gpu " + request.text + ": the drawing device can no longer be chosen (video has started)");
    return devices[(size_t)index];
}

void checkDrawsOnChosenGpu(const GpuRequest& request, const std::optional<EglDevice>& chosen, const GlRenderer& gl)
{
    if (!chosen || gl.renderer == chosen->renderer)
        return;
    throw HostError("--gpu " + request.text + ": device " + std::to_string(chosen->index) + " (" +
                    chosen->renderer + ") was chosen, but the plug-in's GL context draws with " +
                    (gl.known() ? gl.renderer : std::string("an unnamed renderer")) +
                    "; nothing was drawn on the device asked for");
}

std::string describeDevices(const std::vector<EglDevice>& devices)
{
    std::string text;
    for (const EglDevice& device : devices)
        text += (text.empty() ? "" : "; ") + std::to_string(device.index) + ": " + nameOf(device) +
                (device.software && !device.renderer.empty() ? " (software)" : "");
    return text;
}

} // namespace gloamer
