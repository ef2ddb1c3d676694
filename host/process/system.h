// system.h -- what the host asks of the operating system beyond Win32: what a path is, path separators, loader errors.
#pragma once

#include <string>

namespace gloamer {

enum class PathKind { missing, file, folder };

PathKind pathKind(const std::string& path);
// What stands at `path` itself: a link, even one leading nowhere, counts as a file.
PathKind entryKind(const std::string& path);
bool isPathSeparator(char c);
// True when both names lead (through links, `..` or another hard link) to one existing file.
bool sameFile(const std::string& a, const std::string& b);
// Renames `from` onto `to`, replacing a file (or a link, never what it points to) already there; errno on failure.
bool replaceFile(const std::string& from, const std::string& to);
// The part of `path` after its last separator.
std::string fileNameOf(const std::string& path);
// Why the last LoadLibraryA failed, in the system's words; empty when it does not say.
std::string lastLoadError();
// The file name of our own plug-in on this system.
extern const char ownPluginFileName[];

} // namespace gloamer
