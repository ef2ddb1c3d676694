// ffmpeg_handles.h -- deleters that let std::unique_ptr own FFmpeg's codec contexts, frames and packets, and its
// error codes as text.
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

namespace gloamer {

struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// FFmpeg's wording of an error code, for messages that name it.
inline std::string ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

} // namespace gloamer
