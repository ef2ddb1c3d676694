// title_file.h -- the title of what plays, as one line in a file that overlays read.
#pragma once

#include <string>

namespace gloamer {

// Replaces `path` with `title` and a newline, whole: a reader sees the old line or the new, never part of one.
// Line breaks in the title become spaces. Throws HostError when it cannot be written.
void writeTitleFile(const std::string& path, const std::string& title);

} // namespace gloamer
