// gpu_choice.h -- --gpu auto|N|NAME|software: which of EGL's devices draws a render.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/core/egl_devices.h"
#include "host/core/gl_renderer.h"

namespace gloamer {

struct GpuRequest {
    enum Kind { Auto, Index, Name, Software } kind = Auto;
    int index = -1;
    std::string name; // matched, ignoring case, within the vendor or renderer or device file
    std::string text; // as given
};

// Nothing for an empty text or one that looks like an option.
std::optional<GpuRequest> parseGpuRequest(const std::string& text);

// The device to draw on, or -1 to leave the choice to the driver (auto where EGL lists no devices). `auto`
// takes the first hardware device that can make a context, else a software one. Throws UsageError for a device
// that is not there, HostError for one that is there and cannot make a context. `probe` fills what
// probeEglDevice does, and is called only on the devices that the choice needs (on all of them for a line that
// lists them).
int chooseGpu(const GpuRequest& request, std::vector<EglDevice>& devices,
              const std::function<void(EglDevice&)>& probe);

// Chooses the device for `request` among EGL's and has the platform layer's offscreen windows draw on it
// (before video starts); the device chosen, if any. Throws as chooseGpu does.
std::optional<EglDevice> drawOnChosenGpu(const GpuRequest& request);

// Throws HostError when the plug-in's context draws with another renderer than the chosen device's: a driver
// that fell back to another device must not pass for the one asked for.
void checkDrawsOnChosenGpu(const GpuRequest& request, const std::optional<EglDevice>& chosen, const GlRenderer& gl);

// "0: llvmpipe (software)" for each device, probed or not, joined by "; ".
std::string describeDevices(const std::vector<EglDevice>& devices);

} // namespace gloamer
