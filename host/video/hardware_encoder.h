// hardware_encoder.h -- the GPUs' H.264 encoders through FFmpeg: NVIDIA's (nvenc), VA-API's (vaapi), Intel's (qsv).
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
}

namespace gloamer {

struct HardwareEncoder {
    const char* codec;          // as --codec takes it
    const char* encoder;        // FFmpeg's name
    AVHWDeviceType device;      // AV_HWDEVICE_TYPE_NONE: takes frames in memory
    AVPixelFormat memoryPixels; // what the frames are converted to before the encoder (or its upload) takes them
};

// The hardware encoder --codec names (nvenc, vaapi or qsv); null for any other.
const HardwareEncoder* hardwareEncoderFor(const std::string& codec);

// Sets the context up for the encoder: pixel format, constant quality `crf` (0-51, as H.264's CRF) under
// `maxKbps` when not 0, and for an encoder that takes frames on the device, the device and its frames.
// Throws HostError when the device cannot be opened.
void setUpHardwareEncoder(AVCodecContext* context, const HardwareEncoder& encoder, int crf, int maxKbps);

// The frame to send: `picture` itself, or a copy of it uploaded to the encoder's device (owned by the caller).
AVFrame* onEncoderDevice(AVCodecContext* context, AVFrame* picture);

// Empty when this FFmpeg can open the codec's encoder on this machine; else why not, in a sentence.
std::string hardwareEncoderProblem(const HardwareEncoder& encoder);

} // namespace gloamer
