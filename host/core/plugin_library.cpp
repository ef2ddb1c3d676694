// plugin_library.cpp -- loads a plug-in library and checks its export, header and module.
#include "host/core/plugin_library.h"

#include <algorithm>

#include "host/process/host_error.h"
#include "host/process/system.h"

namespace gloamer {

typedef VisHeader* (__cdecl* GetHeaderFunction)(void);

PluginLibrary::PluginLibrary(const std::string& path) : path_(path)
{
    PathKind kind = pathKind(path);
    if (kind == PathKind::missing)
        throw HostError("cannot open plug-in '" + path + "': no such file (give another with --plugin PATH)");
    if (kind == PathKind::folder)
        throw HostError("cannot open plug-in '" + path + "': it is a folder (give the library with --plugin PATH)");
    // A bare file name would make the loader search the system's folders instead of this one.
    bool bare = std::none_of(path.begin(), path.end(), isPathSeparator);
    std::string loadPath = bare ? "./" + path : path;
    handle_ = LoadLibraryA(loadPath.c_str());
    if (!handle_) {
        // The loader's own reason tells a library for another system or a missing dependency from a damaged file.
        std::string reason = lastLoadError();
        throw HostError("cannot load plug-in '" + path + "': not a loadable library for this system" +
                        (reason.empty() ? std::string() : " (" + reason + ")"));
    }
    auto getHeader = (GetHeaderFunction)(void*)GetProcAddress(handle_, "winampVisGetHeader");
    if (!getHeader) {
        FreeLibrary(handle_);
        throw HostError("'" + path + "' is not a vis plug-in: it does not export winampVisGetHeader");
    }
    header_ = getHeader();
    if (!header_ || !header_->getModule) {
        FreeLibrary(handle_);
        throw HostError("plug-in '" + path + "' returned no header");
    }
    module_ = header_->getModule(0);
    if (!module_ || !module_->init || !module_->render || !module_->quit) {
        FreeLibrary(handle_);
        throw HostError("plug-in '" + path + "' has no usable module 0");
    }
}

PluginLibrary::~PluginLibrary()
{
    FreeLibrary(handle_);
}

std::string defaultPluginPath()
{
    char executable[4096];
    DWORD length = GetModuleFileNameA(nullptr, executable, sizeof(executable));
    std::string path(executable, length < sizeof(executable) ? length : 0);
    std::string folder = path.substr(0, path.size() - fileNameOf(path).size());
    // Beside the program in a build folder; in lib/gloamer beside bin/ once installed.
    std::string beside = folder + ownPluginFileName;
    std::string installed = folder + "../lib/gloamer/" + ownPluginFileName;
    if (pathKind(beside) == PathKind::missing && pathKind(installed) == PathKind::file)
        return installed;
    return beside;
}

std::string chosenPluginPath(const std::string& chosen)
{
    return chosen.empty() ? defaultPluginPath() : chosen;
}

} // namespace gloamer
