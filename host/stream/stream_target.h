// stream_target.h -- where `--to` sends a stream: which muxer, what it opens, and how it is named in messages.
#pragma once

#include <string>

namespace gloamer {

enum class StreamKind {
    Rtmp,           // rtmp:// or rtmps://: FLV, what video sites ingest
    Srt,            // srt://: MPEG-TS
    StandardOutput, // -: MPEG-TS on standard output
    Hls,            // a folder or a .m3u8 path: a playlist and its segments, written on the spot
};

struct StreamTarget {
    StreamKind kind = StreamKind::Rtmp;
    std::string muxer;      // FFmpeg's name for it: flv, mpegts or hls
    std::string url;        // what the muxer opens: the URL, pipe:1 or the playlist's path
    std::string segments;   // HLS: the segments' name pattern, beside the playlist
    std::string shownName;  // for messages: the URL without its stream key
};

// What `to` names: rtmp://, rtmps://, srt://, -, an existing folder or one named with a trailing '/', or a path
// ending in .m3u8. Throws UsageError, naming what it takes, for anything else (another scheme, a file name).
StreamTarget streamTargetFor(const std::string& to);

// A URL as messages show it: the last part of an RTMP path is the stream key, a secret, and query values
// (an SRT passphrase) are hidden too.
std::string urlWithoutSecrets(const std::string& url);

} // namespace gloamer
