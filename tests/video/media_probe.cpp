// media_probe.cpp -- opens a media file, decodes its video and audio streams and reports what it found.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "tests/video/media_probe.h"

namespace gloamer::testing {

namespace {

struct Decoder {
    AVCodecContext* context = nullptr;
    int stream = -1;
    ~Decoder() { avcodec_free_context(&context); }
    bool open(AVFormatContext* format, AVMediaType type)
    {
        stream = av_find_best_stream(format, type, -1, -1, nullptr, 0);
        if (stream < 0)
            return false;
        const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        context = avcodec_alloc_context3(codec);
        return context && avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0 &&
               avcodec_open2(context, codec, nullptr) >= 0;
    }
};

} // namespace

MediaInfo probeMedia(const std::string& path, int keepEvery)
{
    MediaInfo info;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return info;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return info;
    }
    info.opened = true;
    info.durationSeconds = format->duration > 0 ? format->duration / (double)AV_TIME_BASE : 0;
    Decoder video, audio;
    bool hasVideo = video.open(format, AVMEDIA_TYPE_VIDEO);
    info.hasAudio = audio.open(format, AVMEDIA_TYPE_AUDIO);
    if (hasVideo) {
        info.width = video.context->width;
        info.height = video.context->height;
        AVRational rate = format->streams[video.stream]->avg_frame_rate;
        info.framesPerSecond = rate.den ? av_q2d(rate) : 0;
    }
    if (info.hasAudio)
        info.audioSampleRate = audio.context->sample_rate;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* toRgb = nullptr;
    auto drain = [&](Decoder& decoder, bool isVideo) {
        while (avcodec_receive_frame(decoder.context, frame) >= 0) {
            if (!isVideo) {
                info.audioSamples += frame->nb_samples;
                continue;
            }
            if (keepEvery > 0 && info.videoFrames % keepEvery == 0) {
                toRgb = sws_getCachedContext(toRgb, frame->width, frame->height, (AVPixelFormat)frame->format,
                                             frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr,
                                             nullptr, nullptr);
                std::vector<uint8_t> rgb((size_t)frame->width * frame->height * 3);
                uint8_t* planes[1] = {rgb.data()};
                int stride[1] = {frame->width * 3};
                // Back to RGB with the matrix and range the stream is tagged with.
                int matrix = frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
                sws_setColorspaceDetails(toRgb, sws_getCoefficients(matrix), frame->color_range == AVCOL_RANGE_JPEG,
                                         sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
                sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, planes, stride);
                info.pictures.push_back(std::move(rgb));
            }
            ++info.videoFrames;
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (hasVideo && packet->stream_index == video.stream && avcodec_send_packet(video.context, packet) >= 0)
            drain(video, true);
        else if (info.hasAudio && packet->stream_index == audio.stream &&
                 avcodec_send_packet(audio.context, packet) >= 0)
            drain(audio, false);
        av_packet_unref(packet);
    }
    if (hasVideo && avcodec_send_packet(video.context, nullptr) >= 0)
        drain(video, true);
    if (info.hasAudio && avcodec_send_packet(audio.context, nullptr) >= 0)
        drain(audio, false);
    sws_freeContext(toRgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return info;
}

} // namespace gloamer::testing
