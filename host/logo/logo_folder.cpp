// logo_folder.cpp -- makes the private plug-in folder: a fresh mkdtemp folder, the library copied, the logo written.
#include "host/logo/logo_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/process/host_error.h"

namespace gloamer {

namespace fs = std::filesystem;

LogoFolder::LogoFolder(const std::string& pluginPath, const std::string& bitmap)
{
    fs::path base = fs::temp_directory_path();
    // What a run killed outright left here goes first; this run's folder names its machine and process.
    removeLitterOf(base.string(), "gloamer-logo");
    std::string pattern = (base / (temporaryStem("gloamer-logo") + "XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw HostError("cannot make a folder for the logo in '" + base.string() + "': " + std::strerror(errno));
    folder_ = std::make_unique<TemporaryPath>(pattern);
    fs::path library = fs::path(pattern) / fs::path(pluginPath).filename();
    library_ = std::make_unique<TemporaryPath>(library.string());
    std::error_code error;
    if (!fs::copy_file(pluginPath, library, error))
        throw HostError("cannot copy the plug-in '" + pluginPath + "' beside the logo: " + error.message());
    logo_ = std::make_unique<TemporaryPath>((fs::path(pattern) / "vis_gloamer.bmp").string());
    std::ofstream out(logo_->path(), std::ios::binary);
    if (!(out << bitmap) || !out.flush())
        throw HostError("cannot write the logo in '" + pattern + "'");
}

} // namespace gloamer
