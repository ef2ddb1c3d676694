// records.h -- the API between a player and any vis plug-in: the header and module records, the two host messages.
#pragma once

#include <stddef.h>

#include "platform/win32.h"

struct VisModule;

typedef VisModule* (__cdecl* GetModuleFunction)(int index);
typedef int (__cdecl* ModuleCallback)(VisModule* module);

struct VisHeader {
    int version;
    const char* description;
    GetModuleFunction getModule;
};

struct VisModule {
    const char* description;
    HWND parentWindow;
    HINSTANCE libraryInstance;
    int sampleRate;
    int channelCount;
    int latencyMs;
    int delayMs;
    int spectrumChannelCount;
    int waveformChannelCount;
    unsigned char spectrumData[2][576];
    unsigned char waveformData[2][576];
    ModuleCallback config;
    ModuleCallback init;
    ModuleCallback render;
    ModuleCallback quit;
    void* userData;
};

// On a 32-bit target the records must match the host's layout byte for byte.
constexpr bool kThirtyTwoBit = sizeof(void*) == 4;
static_assert(!kThirtyTwoBit || sizeof(VisHeader) == 12, "VisHeader is 12 bytes");
static_assert(!kThirtyTwoBit || offsetof(VisHeader, getModule) == 8, "getModule at 8");
static_assert(!kThirtyTwoBit || sizeof(VisModule) == 2360, "VisModule is 2360 bytes");
static_assert(!kThirtyTwoBit || offsetof(VisModule, parentWindow) == 4, "parentWindow at 4");
static_assert(!kThirtyTwoBit || offsetof(VisModule, libraryInstance) == 8, "libraryInstance at 8");
static_assert(!kThirtyTwoBit || offsetof(VisModule, channelCount) == 16, "channelCount at 16");
static_assert(!kThirtyTwoBit || offsetof(VisModule, latencyMs) == 20, "latencyMs at 20");
static_assert(!kThirtyTwoBit || offsetof(VisModule, waveformChannelCount) == 32, "waveformChannelCount at 32");
static_assert(!kThirtyTwoBit || offsetof(VisModule, spectrumData) == 36, "spectrumData at 36");
static_assert(!kThirtyTwoBit || offsetof(VisModule, waveformData) == 1188, "waveformData at 1188");
static_assert(!kThirtyTwoBit || offsetof(VisModule, config) == 2340, "config at 2340");
static_assert(!kThirtyTwoBit || offsetof(VisModule, quit) == 2352, "quit at 2352");
static_assert(!kThirtyTwoBit || offsetof(VisModule, userData) == 2356, "userData at 2356");

// Sent to the host window as WM_USER with the operation number in lParam.
constexpr LPARAM HOSTMSG_VERSION_PROBE = 505;
constexpr LPARAM HOSTMSG_SET_RENDER_WINDOW = 611;
