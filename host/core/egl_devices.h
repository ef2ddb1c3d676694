// egl_devices.h -- the GPUs (and software rasterizers) that can draw offscreen, as EGL lists its devices.
#pragma once

#include <string>
#include <vector>

namespace gloamer {

struct EglDevice {
    int index = 0;           // in EGL's order, the order the platform layer takes them in
    bool software = false;   // a rasterizer on the CPU (Mesa's software device)
    std::string deviceFile;  // /dev/dri/... where EGL says
    // Filled by probeEglDevice:
    bool probed = false;
    bool draws = false;      // a GL context could be made and made current on it
    std::string vendor;      // GL_VENDOR
    std::string renderer;    // GL_RENDERER
    std::string failure;     // why it cannot draw
};

// EGL's devices, without starting any (so that it is safe before a fork); empty where EGL cannot list
// devices (no EGL_EXT_device_enumeration or EGL_EXT_platform_device).
std::vector<EglDevice> listEglDevices();

// Makes a GL context on the device, reads its names, and lets it go again.
void probeEglDevice(EglDevice& device);

// Has the platform layer's offscreen windows draw on EGL device `index`; false once its video has started.
bool drawOffscreenOn(int index);

} // namespace gloamer
