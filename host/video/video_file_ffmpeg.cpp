// video_file_ffmpeg.cpp -- H.264 video and AAC audio muxed into MP4, MKV or MOV with FFmpeg's libraries.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
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
#include "host/video/audio_track_writer.h"
#include "host/video/frame_sink.h"
#include "host/video/hardware_encoder.h"
#include "host/video/remux.h"

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
    void prepareConversion(AVPixelFormat memoryPixels);
    void encode(AVFrame* frame);
    bool remuxed() const;
    void check(int result, const char* what);
    void close();

    std::string path_;
    // What is written while rendering: for MP4 and MOV fragments, remuxed into a PendingFile of its own at the
    // end, so that a render killed outright still leaves a readable file (see salvageVideo).
    std::optional<PendingFile> file_;
    VideoFormat format_;
    AudioInput audio_;
    AVFormatContext* output_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVStream* videoStream_ = nullptr;
    std::unique_ptr<AudioTrackWriter> sound_;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    // A copy of each frame with the row alignment and tail padding swscale's vector code reads.
    uint8_t* input_[4] = {};
    int inputStride_[4] = {};
    int64_t framesWritten_ = 0;
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
        if (hasMusic(audio_))
            sound_ = std::make_unique<AudioTrackWriter>(output_, audio_, format_.audioKbps, format_.fps, path_);
        if (!format_.comment.empty())
            av_dict_set(&output_->metadata, "comment", format_.comment.c_str(), 0);
        file_.emplace(path, format_.replace, renderingSuffix);
        startMediaOutput(output_, file_->path(), path_, true);
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
    if (const HardwareEncoder* hardware = hardwareEncoderFor(codec))
        return avcodec_find_encoder_by_name(hardware->encoder);
    for (const VideoCodec& candidate : videoCodecs)
        if (candidate.name == codec)
            for (const char* encoder : candidate.encoders)
                if (const AVCodec* found = avcodec_find_encoder_by_name(encoder))
                    return found;
    return nullptr;
}

// The pictures' size, rate and colours, as the video stream describes them.
void describePictures(AVCodecContext* video, const VideoFormat& format, bool globalHeader)
{
    video->width = format.width;
    video->height = format.height;
    video->time_base = AVRational{1, format.fps};
    video->framerate = AVRational{format.fps, 1};
    video->pix_fmt = AV_PIX_FMT_YUV420P;
    video->gop_size = keyframeInterval(format.fps);
    if (globalHeader)
        video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Tagged as what it is, BT.709 in TV range, so that players convert it back to the colours drawn.
    video->color_range = AVCOL_RANGE_MPEG;
    video->colorspace = AVCOL_SPC_BT709;
    video->color_primaries = AVCOL_PRI_BT709;
    video->color_trc = AVCOL_TRC_BT709;
}

// The quality, rate ceiling and speed settings of `encoder` (a device's where `hardware` is given).
void tuneEncoder(AVCodecContext* video, const std::string& encoder, const HardwareEncoder* hardware,
                 const VideoFormat& format)
{
    if (hardware)
        setUpHardwareEncoder(video, *hardware, format.crf, format.maxKbps);
    else
        av_opt_set(video->priv_data, "crf", std::to_string(format.crf).c_str(), 0);
    if (encoder == "libx264" || encoder == "libx265")
        av_opt_set(video->priv_data, "preset", format.preset.c_str(), 0);
    if ((encoder == "libx264" || encoder == "libx265") && format.maxKbps > 0) {
        // Capped CRF: the CRF's quality where it fits, the ceiling over any two seconds where it does not.
        video->rc_max_rate = (int64_t)format.maxKbps * 1000;
        video->rc_buffer_size = format.maxKbps * 2000;
    }
    if (encoder == "libx265")
        av_opt_set(video->priv_data, "x265-params", "log-level=none", 0);
    if (encoder == "libvpx-vp9" || encoder == "libaom-av1") {
        video->bit_rate = 0; // constant quality alone
        av_opt_set(video->priv_data, "cpu-used", encoder == "libvpx-vp9" ? "5" : "8", 0);
        av_opt_set(video->priv_data, "row-mt", "1", 0);
    }
    if (encoder == "libvpx-vp9")
        av_opt_set(video->priv_data, "deadline", "good", 0);
    if (encoder == "libsvtav1") {
        av_opt_set(video->priv_data, "preset", "10", 0);
        setenv("SVT_LOG", "1", 0); // its library prints its settings on stderr unless kept to errors
    }
}

void VideoFile::openVideo()
{
    const AVCodec* codec = videoEncoder(format_.codec);
    if (!codec)
        throw HostError("this FFmpeg has no " + format_.codec + " encoder");
    videoStream_ = addStream(codec, &video_);
    describePictures(video_, format_, (output_->oformat->flags & AVFMT_GLOBALHEADER) != 0);
    const HardwareEncoder* hardware = hardwareEncoderFor(format_.codec);
    tuneEncoder(video_, codec->name, hardware, format_);
    check(avcodec_open2(video_, codec, nullptr), ("cannot start the " + format_.codec + " encoder for").c_str());
    check(avcodec_parameters_from_context(videoStream_->codecpar, video_), "cannot describe the video of");
    videoStream_->time_base = video_->time_base;
    videoStream_->avg_frame_rate = video_->framerate;
    // A device's encoder gets the frames converted in memory first, then uploaded.
    prepareConversion(hardware ? hardware->memoryPixels : video_->pix_fmt);
}

// The frame, packet and converter each RGB picture goes through on its way to the encoder.
void VideoFile::prepareConversion(AVPixelFormat memoryPixels)
{
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!picture_ || !packet_)
        throw HostError("out of memory while setting up '" + path_ + "'");
    picture_->format = memoryPixels;
    picture_->width = video_->width;
    picture_->height = video_->height;
    check(av_frame_get_buffer(picture_, 0), "out of memory for");
    check(av_image_alloc(input_, inputStride_, format_.width, format_.height, AV_PIX_FMT_RGB24, 64),
          "out of memory for");
    scaler_ = sws_getContext(format_.width, format_.height, AV_PIX_FMT_RGB24, format_.width, format_.height,
                             memoryPixels, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!scaler_)
        throw HostError("cannot convert pictures for '" + path_ + "'");
    // Full-range RGB in, BT.709 TV range out, as the stream is tagged.
    sws_setColorspaceDetails(scaler_, sws_getCoefficients(SWS_CS_ITU709), 1, sws_getCoefficients(SWS_CS_ITU709), 0,
                             0, 1 << 16, 1 << 16);
}

void VideoFile::encode(AVFrame* frame)
{
    AVFrame* sent = onEncoderDevice(video_, frame);
    const int result = avcodec_send_frame(video_, sent);
    if (sent != frame)
        av_frame_free(&sent);
    check(result, "cannot encode");
    for (;;) {
        int result = avcodec_receive_packet(video_, packet_);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        check(result, "cannot encode");
        av_packet_rescale_ts(packet_, video_->time_base, videoStream_->time_base);
        packet_->stream_index = videoStream_->index;
        check(av_interleaved_write_frame(output_, packet_), "cannot write");
    }
}

bool VideoFile::remuxed() const
{
    const std::string muxer = output_->oformat->name;
    return muxer == "mp4" || muxer == "mov";
}

void VideoFile::writeFrame(const uint8_t* rgb)
{
    check(av_frame_make_writable(picture_), "cannot encode");
    av_image_copy_plane(input_[0], inputStride_[0], rgb, format_.width * 3, format_.width * 3, format_.height);
    sws_scale(scaler_, input_, inputStride_, 0, format_.height, picture_->data, picture_->linesize);
    picture_->pts = framesWritten_++;
    encode(picture_);
    if (sound_)
        sound_->sendUntil(framesWritten_, false);
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
    if (sound_)
        sound_->sendUntil(framesWritten_, true);
    encode(nullptr);
    check(av_write_trailer(output_), "cannot finish");
    check(avio_closep(&output_->pb), "cannot close");
    if (!remuxed()) {
        file_->commit();
        return;
    }
    remuxMedia(file_->path(), path_, format_.replace, format_.comment, false);
    file_->discard();
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
    if (readable && !remuxed())
        file_->commit();
    if (readable && remuxed()) {
        try {
            remuxMedia(file_->path(), path_, format_.replace, format_.comment, true);
        } catch (const HostError&) {
            // as with a trailer that could not be written: no video, and what stood at the name stays
        }
    }
    if (file_)
        file_->discard();
}

void VideoFile::close()
{
    if (output_ && output_->pb)
        avio_closep(&output_->pb);
    sound_.reset();
    avcodec_free_context(&video_);
    av_frame_free(&picture_);
    av_packet_free(&packet_);
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_freep(&input_[0]);
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

std::vector<std::string> hardwareVideoCodecs()
{
    std::vector<std::string> names;
    for (const char* codec : {"nvenc", "vaapi", "qsv"})
        if (videoEncoder(codec))
            names.push_back(codec);
    return names;
}

std::string videoCodecProblem(const std::string& codec)
{
    if (const HardwareEncoder* hardware = hardwareEncoderFor(codec))
        return hardwareEncoderProblem(*hardware);
    std::string list;
    for (const std::string& name : availableVideoCodecs()) {
        if (name == codec)
            return "";
        list += (list.empty() ? "" : ", ") + name;
    }
    return "'" + codec + "' is not a video codec this FFmpeg encodes (it has: " + list + ")";
}

std::unique_ptr<FrameSink> openVideoFile(const std::string& path, const VideoFormat& format, const AudioInput& audio)
{
    return std::make_unique<VideoFile>(path, format, audio);
}

} // namespace gloamer
