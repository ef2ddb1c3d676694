// entry.cpp -- the library's one export, the header it returns and module 0 with its callbacks.
#include "plugin/entry/entry.h"

#include "plugin/entry/callbacks.h"

static const char pluginDescription[] = "Gloamer";

static constexpr VisModule moduleAtLoad = {
    pluginDescription,
    nullptr, // parentWindow: the host's
    nullptr, // libraryInstance: the host's
    0,       // sampleRate
    0,       // channelCount
    25,      // latencyMs
    25,      // delayMs
    2,       // spectrumChannelCount
    0,       // waveformChannelCount
    {},      // spectrumData
    {},      // waveformData
    pluginConfig,
    pluginInit,
    pluginRender,
    pluginQuit,
    nullptr, // userData
};

static constinit VisModule visModule = moduleAtLoad;

static VisHeader visHeader = {0x101, pluginDescription, getModule};

VisModule* __cdecl getModule(int index)
{
    return index == 0 ? &visModule : nullptr;
}

void resetModuleRecord()
{
    visModule = moduleAtLoad;
}

extern "C" PLUGIN_EXPORT VisHeader* __cdecl winampVisGetHeader(void)
{
    return &visHeader;
}
