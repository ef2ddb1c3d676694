// logo_picture.h -- any picture, or a music file's embedded cover, as the 24-bit bitmap the plug-in reads as its logo.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/media/cover_picture.h"

namespace gloamer {

// The sides of the square a logo is fitted into unless the command line says otherwise, and the bounds it may say.
constexpr int defaultLogoSize = 256;
constexpr int smallestLogoSize = 16;
constexpr int largestLogoSize = 1024;

// Decodes `picture` (PNG, JPEG, WebP, BMP, a GIF's first frame: any still FFmpeg reads) and returns the bytes of
// a bottom-up 24-bit BMP of size x size pixels, the picture scaled to fit and centred on black. Throws
// HostError naming the picture when it cannot be read.
std::string logoBitmapFromPicture(const std::string& picture, int size);
// The same made from the cover embedded in a music file (an attached picture); nothing when it has none.
std::optional<std::string> logoBitmapFromCover(const std::string& music, int size);
// The same from covers already taken from the music's input (a stream is read once), `music` naming it.
std::optional<std::string> logoBitmapFromCover(const std::vector<CoverPicture>& covers, const std::string& music,
                                               int size);

} // namespace gloamer
