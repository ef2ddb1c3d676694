// media_input.cpp -- opens files, URLs and standard input through libavformat, its own log silenced.
#include "host/media/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <sys/stat.h>

#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

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

namespace {

thread_local int refusedWidth = 0, refusedHeight = 0;

// Says nothing, whatever the level: the one note kept is the size of a picture refused for its pixel count,
// which the decoders tell only there.
void onLibraryLog(void*, int, const char* format, va_list arguments)
{
    static const char refused[] = "Picture size %ux%u exceeds";
    if (format && std::strncmp(format, refused, sizeof(refused) - 1) == 0) {
        va_list copy;
        va_copy(copy, arguments);
        refusedWidth = (int)va_arg(copy, unsigned);
        refusedHeight = (int)va_arg(copy, unsigned);
        va_end(copy);
    }
}

} // namespace

void takeRefusedPictureSize(int& width, int& height)
{
    width = refusedWidth, height = refusedHeight;
    refusedWidth = refusedHeight = 0;
}

void silenceMediaLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_log_set_callback(onLibraryLog);
        avformat_network_init();
    });
}

MediaInput::MediaInput(std::unique_ptr<ReadWatch> watch, AVFormatContext* format)
    : watch_(std::move(watch)), format_(format)
{
}

namespace {

// Standard input, a FIFO or a device: read() there blocks without FFmpeg polling, so the watch must wake it.
bool readsBlock(const std::string& name)
{
    struct stat info;
    if (name == "-" || name == "pipe:" || name == "pipe:0")
        return fstat(0, &info) != 0 || !S_ISREG(info.st_mode);
    if (name.find("://") != std::string::npos)
        return false;
    return stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

} // namespace

void MediaInput::Closer::operator()(AVFormatContext* format) const
{
    avformat_close_input(&format);
}

MediaInput openMediaInput(const std::string& name, const std::string& what)
{
    silenceMediaLibraries();
    const std::string quoted = "'" + name + "'";
    const std::string url = name == "-" ? "pipe:0" : name;
    auto watch = std::make_unique<ReadWatch>(name == "-" ? "standard input" : name, readsBlock(name));
    AVFormatContext* format = nullptr;
    int result = 0;
    do {
        format = avformat_alloc_context();
        if (!format)
            throw std::bad_alloc();
        watch->watch(format);
        result = avformat_open_input(&format, url.c_str(), nullptr, nullptr); // frees the context on failure
        watch->watch(format);
        // A FIFO's open() waits for a writer, and the watch's timer ends that wait with EINTR: wait on.
    } while (result == AVERROR(EINTR) && watch->wokenOnly());
    if (result < 0) {
        watch->throwIfStopped();
        if (result == AVERROR(ENOENT))
            throw HostError("cannot open " + quoted + ": no such file");
        // A local file whose bytes no demuxer takes (some answer EINVAL rather than INVALIDDATA) is no music.
        if (result == AVERROR_INVALIDDATA || (result == AVERROR(EINVAL) && !isStreamName(name)))
            throw HostError("cannot read " + quoted + ": not " + what + " this build reads, or damaged or cut short");
        if (result == AVERROR_EOF)
            throw HostError("cannot read " + quoted + ": the file is damaged or cut short");
        // FFmpeg's own words name no cause a user can act on: these do.
        if (isStreamName(name) && name != "-")
            throw HostError("cannot open " + quoted + ": " +
                            (result == AVERROR(EIO) || result == AVERROR(ECONNREFUSED) || result == AVERROR(ETIMEDOUT)
                                 ? "no answer (the host is unknown or unreachable, or the address redirects in a loop)"
                             : result == AVERROR_PROTOCOL_NOT_FOUND ? "this build does not read that kind of address"
                             : result == AVERROR_HTTP_NOT_FOUND    ? "the server has no such file (404)"
                             : result == AVERROR_HTTP_FORBIDDEN    ? "the server refuses it (403)"
                                                                   : "the server or stream did not give media"));
        if (result == AVERROR(ENOMEM))
            throw HostError("cannot read " + quoted + ": its header asks for more memory than this machine has");
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, reason, sizeof(reason));
        throw HostError("cannot read " + quoted + ": " + reason);
    }
    ReadWatch& watching = *watch;
    MediaInput input(std::move(watch), format);
    // Pictures (a cover among them) are decoded here to learn their size: the decoders refuse a huge one at its
    // header instead of allocating it.
    std::vector<AVDictionary*> options(format->nb_streams, nullptr);
    for (AVDictionary*& streamOptions : options)
        av_dict_set(&streamOptions, "max_pixels", std::to_string(maxPicturePixels).c_str(), 0);
    int probed = avformat_find_stream_info(format, options.data());
    for (AVDictionary*& streamOptions : options)
        av_dict_free(&streamOptions);
    if (probed < 0) {
        watching.throwIfStopped();
        throw HostError("cannot read " + quoted + ": the file is damaged or cut short");
    }
    return input;
}

} // namespace gloamer
