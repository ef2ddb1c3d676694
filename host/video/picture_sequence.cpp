// picture_sequence.cpp -- numbered PNG files, one per frame, through FFmpeg's PNG encoder.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
}

#include <cstdio>
#include <vector>

#include "host/host_error.h"
#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

class PictureSequence : public FrameSink {
public:
    PictureSequence(const std::string& pattern, const VideoFormat& format);
    ~PictureSequence() override;
    void writeFrame(const uint8_t* rgb) override;
    void finish() override {}
    void abandon() override {}

private:
    std::string pattern_;
    VideoFormat format_;
    AVCodecContext* encoder_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
    int next_ = 1;
};

PictureSequence::PictureSequence(const std::string& pattern, const VideoFormat& format)
    : pattern_(pattern), format_(format)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    encoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!encoder_ || !picture_ || !packet_)
        throw HostError("this FFmpeg cannot write PNG pictures");
    encoder_->width = format.width;
    encoder_->height = format.height;
    encoder_->pix_fmt = AV_PIX_FMT_RGB24;
    encoder_->time_base = AVRational{1, format.fps};
    if (avcodec_open2(encoder_, codec, nullptr) < 0)
        throw HostError("cannot start the PNG encoder");
    picture_->format = AV_PIX_FMT_RGB24;
    picture_->width = format.width;
    picture_->height = format.height;
}

PictureSequence::~PictureSequence()
{
    avcodec_free_context(&encoder_);
    av_frame_free(&picture_);
    av_packet_free(&packet_);
}

void PictureSequence::writeFrame(const uint8_t* rgb)
{
    av_image_fill_arrays(picture_->data, picture_->linesize, rgb, AV_PIX_FMT_RGB24, format_.width, format_.height, 1);
    picture_->pts = next_;
    if (avcodec_send_frame(encoder_, picture_) < 0 || avcodec_receive_packet(encoder_, packet_) < 0)
        throw HostError("cannot encode picture " + std::to_string(next_));
    std::vector<char> name(pattern_.size() + 32);
    snprintf(name.data(), name.size(), pattern_.c_str(), next_);
    FILE* file = fopen(name.data(), "wb");
    bool written = file && fwrite(packet_->data, 1, (size_t)packet_->size, file) == (size_t)packet_->size;
    written = file && fclose(file) == 0 && written;
    av_packet_unref(packet_);
    if (!written) {
        remove(name.data()); // never leave a cut-off picture behind
        throw HostError(std::string("cannot write '") + name.data() + "': the disk may be full");
    }
    ++next_;
}

} // namespace

std::unique_ptr<FrameSink> openPictureSequence(const std::string& pattern, const VideoFormat& format)
{
    if (!isPictureSequence(pattern))
        throw HostError("'" + pattern + "' is not a picture pattern like DIR/%05d.png");
    return std::make_unique<PictureSequence>(pattern, format);
}

} // namespace gloamer
