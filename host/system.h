// system.h -- what the host asks of the operating system beyond Win32: what a path is, path separators, loader errors.
#pragma once

#include <string>

namespace gloamer {

enum class PathKind { missing, file, folder };

PathKind pathKind(const std::string& path);
bool isPathSeparator(char c);
// The part of `path` after its last separator.
std::string fileNameOf(const std::string& path);
// Why the last LoadLibraryA failed, in the system's words; empty when it does not say.
std::string lastLoadError();
// The file name of our own plug-in on this system.
extern const char ownPluginFileName[];

} // namespace gloamer
