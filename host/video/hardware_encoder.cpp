// hardware_encoder.cpp -- the GPUs' H.264 encoders: their quality settings, their devices, a trial opening.
#include "host/video/hardware_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cstring>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

const HardwareEncoder encoders[] = {
    {"nvenc", "h264_nvenc", AV_HWDEVICE_TYPE_NONE, AV_PIX_FMT_YUV420P},
    {"vaapi", "h264_vaapi", AV_HWDEVICE_TYPE_VAAPI, AV_PIX_FMT_NV12},
    {"qsv", "h264_qsv", AV_HWDEVICE_TYPE_QSV, AV_PIX_FMT_NV12},
};

const char* makerOf(const HardwareEncoder& encoder)
{
    if (encoder.device == AV_HWDEVICE_TYPE_VAAPI)
        return "a VA-API driver (AMD or Intel)";
    return encoder.device == AV_HWDEVICE_TYPE_QSV ? "Intel's Quick Sync" : "an NVIDIA GPU and its driver";
}

// The device and a pool of frames on it, in the pixel format the encoder is given.
void attachDeviceFrames(AVCodecContext* context, const HardwareEncoder& encoder)
{
    AVBufferRef* device = nullptr;
    int result = av_hwdevice_ctx_create(&device, encoder.device, nullptr, nullptr, 0);
    if (result < 0)
        throw HostError(std::string("there is no ") + av_hwdevice_get_type_name(encoder.device) +
                        " device to encode on (" + ffmpegError(result) + ")");
    AVBufferRef* frames = av_hwframe_ctx_alloc(device);
    av_buffer_unref(&device);
    if (!frames)
        throw HostError("out of memory for the encoder's frames");
    auto* pool = reinterpret_cast<AVHWFramesContext*>(frames->data);
    pool->format = context->pix_fmt;
    pool->sw_format = encoder.memoryPixels;
    pool->width = context->width;
    pool->height = context->height;
    pool->initial_pool_size = 8;
    result = av_hwframe_ctx_init(frames);
    if (result < 0) {
        av_buffer_unref(&frames);
        throw HostError(std::string("the ") + encoder.encoder + " encoder's frames cannot be made (" +
                        ffmpegError(result) + ")");
    }
    context->hw_frames_ctx = frames;
}

} // namespace

const HardwareEncoder* hardwareEncoderFor(const std::string& codec)
{
    for (const HardwareEncoder& encoder : encoders)
        if (codec == encoder.codec)
            return &encoder;
    return nullptr;
}

void setUpHardwareEncoder(AVCodecContext* context, const HardwareEncoder& encoder, int crf, int maxKbps)
{
    const std::string quality = std::to_string(crf);
    if (encoder.device == AV_HWDEVICE_TYPE_NONE) {
        context->pix_fmt = encoder.memoryPixels;
        // Constant quality on the CRF's scale, the ceiling where one is asked for.
        av_opt_set(context->priv_data, "rc", "vbr", 0);
        av_opt_set(context->priv_data, "cq", quality.c_str(), 0);
        av_opt_set(context->priv_data, "preset", "p4", 0);
        context->bit_rate = 0;
    } else {
        context->pix_fmt = encoder.device == AV_HWDEVICE_TYPE_VAAPI ? AV_PIX_FMT_VAAPI : AV_PIX_FMT_QSV;
        context->global_quality = crf; // VA-API's constant QP, Quick Sync's ICQ
        attachDeviceFrames(context, encoder);
    }
    if (maxKbps > 0) {
        context->rc_max_rate = (int64_t)maxKbps * 1000;
        context->rc_buffer_size = maxKbps * 2000;
    }
}

AVFrame* onEncoderDevice(AVCodecContext* context, AVFrame* picture)
{
    if (!context->hw_frames_ctx || !picture)
        return picture;
    AVFrame* uploaded = av_frame_alloc();
    if (!uploaded)
        throw HostError("out of memory for a frame on the encoder's device");
    int result = av_hwframe_get_buffer(context->hw_frames_ctx, uploaded, 0);
    if (result >= 0)
        result = av_hwframe_transfer_data(uploaded, picture, 0);
    if (result < 0) {
        av_frame_free(&uploaded);
        throw HostError("cannot hand a frame to the encoder's device (" + ffmpegError(result) + ")");
    }
    uploaded->pts = picture->pts;
    return uploaded;
}

std::string hardwareEncoderProblem(const HardwareEncoder& encoder)
{
    // Said after "--codec: " by the command line.
    const std::string why = std::string(encoder.codec) + " needs " + makerOf(encoder) + ", and ";
    const std::string instead = "; leave --codec out to encode H.264 with x264 on the CPU";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.encoder);
    if (!codec)
        return why + "this FFmpeg has no " + encoder.encoder + " encoder" + instead;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return "out of memory";
    context->width = 256;
    context->height = 256;
    context->time_base = AVRational{1, 30};
    context->framerate = AVRational{30, 1};
    const int logLevel = av_log_get_level();
    av_log_set_level(AV_LOG_QUIET); // the reason goes into the one line below
    std::string problem;
    try {
        setUpHardwareEncoder(context, encoder, 23, 0);
        int result = avcodec_open2(context, codec, nullptr);
        if (result < 0)
            problem = std::string("FFmpeg cannot open its ") + encoder.encoder + " encoder here (" +
                      ffmpegError(result) + ")";
    } catch (const HostError& error) {
        problem = error.what();
    }
    avcodec_free_context(&context);
    av_log_set_level(logLevel);
    return problem.empty() ? problem : why + problem + instead;
}

} // namespace gloamer
