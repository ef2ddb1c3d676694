// media_input.h -- a file, URL or standard input opened through FFmpeg's demuxers, quietly and with errors a user can act on.
#pragma once

#include <memory>
#include <string>

struct AVFormatContext;

namespace gloamer {

// True for what is read as a stream rather than a file on disk: "-" (standard input) or a URL such as http://.
bool isStreamName(const std::string& name);
// What a track is called: the file's or URL's last part without its folder, or "standard input" for "-".
std::string displayName(const std::string& name);

// An opened and probed container. Throws HostError naming `name` when it cannot be opened or is not media.
class MediaInput {
public:
    explicit MediaInput(AVFormatContext* format);
    AVFormatContext* format() const { return format_.get(); }

private:
    struct Closer {
        void operator()(AVFormatContext* format) const;
    };
    std::unique_ptr<AVFormatContext, Closer> format_;
};
MediaInput openMediaInput(const std::string& name);

// FFmpeg's libraries print notes on stderr by themselves; the host says what matters in its own words.
void silenceMediaLibraries();

} // namespace gloamer
