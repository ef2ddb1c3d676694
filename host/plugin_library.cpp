// plugin_library.cpp -- loads a plug-in library and checks its export, header and module.
#include "host/plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include "host/host_error.h"

namespace gloamer {

typedef VisHeader* (__cdecl* GetHeaderFunction)(void);

PluginLibrary::PluginLibrary(const std::string& path) : path_(path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        throw HostError("cannot open plug-in '" + path + "': no such file (give another with --plugin PATH)");
    if (S_ISDIR(info.st_mode))
        throw HostError("cannot open plug-in '" + path + "': it is a folder (give the library with --plugin PATH)");
    // A bare file name would make the loader search the system's folders instead of this one.
    std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = LoadLibraryA(loadPath.c_str());
    if (!handle_) {
        // The loader's own reason tells a Windows DLL or a missing dependency from a damaged file.
        const char* reason = dlerror();
        throw HostError("cannot load plug-in '" + path + "': not a loadable library for this system" +
                        (reason ? std::string(" (") + reason + ")" : std::string()));
    }
    auto getHeader = (GetHeaderFunction)GetProcAddress(handle_, "winampVisGetHeader");
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
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // Beside the program in a build folder; in lib/gloamer beside bin/ once installed.
    std::string beside = folder + "vis_gloamer.so";
    std::string installed = folder + "../lib/gloamer/vis_gloamer.so";
    struct stat info;
    if (stat(beside.c_str(), &info) != 0 && stat(installed.c_str(), &info) == 0)
        return installed;
    return beside;
}

} // namespace gloamer
