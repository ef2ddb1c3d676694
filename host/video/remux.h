// remux.h -- videos copied packet for packet into a new container: opening inputs and outputs, the final
// +faststart MP4 made from the fragmented one written while rendering, and what a killed render left.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;

namespace gloamer {

struct InputCloser {
    void operator()(AVFormatContext* context) const;
};
using MediaInput = std::unique_ptr<AVFormatContext, InputCloser>;
// Throws HostError naming `path` when it cannot be read.
MediaInput openMediaInput(const std::string& path);

struct OutputCloser {
    void operator()(AVFormatContext* context) const;
};
using MediaOutput = std::unique_ptr<AVFormatContext, OutputCloser>;
// A muxer chosen by `name`'s extension; HostError for an unknown one.
MediaOutput newMediaOutput(const std::string& name);

// Opens `file` for `output` and writes its header: MP4 and MOV with their index to go at the front
// (+faststart, so that a browser starts playing before the whole has come), or, with `fragmented`, as
// fragments that begin at each keyframe and reach the file as each one ends, so that the file stays readable up
// to its last whole fragment whatever happens to the writer. Errors name `name`.
void startMediaOutput(AVFormatContext* output, const std::string& file, const std::string& name, bool fragmented);

// Copies every stream of `from` into a new file at `to` (written whole or not at all; `replace` as for
// PendingFile), with the comment tag `comment`. With `lenient`, a read error ends the copy as the end of the
// file would. Returns the video frames copied; with none, nothing is written.
int64_t remuxMedia(const std::string& from, const std::string& to, bool replace, const std::string& comment,
                   bool lenient);

// What a render that died left in `temporary` (the file it was writing) made into a playable video at
// `target`: an MP4 or MOV cut to its last whole fragment, a Matroska file to its last readable packet.
// Returns the video frames kept; 0 when there was not one whole fragment, and `target` is left as it was.
int64_t salvageVideo(const std::string& temporary, const std::string& target, bool replace);

} // namespace gloamer
