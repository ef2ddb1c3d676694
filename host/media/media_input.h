// media_input.h -- a file, URL or standard input opened through FFmpeg's demuxers, quietly and with errors a user can act on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/media/read_watch.h"

struct AVFormatContext;

namespace gloamer {

// The largest picture decoded anywhere (a logo, a cover): 64 megapixels, 8192 x 8192.
constexpr int64_t maxPicturePixels = int64_t{8192} * 8192;

// True for what is read as a stream rather than a file on disk: "-" (standard input) or a URL such as http://.
bool isStreamName(const std::string& name);
// What a track is called: the file's or URL's last part without its folder, or "standard input" for "-".
std::string displayName(const std::string& name);

// An opened and probed container whose reads give way to Ctrl-C and to the read timeout. Throws HostError
// naming `name` when it cannot be opened or is not media (`what` it should have been: "an audio file"), and
// StopRequested when a stop was asked for meanwhile.
class MediaInput {
public:
    MediaInput(std::unique_ptr<ReadWatch> watch, AVFormatContext* format);
    AVFormatContext* format() const { return format_.get(); }
    // After a read failed: throws when a stop request or the timeout ended it; returns otherwise.
    void throwIfStopped() const { watch_->throwIfStopped(); }

private:
    struct Closer {
        void operator()(AVFormatContext* format) const;
    };
    std::unique_ptr<ReadWatch> watch_; // outlives the context, whose callback it is
    std::unique_ptr<AVFormatContext, Closer> format_;
};
MediaInput openMediaInput(const std::string& name, const std::string& what = "an audio file");

// The size of the last picture a decoder on this thread refused as larger than maxPicturePixels (0 x 0 when
// none since the last call), forgotten once taken.
void takeRefusedPictureSize(int& width, int& height);

// FFmpeg's libraries print notes on stderr by themselves; the host says what matters in its own words.
void silenceMediaLibraries();

} // namespace gloamer
