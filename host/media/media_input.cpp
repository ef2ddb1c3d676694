// media_input.cpp -- opens files, URLs and standard input through libavformat, its own log silenced.
#include "host/media/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <mutex>

#include "host/process/host_error.h"

namespace gloamer {

bool isStreamName(const std::string& name)
{
    return name == "-" || name.find("://") != std::string::npos;
}

std::string displayName(const std::string& name)
{
    if (name == "-")
        return "standard input";
    // A URL's query and fragment are not part of its name.
    std::string path = isStreamName(name) ? name.substr(0, name.find_first_of("?#")) : name;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void silenceMediaLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        avformat_network_init();
    });
}

MediaInput::MediaInput(AVFormatContext* format) : format_(format) {}

void MediaInput::Closer::operator()(AVFormatContext* format) const
{
    avformat_close_input(&format);
}

MediaInput openMediaInput(const std::string& name)
{
    silenceMediaLibraries();
    const std::string quoted = "'" + name + "'";
    const std::string url = name == "-" ? "pipe:0" : name;
    AVFormatContext* format = nullptr;
    int result = avformat_open_input(&format, url.c_str(), nullptr, nullptr);
    if (result < 0) {
        if (result == AVERROR(ENOENT))
            throw HostError("cannot open " + quoted + ": no such file");
        // A local file whose bytes no demuxer takes (some answer EINVAL rather than INVALIDDATA) is no music.
        if (result == AVERROR_INVALIDDATA || (result == AVERROR(EINVAL) && !isStreamName(name)))
            throw HostError("cannot read " + quoted + ": not an audio file this build reads, or damaged or cut short");
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, reason, sizeof(reason));
        throw HostError("cannot " + std::string(isStreamName(name) ? "open " : "read ") + quoted + ": " + reason);
    }
    MediaInput input(format);
    if (avformat_find_stream_info(format, nullptr) < 0)
        throw HostError("cannot read " + quoted + ": the file is damaged or cut short");
    return input;
}

} // namespace gloamer
