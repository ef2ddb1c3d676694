// png_encoder_ffmpeg.cpp -- pictures of a sequence as compressed PNG files, through FFmpeg's PNG encoder.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

#include <memory>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {


} // namespace

std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    std::unique_ptr<AVCodecContext, CodecCloser> encoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    std::unique_ptr<AVFrame, FrameCloser> picture(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!encoder || !picture || !packet)
        throw HostError("this FFmpeg cannot write PNG pictures");
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = AVRational{1, 1};
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0)
        throw HostError("cannot start the PNG encoder");
    picture->format = AV_PIX_FMT_RGB24;
    picture->width = width;
    picture->height = height;
    av_image_fill_arrays(picture->data, picture->linesize, rgb, AV_PIX_FMT_RGB24, width, height, 1);
    if (avcodec_send_frame(encoder.get(), picture.get()) < 0 || avcodec_receive_packet(encoder.get(), packet.get()) < 0)
        throw HostError("cannot encode a PNG picture");
    return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}

} // namespace gloamer
