// logo_choice.cpp -- the picture chosen for the logo made into the bitmap the plug-in reads, in a folder of its own.
#include "host/logo/logo_choice.h"

#include <cstdio>
#include <optional>

#include "host/logo/logo_folder.h"
#include "host/process/host_error.h"

namespace gloamer {

std::string pluginWithLogo(const std::string& plugin, const LogoChoice& logo, const std::string& music,
                           std::unique_ptr<LogoFolder>& folder, const std::vector<CoverPicture>* covers)
{
    if (logo.picture.empty())
        return plugin;
    std::optional<std::string> bitmap;
    if (logo.picture == "cover") {
        if (music.empty())
            throw UsageError("--logo cover takes the cover of a music file, and none was given");
        bitmap = covers ? logoBitmapFromCover(*covers, music, logo.size) : logoBitmapFromCover(music, logo.size);
        if (!bitmap) {
            std::fprintf(stderr, "gloamer: '%s' has no cover picture: drawing the plug-in's own logo\n", music.c_str());
            return plugin;
        }
    } else {
        bitmap = logoBitmapFromPicture(logo.picture, logo.size);
    }
    folder = std::make_unique<LogoFolder>(plugin, *bitmap);
    return folder->pluginPath();
}

} // namespace gloamer
