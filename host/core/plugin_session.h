// plugin_session.h -- one run of a plug-in: its host fields filled, init, frames, quit, all on the calling thread.
#pragma once

#include <string>

#include "host/core/host_window.h"
#include "host/core/message_loop.h"
#include "host/core/plugin_library.h"

namespace gloamer {

class PluginSession {
public:
    // Fills the host's fields of module 0 and calls init; throws HostError when init reports failure.
    PluginSession(PluginLibrary& library, HostWindow& host, int sampleRate, int channelCount);
    // The same for a module linked into the host (the page's): `name` says which in the error.
    PluginSession(VisModule& module, HINSTANCE instance, const std::string& name, HostWindow& host, int sampleRate,
                  int channelCount);
    // Calls quit if the plug-in is still running.
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    VisModule& module() { return *module_; }
    // The render callback's verdict: nonzero asks the host to stop, as a player would.
    int render();
    void quit();
    bool running() const { return running_; }

private:
    VisModule* module_;
    bool running_ = false;
};

} // namespace gloamer
