// output_checks.h -- the checks every output passes before it is opened: its folder, what stands at its name, and
// that it is none of the inputs under any of their names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gloamer {

// The lower-case extension of a path's last name, without the dot; empty when it has none.
std::string outputExtension(const std::string& path);

// Refuses, with a HostError that names the fix, a missing or unwritable folder for `output`.
void checkOutputFolder(const std::string& output);
// Refuses one name that `output` will take: the input itself under any of its names, a name over 255 bytes, a
// folder in the way, or an existing file without --overwrite.
void checkOutputName(const std::string& output, const std::string& name, bool overwrite,
                     const std::vector<std::string>& inputs);

// The checks of an output of any other kind (a frame data file, a logo): its folder, its name, the inputs.
void checkOutputFile(const std::string& path, bool overwrite, const std::vector<std::string>& inputs);

// The checks of the file a render's progress lines go to (`-`: standard output, not checked): never one of the
// inputs nor the output, under any of their names; a FIFO or character device is written into as it is; any
// other name gets checkOutputFile's rules (an existing file is replaced only with --overwrite, never a socket).
void checkProgressFile(const std::string& path, bool overwrite, const std::string& output,
                       const std::vector<std::string>& inputs);

// True when `output` names numbered pictures (a printf pattern such as frames/%05d.png) rather than a video.
bool isPictureSequence(const std::string& output);

// The name of picture `number` (from 1) of a sequence `pattern`.
std::string pictureName(const std::string& pattern, int64_t number);

} // namespace gloamer
