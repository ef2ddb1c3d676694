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
// Renames `from` onto `to` only while nothing stands at `to`; errno EEXIST when something does.
bool renameWithoutReplacing(const std::string& from, const std::string& to);
// True when what stands at `path` itself is neither a regular file, a folder nor a link: a FIFO, device or socket.
bool isSpecialFile(const std::string& path);
// True when `path` leads (through links) to a FIFO or a character device: a stream that is written into as it
// is (a reader's pipe, /dev/null, a terminal), never replaced.
bool isStreamFile(const std::string& path);
// True when `path` leads to the file that standard input reads.
bool isStandardInput(const std::string& path);
// This machine's name, as far as it may go into a file name; and whether process `pid` of it has ended.
std::string hostName();
bool processHasEnded(long pid);
// The part of `path` after its last separator.
std::string fileNameOf(const std::string& path);
// Why the last LoadLibraryA failed, in the system's words; empty when it does not say.
std::string lastLoadError();
// The file name of our own plug-in on this system.
extern const char ownPluginFileName[];

} // namespace gloamer
