// stream_target.cpp -- `--to` read: a URL's scheme, standard output, or a place on disk for HLS.
#include "host/stream/stream_target.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "host/process/host_error.h"

namespace gloamer {

namespace {

// "rtmp" of "rtmp://host/app", empty where the text has no scheme.
std::string schemeOf(const std::string& text)
{
    const size_t colon = text.find("://");
    if (colon == std::string::npos || colon == 0 || !std::isalpha((unsigned char)text[0]))
        return {};
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        if (!std::isalnum((unsigned char)c) && c != '+' && c != '-' && c != '.')
            return {};
        scheme += (char)std::tolower((unsigned char)c);
    }
    return scheme;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

StreamTarget hlsTarget(const std::string& to)
{
    namespace fs = std::filesystem;
    StreamTarget target;
    target.kind = StreamKind::Hls;
    target.muxer = "hls";
    std::error_code error;
    std::string lower;
    for (char c : to)
        lower += (char)std::tolower((unsigned char)c);
    if (endsWith(lower, ".m3u8")) {
        fs::path playlist(to);
        target.url = to;
        target.segments = (playlist.parent_path() / playlist.stem()).string() + "-%d.ts";
    } else if (endsWith(to, "/") || fs::is_directory(to, error)) {
        fs::path folder(to);
        target.url = (folder / "stream.m3u8").string();
        target.segments = (folder / "stream-%d.ts").string();
    } else {
        throw UsageError("'" + to + "' is not a place to stream to: use rtmp://, rtmps:// or srt:// URLs, a folder "
                         "or a .m3u8 path for HLS, or - for standard output");
    }
    target.shownName = target.url;
    return target;
}

} // namespace

std::string urlWithoutSecrets(const std::string& url)
{
    std::string shown = url;
    const size_t query = shown.find('?');
    if (query != std::string::npos)
        shown = shown.substr(0, query) + "?<hidden>";
    const std::string scheme = schemeOf(url);
    if (scheme == "rtmp" || scheme == "rtmps") {
        const size_t host = shown.find("://") + 3;
        const size_t app = shown.find('/', host);
        const size_t key = app == std::string::npos ? std::string::npos : shown.find('/', app + 1);
        if (key != std::string::npos && key + 1 < shown.size())
            shown = shown.substr(0, key + 1) + "<key>";
    }
    return shown;
}

StreamTarget streamTargetFor(const std::string& to)
{
    if (to.empty())
        throw UsageError("--to names no place to stream to");
    if (to == "-")
        return StreamTarget{StreamKind::StandardOutput, "mpegts", "pipe:1", "", "standard output"};
    const std::string scheme = schemeOf(to);
    if (scheme == "rtmp" || scheme == "rtmps")
        return StreamTarget{StreamKind::Rtmp, "flv", to, "", urlWithoutSecrets(to)};
    if (scheme == "srt")
        return StreamTarget{StreamKind::Srt, "mpegts", to, "", urlWithoutSecrets(to)};
    if (!scheme.empty())
        throw UsageError("cannot stream to '" + urlWithoutSecrets(to) + "': " + scheme +
                         ":// is not a way gloamer streams (it takes rtmp://, rtmps://, srt://, a folder or .m3u8 "
                         "path for HLS, or -)");
    return hlsTarget(to);
}

} // namespace gloamer
