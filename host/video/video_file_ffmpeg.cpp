// video_file_ffmpeg.cpp -- H.264 video and AAC audio muxed into MP4, MKV or MOV with FFmpeg's libraries.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>

#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

class VideoFile : public FrameSink {
public:
    VideoFile(const std::string& path, const VideoFormat& format, const AudioInput& audio);
    ~VideoFile() override;
    void writeFrame(const uint8_t* rgb) override;
    void finish() override;
    void abandon() override;

private:
    AVStream* addStream(const AVCodec* codec, AVCodecContext** context);
    void openVideo();
    void openAudio();
    void encode(AVCodecContext* context, AVStream* stream, AVFrame* frame);
    void encodeAudioUntil(int64_t videoFrames, bool flush);
    void check(int result, const char* what);
    void close();

    std::string path_;
    std::optional<PendingFile> file_; // what is written until the video is whole
    VideoFormat format_;
    AudioInput audio_;
    AVFormatContext* output_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* sound_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVFrame* soundFrame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    // A copy of each frame with the row alignment and tail padding swscale's vector code reads.
    uint8_t* input_[4] = {};
    int inputStride_[4] = {};
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    int64_t framesWritten_ = 0;
    int64_t audioFramesRead_ = 0; // source sample frames handed to the resampler
    std::vector<int16_t> streamed_; // the chunk read through audio_.read
    int64_t audioPts_ = 0;        // encoder sample frames sent
    bool headerWritten_ = false;
    bool finished_ = false;
};

VideoFile::VideoFile(const std::string& path, const VideoFormat& format, const AudioInput& audio)
    : path_(path), format_(format), audio_(audio)
{
    av_log_set_level(AV_LOG_ERROR); // the encoders' chatter is no use to a user; errors reach them as HostError
    int result = avformat_alloc_output_context2(&output_, nullptr, nullptr, path.c_str());
    if (result < 0 || !output_)
        throw HostError("cannot write '" + path + "': unknown video format (use .mp4, .mkv or .mov)");
    try {
        openVideo();
        if ((audio_.samples || audio_.read) && audio_.frameCount > 0 && audio_.channelCount > 0)
            openAudio();
        if (!format_.comment.empty())
            av_dict_set(&output_->metadata, "comment", format_.comment.c_str(), 0);
        file_.emplace(path, format_.replace);
        check(avio_open(&output_->pb, file_->path().c_str(), AVIO_FLAG_WRITE), "cannot open");
        // MP4 and MOV with their index first, so that a browser starts playing before the whole has come.
        // The muxer moves it there by reading the file back at the end: by its name, which is the one written.
        AVDictionary* options = nullptr;
        const std::string muxer = output_->oformat->name;
        if (muxer == "mp4" || muxer == "mov") {
            av_dict_set(&options, "movflags", "+faststart", 0);
            av_freep(&output_->url);
            output_->url = av_strdup(file_->path().c_str());
        }
        int written = avformat_write_header(output_, &options);
        av_dict_free(&options);
        check(written, "cannot start");
        headerWritten_ = true;
    } catch (...) {
        close();
        throw;
    }
}

VideoFile::~VideoFile()
{
    close();
}

void VideoFile::check(int result, const char* what)
{
    if (result < 0)
        throw HostError(std::string(what) + " '" + path_ + "': " + ffmpegError(result));
}

AVStream* VideoFile::addStream(const AVCodec* codec, AVCodecContext** context)
{
    AVStream* stream = avformat_new_stream(output_, nullptr);
    *context = avcodec_alloc_context3(codec);
    if (!stream || !*context)
        throw HostError("out of memory while setting up '" + path_ + "'");
    stream->id = (int)output_->nb_streams - 1;
    return stream;
}

// Each codec's encoders, the preferred first; its speed set to suit rendering music videos.
struct VideoCodec {
    const char* name;
    std::vector<const char*> encoders;
};
const std::vector<VideoCodec> videoCodecs = {{"h264", {"libx264"}},
                                             {"hevc", {"libx265"}},
                                             {"vp9", {"libvpx-vp9"}},
                                             {"av1", {"libsvtav1", "libaom-av1"}}};

const AVCodec* videoEncoder(const std::string& codec)
{
    for (const VideoCodec& candidate : videoCodecs)
        if (candidate.name == codec)
            for (const char* encoder : candidate.encoders)
                if (const AVCodec* found = avcodec_find_encoder_by_name(encoder))
                    return found;
    return nullptr;
}

void VideoFile::openVideo()
{
    const AVCodec* codec = videoEncoder(format_.codec);
    if (!codec)
        throw HostError("this FFmpeg has no " + format_.codec + " encoder");
    videoStream_ = addStream(codec, &video_);
    video_->width = format_.width;
    video_->height = format_.height;
    video_->time_base = AVRational{1, format_.fps};
    video_->framerate = AVRational{format_.fps, 1};
    video_->pix_fmt = AV_PIX_FMT_YUV420P;
    video_->gop_size = keyframeInterval(format_.fps);
    if (output_->oformat->flags & AVFMT_GLOBALHEADER)
        video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Tagged as what it is, BT.709 in TV range, so that players convert it back to the colours drawn.
    video_->color_range = AVCOL_RANGE_MPEG;
    video_->colorspace = AVCOL_SPC_BT709;
    video_->color_primaries = AVCOL_PRI_BT709;
    video_->color_trc = AVCOL_TRC_BT709;
    const std::string encoder = codec->name;
    av_opt_set(video_->priv_data, "crf", std::to_string(format_.crf).c_str(), 0);
    if (encoder == "libx264" || encoder == "libx265")
        av_opt_set(video_->priv_data, "preset", format_.preset.c_str(), 0);
    if ((encoder == "libx264" || encoder == "libx265") && format_.maxKbps > 0) {
        // Capped CRF: the CRF's quality where it fits, the ceiling over any two seconds where it does not.
        video_->rc_max_rate = (int64_t)format_.maxKbps * 1000;
        video_->rc_buffer_size = format_.maxKbps * 2000;
    }
    if (encoder == "libx265")
        av_opt_set(video_->priv_data, "x265-params", "log-level=none", 0);
    if (encoder == "libvpx-vp9" || encoder == "libaom-av1") {
        video_->bit_rate = 0; // constant quality alone
        av_opt_set(video_->priv_data, "cpu-used", encoder == "libvpx-vp9" ? "5" : "8", 0);
        av_opt_set(video_->priv_data, "row-mt", "1", 0);
    }
    if (encoder == "libvpx-vp9")
        av_opt_set(video_->priv_data, "deadline", "good", 0);
    if (encoder == "libsvtav1") {
        av_opt_set(video_->priv_data, "preset", "10", 0);
        setenv("SVT_LOG", "1", 0); // its library prints its settings on stderr unless kept to errors
    }
    check(avcodec_open2(video_, codec, nullptr), ("cannot start the " + format_.codec + " encoder for").c_str());
    check(avcodec_parameters_from_context(videoStream_->codecpar, video_), "cannot describe the video of");
    videoStream_->time_base = video_->time_base;
    videoStream_->avg_frame_rate = video_->framerate;

    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!picture_ || !packet_)
        throw HostError("out of memory while setting up '" + path_ + "'");
    picture_->format = video_->pix_fmt;
    picture_->width = video_->width;
    picture_->height = video_->height;
    check(av_frame_get_buffer(picture_, 0), "out of memory for");
    check(av_image_alloc(input_, inputStride_, format_.width, format_.height, AV_PIX_FMT_RGB24, 64),
          "out of memory for");
    scaler_ = sws_getContext(format_.width, format_.height, AV_PIX_FMT_RGB24, format_.width, format_.height,
                             AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!scaler_)
        throw HostError("cannot convert pictures for '" + path_ + "'");
    // Full-range RGB in, BT.709 TV range out, as the stream is tagged.
    sws_setColorspaceDetails(scaler_, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0,
                             0, 1 << 16, 1 << 16);
}

void VideoFile::openAudio()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        throw HostError("this FFmpeg has no AAC encoder");
    audioStream_ = addStream(codec, &sound_);
    // AAC takes the common rates; anything else is resampled to 48 kHz.
    static const int aacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    bool supported = std::find(std::begin(aacRates), std::end(aacRates), audio_.sampleRate) != std::end(aacRates);
    sound_->sample_rate = supported ? audio_.sampleRate : 48000;
    sound_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    sound_->bit_rate = (int64_t)format_.audioKbps * 1000;
    av_channel_layout_default(&sound_->ch_layout, std::min(audio_.channelCount, 2));
    sound_->time_base = AVRational{1, sound_->sample_rate};
    if (output_->oformat->flags & AVFMT_GLOBALHEADER)
        sound_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    check(avcodec_open2(sound_, codec, nullptr), "cannot start the AAC encoder for");
    check(avcodec_parameters_from_context(audioStream_->codecpar, sound_), "cannot describe the audio of");
    audioStream_->time_base = sound_->time_base;

    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, audio_.channelCount);
    check(swr_alloc_set_opts2(&resampler_, &sound_->ch_layout, sound_->sample_fmt, sound_->sample_rate, &inputLayout,
                              AV_SAMPLE_FMT_S16, audio_.sampleRate, 0, nullptr),
          "cannot convert the audio for");
    av_channel_layout_uninit(&inputLayout);
    check(swr_init(resampler_), "cannot convert the audio for");
    fifo_ = av_audio_fifo_alloc(sound_->sample_fmt, sound_->ch_layout.nb_channels, sound_->frame_size * 4);
    soundFrame_ = av_frame_alloc();
    if (!fifo_ || !soundFrame_)
        throw HostError("out of memory while setting up '" + path_ + "'");
    soundFrame_->format = sound_->sample_fmt;
    soundFrame_->sample_rate = sound_->sample_rate;
    soundFrame_->nb_samples = sound_->frame_size;
    check(av_channel_layout_copy(&soundFrame_->ch_layout, &sound_->ch_layout), "cannot set up the audio of");
    check(av_frame_get_buffer(soundFrame_, 0), "out of memory for");
}

void VideoFile::encode(AVCodecContext* context, AVStream* stream, AVFrame* frame)
{
    check(avcodec_send_frame(context, frame), "cannot encode");
    for (;;) {
        int result = avcodec_receive_packet(context, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, "cannot encode");
        av_packet_rescale_ts(packet_, context->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        check(av_interleaved_write_frame(output_, packet_), "cannot write");
    }
}

// Keeps the audio level with the pictures: everything up to the end of the last frame written.
void VideoFile::encodeAudioUntil(int64_t videoFrames, bool flush)
{
    if (!sound_)
        return;
    int64_t wanted = std::min(audio_.frameCount, videoFrames * audio_.sampleRate / format_.fps);
    const int channels = audio_.channelCount;
    while (audioFramesRead_ < wanted) {
        int chunk = (int)std::min<int64_t>(wanted - audioFramesRead_, 4096);
        const uint8_t* input = (const uint8_t*)(audio_.samples + audioFramesRead_ * channels);
        if (!audio_.samples) {
            // Music read as it comes: a short read is where it ends.
            streamed_.resize((size_t)chunk * (size_t)channels);
            int64_t got = audio_.read(audioFramesRead_, chunk, streamed_.data());
            if (got < chunk)
                wanted = audio_.frameCount = audioFramesRead_ + got;
            if (got <= 0)
                break;
            chunk = (int)got;
            input = (const uint8_t*)streamed_.data();
        }
        int room = swr_get_out_samples(resampler_, chunk);
        uint8_t** converted = nullptr;
        check(av_samples_alloc_array_and_samples(&converted, nullptr, sound_->ch_layout.nb_channels, room,
                                                 sound_->sample_fmt, 0),
              "out of memory for");
        int made = swr_convert(resampler_, converted, room, &input, chunk);
        if (made > 0)
            av_audio_fifo_write(fifo_, (void**)converted, made);
        av_freep(&converted[0]);
        av_freep(&converted);
        check(made, "cannot convert the audio for");
        audioFramesRead_ += chunk;
    }
    const int frameSize = sound_->frame_size;
    while (av_audio_fifo_size(fifo_) >= frameSize || (flush && av_audio_fifo_size(fifo_) > 0)) {
        check(av_frame_make_writable(soundFrame_), "cannot encode");
        int available = std::min(av_audio_fifo_size(fifo_), frameSize);
        av_audio_fifo_read(fifo_, (void**)soundFrame_->data, available);
        for (int channel = 0; channel < sound_->ch_layout.nb_channels && available < frameSize; ++channel)
            memset((float*)soundFrame_->data[channel] + available, 0, sizeof(float) * (frameSize - available));
        soundFrame_->pts = audioPts_;
        audioPts_ += frameSize;
        encode(sound_, audioStream_, soundFrame_);
    }
}

void VideoFile::writeFrame(const uint8_t* rgb)
{
    check(av_frame_make_writable(picture_), "cannot encode");
    av_image_copy_plane(input_[0], inputStride_[0], rgb, format_.width * 3, format_.width * 3, format_.height);
    sws_scale(scaler_, input_, inputStride_, 0, format_.height, picture_->data, picture_->linesize);
    picture_->pts = framesWritten_++;
    encode(video_, videoStream_, picture_);
    encodeAudioUntil(framesWritten_, false);
}

void VideoFile::finish()
{
    if (framesWritten_ == 0) {
        abandon(); // stopped before the first frame: an empty container is no video
        return;
    }
    if (finished_)
        return;
    finished_ = true;
    encodeAudioUntil(framesWritten_, true);
    encode(video_, videoStream_, nullptr);
    if (sound_)
        encode(sound_, audioStream_, nullptr);
    check(av_write_trailer(output_), "cannot finish");
    check(avio_closep(&output_->pb), "cannot close");
    file_->commit();
}

void VideoFile::abandon()
{
    if (finished_)
        return;
    finished_ = true;
    // A video of the frames written so far is kept if it can be made whole; one without a frame, or without
    // its index, is not, and what stood at the name before stays.
    bool readable = false;
    if (headerWritten_ && framesWritten_ > 0) {
        readable = av_write_trailer(output_) >= 0;
        readable = avio_closep(&output_->pb) >= 0 && readable;
    }
    if (readable)
        file_->commit();
    else
        file_->discard();
}

void VideoFile::close()
{
    if (output_ && output_->pb)
        avio_closep(&output_->pb);
    avcodec_free_context(&video_);
    avcodec_free_context(&sound_);
    av_frame_free(&picture_);
    av_frame_free(&soundFrame_);
    av_packet_free(&packet_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_freep(&input_[0]);
    swr_free(&resampler_);
    if (fifo_)
        av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
    avformat_free_context(output_);
    output_ = nullptr;
}

} // namespace

std::vector<std::string> availableVideoCodecs()
{
    std::vector<std::string> names;
    for (const VideoCodec& codec : videoCodecs)
        if (videoEncoder(codec.name))
            names.push_back(codec.name);
    return names;
}

std::unique_ptr<FrameSink> openVideoFile(const std::string& path, const VideoFormat& format, const AudioInput& audio)
{
    return std::make_unique<VideoFile>(path, format, audio);
}

} // namespace gloamer
