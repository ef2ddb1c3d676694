// ffmpeg_handles.h -- deleters that let std::unique_ptr own FFmpeg's codec contexts, frames and packets.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
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

} // namespace gloamer
