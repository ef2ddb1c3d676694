// logo_picture.cpp -- decodes a picture through FFmpeg, fits it into a black square and writes it as a BMP.
#include "host/logo/logo_picture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "host/media/cover_picture.h"
#include "host/media/media_input.h"
#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;

// Refuses a picture larger than the host decodes, once its header has told its size.
void checkPictureSize(int width, int height, const std::string& name)
{
    if ((int64_t)width * height > maxPicturePixels)
        throw HostError("cannot read '" + name + "': the picture is too large (" + std::to_string(width) + " x " +
                        std::to_string(height) + "; 64 megapixels, 8192 x 8192, at most)");
}

std::unique_ptr<AVCodecContext, CodecCloser> openDecoder(const AVCodecParameters& parameters, const std::string& name)
{
    checkPictureSize(parameters.width, parameters.height, name);
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0)
        throw HostError("cannot read '" + name + "': its picture encoding is not one this build decodes");
    decoder->max_pixels = maxPicturePixels; // a size only the picture's own header tells is refused there
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw HostError("cannot read '" + name + "': its picture encoding is not one this build decodes");
    return decoder;
}

// A picture that did not decode: too large, when its header had said so, or else damaged.
void refuseIfTooLarge(const AVCodecContext& decoder, const std::string& name)
{
    int width = 0, height = 0;
    takeRefusedPictureSize(width, height);
    checkPictureSize(width, height, name);
    checkPictureSize(decoder.width, decoder.height, name);
}

void throwUndecoded(const AVCodecContext& decoder, const std::string& name)
{
    refuseIfTooLarge(decoder, name);
    throw HostError("cannot read '" + name + "': its picture does not decode");
}

// The first picture `packets` yields through `decoder`; null when none decodes.
template <typename NextPacket>
FramePtr firstPicture(AVCodecContext& decoder, NextPacket nextPacket)
{
    FramePtr frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    for (bool more = true; more;) {
        if (interruptRequested())
            throw StopRequested();
        more = nextPacket(*packet);
        avcodec_send_packet(&decoder, more ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        if (avcodec_receive_frame(&decoder, frame.get()) == 0)
            return frame;
    }
    return nullptr;
}

void put32(std::string& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + (size_t)i] = (char)(value >> (8 * i));
}

// Scales `frame` to fit size x size, keeping its aspect, centred on black, as a 24-bit bottom-up BMP. What is
// see-through in the picture is laid onto that black, as the plug-in draws its logo on its black background.
std::string fittedBitmap(const AVFrame& frame, int size, const std::string& name)
{
    if (frame.width < 1 || frame.height < 1)
        throw HostError("cannot read '" + name + "': the picture has no pixels");
    const double scale = std::min((double)size / frame.width, (double)size / frame.height);
    const int width = std::clamp((int)std::lround(frame.width * scale), 1, size);
    const int height = std::clamp((int)std::lround(frame.height * scale), 1, size);
    SwsContext* scaler = sws_getContext(frame.width, frame.height, (AVPixelFormat)frame.format, width, height,
                                        AV_PIX_FMT_BGRA, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (!scaler)
        throw HostError("cannot read '" + name + "': its pixel format cannot be converted");
    std::vector<uint8_t> withAlpha((size_t)width * (size_t)height * 4);
    uint8_t* planes[1] = {withAlpha.data()};
    int strides[1] = {width * 4};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
    sws_freeContext(scaler);
    std::vector<uint8_t> scaled((size_t)width * (size_t)height * 3);
    for (size_t pixel = 0; pixel < (size_t)width * (size_t)height; ++pixel)
        for (size_t c = 0; c < 3; ++c)
            scaled[pixel * 3 + c] = (uint8_t)((withAlpha[pixel * 4 + c] * withAlpha[pixel * 4 + 3] + 127) / 255);

    const size_t rowBytes = ((size_t)size * 3 + 3) / 4 * 4;
    const size_t header = 54;
    std::string bmp(header + rowBytes * (size_t)size, '\0'); // black everywhere the picture is not
    bmp[0] = 'B', bmp[1] = 'M';
    put32(bmp, 2, (uint32_t)bmp.size());
    put32(bmp, 10, (uint32_t)header);
    put32(bmp, 14, 40);
    put32(bmp, 18, (uint32_t)size);
    put32(bmp, 22, (uint32_t)size); // positive: rows bottom-up
    bmp[26] = 1, bmp[28] = 24;
    put32(bmp, 34, (uint32_t)(rowBytes * (size_t)size));
    const int left = (size - width) / 2, top = (size - height) / 2;
    for (int row = 0; row < height; ++row) {
        size_t at = header + (size_t)(size - 1 - (top + row)) * rowBytes + (size_t)left * 3;
        std::copy_n(&scaled[(size_t)row * (size_t)width * 3], (size_t)width * 3, bmp.begin() + (ptrdiff_t)at);
    }
    return bmp;
}

} // namespace

std::string logoBitmapFromPicture(const std::string& picture, int size)
{
    int width = 0, height = 0;
    takeRefusedPictureSize(width, height); // forget what an earlier picture left
    struct stat info;
    if (stat(picture.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0)
        throw HostError("cannot read '" + picture + "': the file is empty");
    MediaInput input = openMediaInput(picture, "a picture");
    AVFormatContext* format = input.format();
    int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        throw HostError("cannot read '" + picture + "': it holds no picture");
    auto decoder = openDecoder(*format->streams[index]->codecpar, picture);
    FramePtr frame = firstPicture(*decoder, [&](AVPacket& packet) {
        while (av_read_frame(format, &packet) >= 0) {
            if (packet.stream_index == index)
                return true;
            av_packet_unref(&packet);
        }
        input.throwIfStopped();
        return false;
    });
    if (!frame)
        throwUndecoded(*decoder, picture);
    return fittedBitmap(*frame, size, picture);
}

std::optional<std::string> logoBitmapFromCover(const std::vector<CoverPicture>& covers, const std::string& music,
                                               int size)
{
    int width = 0, height = 0;
    takeRefusedPictureSize(width, height); // forget what an earlier picture left
    for (const CoverPicture& cover : covers) {
        auto decoder = openDecoder(*cover.codec, music);
        bool given = false;
        FramePtr frame = firstPicture(*decoder, [&](AVPacket& packet) {
            if (given || av_new_packet(&packet, (int)cover.bytes.size()) < 0)
                return false;
            given = true;
            std::copy(cover.bytes.begin(), cover.bytes.end(), packet.data);
            packet.flags |= AV_PKT_FLAG_KEY;
            return true;
        });
        if (frame)
            return fittedBitmap(*frame, size, music);
        refuseIfTooLarge(*decoder, music); // a cover that does not decode otherwise is as good as none
    }
    return std::nullopt;
}

std::optional<std::string> logoBitmapFromCover(const std::string& music, int size)
{
    int width = 0, height = 0;
    takeRefusedPictureSize(width, height); // forget what an earlier picture left
    MediaInput input = openMediaInput(music);
    return logoBitmapFromCover(coverPicturesOf(*input.format()), music, size);
}

} // namespace gloamer
