// stream_encoder.cpp -- RGB pictures to H.264 and 16-bit sound to AAC, packet by packet, for a live stream.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "host/stream/stream_encoder.h"

#include <algorithm>
#include <cstring>

#include "host/process/host_error.h"
#include "host/stream/stream_audio.h"
#include "host/video/frame_sink.h"

namespace gloamer {

StreamEncoder::StreamEncoder(const StreamFormat& format, SoundRead sound, PacketOut out)
    : format_(format), sound_(std::move(sound)), out_(std::move(out))
{
    // FFmpeg's own lines (a refused connection, a muxer's notices) would break the one-line errors: every failure
    // reaches the user as a HostError instead.
    av_log_set_level(AV_LOG_FATAL);
    packet_.reset(av_packet_alloc());
    picture_.reset(av_frame_alloc());
    block_.reset(av_frame_alloc());
    if (!packet_ || !picture_ || !block_)
        throw HostError("out of memory while setting up the stream's encoders");
    openVideo();
    openAudio();
    videoParameters_ = avcodec_parameters_alloc();
    audioParameters_ = avcodec_parameters_alloc();
    if (!videoParameters_ || !audioParameters_)
        throw HostError("out of memory while setting up the stream's encoders");
    check(avcodec_parameters_from_context(videoParameters_, video_.get()), "cannot describe the stream's pictures");
    check(avcodec_parameters_from_context(audioParameters_, audio_.get()), "cannot describe the stream's sound");
}

StreamEncoder::~StreamEncoder()
{
    sws_freeContext(scaler_);
    av_freep(&input_[0]);
    avcodec_parameters_free(&videoParameters_);
    avcodec_parameters_free(&audioParameters_);
    swr_free(&toFloat_);
    if (fifo_)
        av_audio_fifo_free(fifo_);
}

void StreamEncoder::check(int result, const std::string& what) const
{
    if (result < 0)
        throw HostError(what + ": " + ffmpegError(result));
}

void StreamEncoder::openVideo()
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        throw HostError("this FFmpeg has no H.264 encoder (libx264), which streams need");
    video_.reset(avcodec_alloc_context3(codec));
    if (!video_)
        throw HostError("out of memory while setting up the stream's encoders");
    AVCodecContext& c = *video_;
    c.width = format_.width;
    c.height = format_.height;
    c.time_base = AVRational{1, format_.fps};
    c.framerate = AVRational{format_.fps, 1};
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.gop_size = keyframeInterval(format_.fps); // sites ask for a keyframe every two seconds
    c.keyint_min = c.gop_size;
    c.max_b_frames = 0;
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_BT709;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    c.rc_max_rate = (int64_t)format_.videoKbps * 1000;
    c.rc_buffer_size = format_.videoKbps * 2000;
    if (format_.globalHeaders)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(c.priv_data, "crf", std::to_string(format_.crf).c_str(), 0);
    av_opt_set(c.priv_data, "preset", format_.preset.c_str(), 0);
    av_opt_set(c.priv_data, "tune", "zerolatency", 0); // no frames held back: the stream is live
    av_opt_set(c.priv_data, "forced-idr", "1", 0);     // a requested keyframe is one a new viewer starts at
    av_opt_set(c.priv_data, "x264-params", "scenecut=0", 0); // keyframes on the two-second beat alone
    int opened = avcodec_open2(&c, codec, nullptr);
    if (opened < 0)
        throw HostError("the H.264 encoder refuses the size " + std::to_string(format_.width) + "x" +
                        std::to_string(format_.height) + " at " + std::to_string(format_.fps) + " frames a second (" +
                        ffmpegError(opened) + "): choose another --size, with even sides");
    picture_->format = c.pix_fmt;
    picture_->width = c.width;
    picture_->height = c.height;
    check(av_frame_get_buffer(picture_.get(), 0), "out of memory for the stream's pictures");
    scaler_ = sws_getContext(c.width, c.height, AV_PIX_FMT_RGB24, c.width, c.height, AV_PIX_FMT_YUV420P,
                             SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!scaler_)
        throw HostError("cannot convert pictures for the stream");
    check(av_image_alloc(input_, inputStride_, c.width, c.height, AV_PIX_FMT_RGB24, 64),
          "out of memory for the stream's pictures");
    sws_setColorspaceDetails(scaler_, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0,
                             0, 1 << 16, 1 << 16);
}

void StreamEncoder::openAudio()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        throw HostError("this FFmpeg has no AAC encoder, which streams need");
    audio_.reset(avcodec_alloc_context3(codec));
    if (!audio_)
        throw HostError("out of memory while setting up the stream's encoders");
    AVCodecContext& c = *audio_;
    c.sample_rate = StreamAudio::sampleRate;
    c.sample_fmt = AV_SAMPLE_FMT_FLTP;
    c.bit_rate = (int64_t)format_.audioKbps * 1000;
    av_channel_layout_default(&c.ch_layout, StreamAudio::channelCount);
    c.time_base = AVRational{1, c.sample_rate};
    if (format_.globalHeaders)
        c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(&c, codec, nullptr), "cannot start the AAC encoder");
    check(swr_alloc_set_opts2(&toFloat_, &c.ch_layout, c.sample_fmt, c.sample_rate, &c.ch_layout, AV_SAMPLE_FMT_S16,
                              c.sample_rate, 0, nullptr),
          "cannot convert the stream's sound");
    check(swr_init(toFloat_), "cannot convert the stream's sound");
    fifo_ = av_audio_fifo_alloc(c.sample_fmt, c.ch_layout.nb_channels, c.frame_size * 4);
    if (!fifo_)
        throw HostError("out of memory for the stream's sound");
    block_->format = c.sample_fmt;
    block_->sample_rate = c.sample_rate;
    block_->nb_samples = c.frame_size;
    check(av_channel_layout_copy(&block_->ch_layout, &c.ch_layout), "cannot set up the stream's sound");
    check(av_frame_get_buffer(block_.get(), 0), "out of memory for the stream's sound");
}

StreamCodecs StreamEncoder::codecs() const
{
    StreamCodecs codecs;
    codecs.video = videoParameters_;
    codecs.audio = audioParameters_;
    codecs.videoTimeBase = video_->time_base;
    codecs.audioTimeBase = audio_->time_base;
    return codecs;
}

void StreamEncoder::writeFrame(const uint8_t* rgb)
{
    check(av_frame_make_writable(picture_.get()), "cannot encode the stream");
    // Copied first: swscale's vector code reads rows aligned and a little past their end.
    av_image_copy_plane(input_[0], inputStride_[0], rgb, format_.width * 3, format_.width * 3, format_.height);
    sws_scale(scaler_, input_, inputStride_, 0, format_.height, picture_->data, picture_->linesize);
    picture_->pts = frames_++;
    picture_->pict_type = keyframeWanted_.exchange(false) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    check(avcodec_send_frame(video_.get(), picture_.get()), "cannot encode the stream's pictures");
    drain(video_.get(), true);
    sendSoundUntil(frames_ * StreamAudio::sampleRate / format_.fps, false);
}

void StreamEncoder::finish()
{
    sendSoundUntil(frames_ * StreamAudio::sampleRate / format_.fps, true);
    check(avcodec_send_frame(video_.get(), nullptr), "cannot finish the stream's pictures");
    drain(video_.get(), true);
}

void StreamEncoder::sendSoundUntil(int64_t sampleFrame, bool flush)
{
    AVCodecContext& c = *audio_;
    while (!soundEnded_ && soundRead_ < sampleFrame) {
        const int64_t count = std::min<int64_t>(sampleFrame - soundRead_, 4096);
        samples_.resize((size_t)count * StreamAudio::channelCount);
        const int64_t got = std::max<int64_t>(0, sound_(soundRead_, count, samples_.data()));
        soundEnded_ = got < count;
        soundRead_ += got;
        const uint8_t* in = (const uint8_t*)samples_.data();
        uint8_t* out[2] = {};
        check(av_samples_alloc(out, nullptr, 2, (int)got + 64, c.sample_fmt, 0), "out of memory for the sound");
        const int made = swr_convert(toFloat_, out, (int)got + 64, &in, (int)got);
        if (made > 0)
            av_audio_fifo_write(fifo_, (void**)out, made);
        av_freep(&out[0]);
        check(made, "cannot convert the stream's sound");
    }
    while (av_audio_fifo_size(fifo_) >= c.frame_size || (flush && av_audio_fifo_size(fifo_) > 0)) {
        check(av_frame_make_writable(block_.get()), "cannot encode the stream's sound");
        const int available = std::min(av_audio_fifo_size(fifo_), c.frame_size);
        av_audio_fifo_read(fifo_, (void**)block_->data, available);
        for (int channel = 0; channel < c.ch_layout.nb_channels && available < c.frame_size; ++channel)
            std::memset((float*)block_->data[channel] + available, 0, sizeof(float) * (c.frame_size - available));
        block_->pts = soundPts_;
        soundPts_ += c.frame_size;
        check(avcodec_send_frame(&c, block_.get()), "cannot encode the stream's sound");
        drain(&c, false);
    }
    if (flush) {
        check(avcodec_send_frame(&c, nullptr), "cannot finish the stream's sound");
        drain(&c, false);
    }
}

void StreamEncoder::drain(AVCodecContext* context, bool video)
{
    for (;;) {
        const int result = avcodec_receive_packet(context, packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, "cannot encode the stream");
        out_(packet_.get(), video);
        av_packet_unref(packet_.get());
    }
}

} // namespace gloamer
