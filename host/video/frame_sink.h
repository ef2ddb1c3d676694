// frame_sink.h -- where rendered frames go: a video file with the music muxed in, or numbered PNG files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gloamer {

// The music to mux under the pictures: 16-bit interleaved samples from the first rendered moment on.
struct AudioInput {
    int sampleRate = 0;
    int channelCount = 0;
    const int16_t* samples = nullptr;
    int64_t frameCount = 0;
    // Where samples is null: copies up to `count` frames from `first` on (from the first rendered moment) and
    // returns how many, fewer only where the music ends (frameCount is then an upper bound). Called on the
    // encoder's thread.
    std::function<int64_t(int64_t first, int64_t count, int16_t* into)> read;
};

struct VideoFormat {
    int width = 0;
    int height = 0;
    int fps = 30;
    int crf = 20;
    int maxKbps = 0;                 // a ceiling on the video's bit rate (H.264 and HEVC); 0: the CRF alone
    std::string codec = "h264";      // h264, hevc, vp9 or av1: see availableVideoCodecs()
    std::string preset = "veryfast"; // the H.264 and HEVC encoders' speed
    int audioKbps = 192;
    bool replace = false; // --overwrite: an existing regular file at the output's name may be replaced
    std::string comment;             // the container's comment tag; empty: none
};

// Frames from one keyframe to the next in a video: parts of one render are cut at multiples of it.
inline int keyframeInterval(int fps)
{
    return fps * 2;
}

// The video codecs this FFmpeg has an encoder for, of h264, hevc, vp9 and av1.
std::vector<std::string> availableVideoCodecs();
// The GPUs' H.264 encoders this FFmpeg was built with, of nvenc, vaapi and qsv (each opens only where the
// machine has the hardware and its driver: see videoCodecProblem).
std::vector<std::string> hardwareVideoCodecs();
// Empty when --codec may name `codec` here; else one sentence that says why not (a GPU's encoder that this
// FFmpeg lacks or cannot open on this machine, or a codec it has no encoder for).
std::string videoCodecProblem(const std::string& codec);

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One picture, width x height RGB bytes, top row first. Throws HostError when the output cannot be written.
    virtual void writeFrame(const uint8_t* rgb) = 0;
    // Flushes and closes the output so that it holds every frame written so far.
    virtual void finish() = 0;
    // After a failed write: leaves a readable output of what was written, or none at all.
    virtual void abandon() = 0;
};

// Each opens its output under a temporary name beside it and renames it into place when finished; a video
// abandoned after at least one frame is kept playable, one with none leaves what was there before.
std::unique_ptr<FrameSink> openVideoFile(const std::string& path, const VideoFormat& format, const AudioInput& audio);
std::unique_ptr<FrameSink> openPictureSequence(const std::string& pattern, const VideoFormat& format);
// A whole PNG file of a width x height RGB picture, top row first.
std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height);
// Runs `sink` on a thread of its own behind a queue of at most `capacity` frames, so drawing and encoding overlap.
std::unique_ptr<FrameSink> runOnEncoderThread(std::unique_ptr<FrameSink> sink, size_t frameBytes, size_t capacity);

} // namespace gloamer
