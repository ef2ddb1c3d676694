// logo_choice.h -- the logo a plug-in is to draw, and so the library it runs from: its own, or a copy beside the logo.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/logo/logo_picture.h"
#include "host/media/cover_picture.h"

namespace gloamer {

class LogoFolder;

// --logo and --logo-size.
struct LogoChoice {
    std::string picture;        // a picture, "cover" (the music's own), or empty for the plug-in's own logo
    int size = defaultLogoSize; // the square it is fitted into
};

// The plug-in library to load for `plugin`: itself, or, under a logo, a copy in a private folder beside that logo,
// which lives as long as `folder`. `music` is the file a cover comes from (empty: the demo), `covers` those already
// taken from its input. A cover asked of the demo is a command-line error (UsageError); music without one leaves
// the plug-in's own logo, with a word on stderr.
std::string pluginWithLogo(const std::string& plugin, const LogoChoice& logo, const std::string& music,
                           std::unique_ptr<LogoFolder>& folder, const std::vector<CoverPicture>* covers = nullptr);

} // namespace gloamer
