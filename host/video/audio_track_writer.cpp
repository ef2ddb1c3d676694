// audio_track_writer.cpp -- 16-bit music resampled to planar float, cut into AAC frames and muxed.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include "host/video/audio_track_writer.h"

#include <algorithm>
#include <cstring>

#include "host/process/host_error.h"

namespace gloamer {

AudioTrackWriter::AudioTrackWriter(AVFormatContext* output, const AudioInput& audio, int kbps, int fps,
                                   const std::string& path)
    : output_(output), audio_(audio), fps_(fps), path_(path)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        throw HostError("this FFmpeg has no AAC encoder");
    stream_ = avformat_new_stream(output, nullptr);
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!stream_ || !context_ || !frame_ || !packet_)
        throw HostError("out of memory while setting up '" + path + "'");
    stream_->id = (int)output->nb_streams - 1;
    // AAC takes the common rates; anything else is resampled to 48 kHz.
    static const int aacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    bool supported = std::find(std::begin(aacRates), std::end(aacRates), audio.sampleRate) != std::end(aacRates);
    context_->sample_rate = supported ? audio.sampleRate : 48000;
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->bit_rate = (int64_t)kbps * 1000;
    av_channel_layout_default(&context_->ch_layout, std::min(audio.channelCount, 2));
    context_->time_base = AVRational{1, context_->sample_rate};
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(context_.get(), codec, nullptr), "cannot start the AAC encoder for");
    check(avcodec_parameters_from_context(stream_->codecpar, context_.get()), "cannot describe the audio of");
    stream_->time_base = context_->time_base;

    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, audio.channelCount);
    check(swr_alloc_set_opts2(&resampler_, &context_->ch_layout, context_->sample_fmt, context_->sample_rate,
                              &inputLayout, AV_SAMPLE_FMT_S16, audio.sampleRate, 0, nullptr),
          "cannot convert the audio for");
    av_channel_layout_uninit(&inputLayout);
    check(swr_init(resampler_), "cannot convert the audio for");
    fifo_ = av_audio_fifo_alloc(context_->sample_fmt, context_->ch_layout.nb_channels, context_->frame_size * 4);
    if (!fifo_)
        throw HostError("out of memory while setting up '" + path + "'");
    frame_->format = context_->sample_fmt;
    frame_->sample_rate = context_->sample_rate;
    frame_->nb_samples = context_->frame_size;
    check(av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout), "cannot set up the audio of");
    check(av_frame_get_buffer(frame_.get(), 0), "out of memory for");
}

AudioTrackWriter::~AudioTrackWriter()
{
    swr_free(&resampler_);
    if (fifo_)
        av_audio_fifo_free(fifo_);
}

int64_t AudioTrackWriter::samplesAt(int64_t first, int64_t count, const int16_t** into)
{
    if (audio_.samples) {
        *into = audio_.samples + first * audio_.channelCount;
        return count;
    }
    streamed_.resize((size_t)count * (size_t)audio_.channelCount);
    *into = streamed_.data();
    return std::max<int64_t>(0, audio_.read(first, count, streamed_.data()));
}

void AudioTrackWriter::sendUntil(int64_t videoFrames, bool flush)
{
    int64_t wanted = std::min(audio_.frameCount, videoFrames * audio_.sampleRate / fps_);
    while (read_ < wanted) {
        int chunk = (int)std::min<int64_t>(wanted - read_, 4096);
        const int16_t* samples = nullptr;
        int64_t got = samplesAt(read_, chunk, &samples);
        if (got < chunk)
            wanted = audio_.frameCount = read_ + got; // music read as it comes ends here
        if (got <= 0)
            break;
        chunk = (int)got;
        const uint8_t* input = (const uint8_t*)samples;
        int room = swr_get_out_samples(resampler_, chunk);
        uint8_t** converted = nullptr;
        check(av_samples_alloc_array_and_samples(&converted, nullptr, context_->ch_layout.nb_channels, room,
                                                 context_->sample_fmt, 0),
              "out of memory for");
        int made = swr_convert(resampler_, converted, room, &input, chunk);
        if (made > 0)
            av_audio_fifo_write(fifo_, (void**)converted, made);
        av_freep(&converted[0]);
        av_freep(&converted);
        check(made, "cannot convert the audio for");
        read_ += chunk;
    }
    const int frameSize = context_->frame_size;
    while (av_audio_fifo_size(fifo_) >= frameSize || (flush && av_audio_fifo_size(fifo_) > 0)) {
        check(av_frame_make_writable(frame_.get()), "cannot encode");
        int available = std::min(av_audio_fifo_size(fifo_), frameSize);
        av_audio_fifo_read(fifo_, (void**)frame_->data, available);
        for (int channel = 0; channel < context_->ch_layout.nb_channels && available < frameSize; ++channel)
            std::memset((float*)frame_->data[channel] + available, 0, sizeof(float) * (frameSize - available));
        frame_->pts = pts_;
        pts_ += frameSize;
        encode(frame_.get());
    }
    if (flush)
        encode(nullptr);
}

void AudioTrackWriter::check(int result, const char* what)
{
    if (result < 0)
        throw HostError(std::string(what) + " '" + path_ + "': " + ffmpegError(result));
}

void AudioTrackWriter::encode(AVFrame* frame)
{
    check(avcodec_send_frame(context_.get(), frame), "cannot encode");
    for (;;) {
        int result = avcodec_receive_packet(context_.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, "cannot encode");
        av_packet_rescale_ts(packet_.get(), context_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        check(av_interleaved_write_frame(output_, packet_.get()), "cannot write");
    }
}

} // namespace gloamer
