// join.cpp -- a remux through libavformat: packets copied with their timestamps shifted by the frames before,
// the audio resampled and encoded as gloamer render encodes it, interleaved as the video is written.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/video/join.h"

namespace gloamer {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

Input openInput(const std::string& path)
{
    AVFormatContext* context = nullptr;
    int result = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (result < 0)
        throw HostError("cannot read '" + path + "': " + ffmpegError(result));
    return Input(context);
}

AVStream* videoStreamOf(AVFormatContext* input, const std::string& path)
{
    int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        throw HostError("'" + path + "' holds no video");
    return input->streams[index];
}

bool sameSetUp(const AVCodecParameters* a, const AVCodecParameters* b)
{
    return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height && a->format == b->format &&
           a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, a->extradata_size) == 0);
}

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

// The music as AAC, sent up to where the video has got so that the muxer interleaves as it goes.
class AudioTrackWriter {
public:
    AudioTrackWriter(AVFormatContext* output, const AudioInput& audio, int kbps, int fps, const std::string& path)
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
    ~AudioTrackWriter()
    {
        swr_free(&resampler_);
        if (fifo_)
            av_audio_fifo_free(fifo_);
    }

    // Everything up to the end of the first `videoFrames` frames; with `flush`, the rest and the encoder's tail.
    void sendUntil(int64_t videoFrames, bool flush)
    {
        int64_t wanted = std::min(audio_.frameCount, videoFrames * audio_.sampleRate / fps_);
        while (read_ < wanted) {
            int chunk = (int)std::min<int64_t>(wanted - read_, 4096);
            const uint8_t* input = (const uint8_t*)(audio_.samples + read_ * audio_.channelCount);
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

private:
    void check(int result, const char* what)
    {
        if (result < 0)
            throw HostError(std::string(what) + " '" + path_ + "': " + ffmpegError(result));
    }
    void encode(AVFrame* frame)
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

    AVFormatContext* output_;
    AudioInput audio_;
    int fps_;
    std::string path_;
    AVStream* stream_ = nullptr;
    std::unique_ptr<AVCodecContext, CodecCloser> context_;
    std::unique_ptr<AVFrame, FrameCloser> frame_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    int64_t read_ = 0;
    int64_t pts_ = 0;
};

} // namespace

std::string videoComment(const std::string& path)
{
    Input input = openInput(path);
    const AVDictionaryEntry* entry = av_dict_get(input->metadata, "comment", nullptr, 0);
    return entry ? entry->value : "";
}

void joinVideos(const std::vector<JoinPart>& parts, int fps, const AudioInput& audio, int audioKbps,
                const std::string& output, bool replace)
{
    if (parts.empty())
        throw HostError("no parts to join");
    av_log_set_level(AV_LOG_ERROR);
    auto fail = [&output](int result, const std::string& what) {
        if (result < 0)
            throw HostError(what + " '" + output + "': " + ffmpegError(result));
    };
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, output.c_str()) < 0 || !raw)
        throw HostError("cannot write '" + output + "': unknown video format (use .mp4, .mkv or .mov)");
    std::unique_ptr<AVFormatContext, OutputCloser> out(raw);

    // The first part decides the set-up that every other must share.
    Input first = openInput(parts[0].path);
    const AVStream* firstVideo = videoStreamOf(first.get(), parts[0].path);
    AVStream* video = avformat_new_stream(out.get(), nullptr);
    if (!video)
        throw HostError("out of memory while setting up '" + output + "'");
    fail(avcodec_parameters_copy(video->codecpar, firstVideo->codecpar), "cannot describe the video of");
    video->codecpar->codec_tag = 0;
    video->time_base = AVRational{1, fps};
    video->avg_frame_rate = AVRational{fps, 1};
    std::unique_ptr<AudioTrackWriter> sound;
    if (audio.samples && audio.frameCount > 0 && audio.channelCount > 0)
        sound = std::make_unique<AudioTrackWriter>(out.get(), audio, audioKbps, fps, output);
    first.reset();

    PendingFile pending(output, replace);
    fail(avio_open(&out->pb, pending.path().c_str(), AVIO_FLAG_WRITE), "cannot open");
    // The index goes to the front, as for a rendered video, so that the joined one plays while it downloads; the
    // muxer reads the file back by its URL, which must be the temporary name actually written.
    AVDictionary* muxerOptions = nullptr;
    const std::string muxer = out->oformat->name;
    if (muxer == "mp4" || muxer == "mov") {
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
        av_freep(&out->url);
        out->url = av_strdup(pending.path().c_str());
    }
    int started = avformat_write_header(out.get(), &muxerOptions);
    av_dict_free(&muxerOptions);
    fail(started, "cannot start");

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!packet)
        throw HostError("out of memory while joining into '" + output + "'");
    const AVRational frameUnits{1, fps};
    int64_t framesBefore = 0;
    int64_t lastDts = INT64_MIN;
    for (const JoinPart& part : parts) {
        Input input = openInput(part.path);
        const AVStream* stream = videoStreamOf(input.get(), part.path);
        if (!sameSetUp(stream->codecpar, video->codecpar))
            throw HostError("'" + part.path + "' was encoded unlike '" + parts[0].path +
                            "' (codec, size or encoder settings): render every part with the same options");
        const int64_t shift = av_rescale_q(framesBefore, frameUnits, video->time_base);
        int64_t frames = 0;
        int result;
        while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
            if (packet->stream_index != stream->index) {
                av_packet_unref(packet.get());
                continue;
            }
            if (frames == 0 && !(packet->flags & AV_PKT_FLAG_KEY))
                throw HostError("'" + part.path + "' does not start on a keyframe, so it cannot be joined");
            av_packet_rescale_ts(packet.get(), stream->time_base, video->time_base);
            packet->pts += shift;
            packet->dts += shift;
            if (packet->dts <= lastDts)
                throw HostError("the frames of '" + part.path + "' overlap those before it");
            lastDts = packet->dts;
            packet->stream_index = video->index;
            packet->pos = -1;
            ++frames;
            if (sound)
                sound->sendUntil(framesBefore + frames, false);
            fail(av_interleaved_write_frame(out.get(), packet.get()), "cannot write");
        }
        if (result != AVERROR_EOF)
            throw HostError("cannot read '" + part.path + "': " + ffmpegError(result));
        if (frames != part.frames)
            throw HostError("'" + part.path + "' holds " + std::to_string(frames) + " frames, not the " +
                            std::to_string(part.frames) + " of its part: it was cut short");
        framesBefore += frames;
    }
    if (sound)
        sound->sendUntil(framesBefore, true);
    fail(av_write_trailer(out.get()), "cannot finish");
    fail(avio_closep(&out->pb), "cannot close");
    pending.commit();
}

} // namespace gloamer
