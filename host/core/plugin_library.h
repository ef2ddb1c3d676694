// plugin_library.h -- a loaded vis plug-in library: its header and module 0.
#pragma once

#include <string>

#include "platform/win32.h"
#include "plugin/state/records.h"

namespace gloamer {

class PluginLibrary {
public:
    // Loads the library and takes module 0; throws HostError naming what is wrong.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return path_; }
    HMODULE handle() const { return handle_; }
    VisHeader* header() const { return header_; }
    VisModule* module() const { return module_; }

private:
    std::string path_;
    HMODULE handle_ = nullptr;
    VisHeader* header_ = nullptr;
    VisModule* module_ = nullptr;
};

// Where the host looks for vis_gloamer when no plug-in is named: beside its executable, else in ../lib/gloamer.
std::string defaultPluginPath();
// The library --plugin names, or defaultPluginPath() when it names none.
std::string chosenPluginPath(const std::string& chosen);

} // namespace gloamer
