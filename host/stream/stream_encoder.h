// stream_encoder.h -- pictures and their sound encoded for a live stream: H.264 at a constant frame rate with a
// keyframe every two seconds and a bit-rate buffer, AAC beside it; the packets go to whoever sends them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/media/ffmpeg_handles.h"
#include "host/video/frame_sink.h"

struct AVCodecParameters;
struct SwsContext;
struct SwrContext;
struct AVAudioFifo;

namespace gloamer {

struct StreamFormat {
    int width = 1280;
    int height = 720;
    int fps = 30;
    int crf = 23;        // --quality's constant quality, held under the bit rate
    int videoKbps = 4000; // --bitrate: the ceiling, with a buffer of two seconds of it
    int audioKbps = 160;
    std::string preset = "veryfast";
    bool globalHeaders = true; // FLV wants the codecs' set-up once, beside the stream; MPEG-TS wants it in line
};

// One encoded packet, its time stamps in the time base of its stream (StreamCodecs).
using PacketOut = std::function<void(AVPacket* packet, bool video)>;
// The sound of the frames: up to `count` sample frames (48 kHz stereo) from `first` on; fewer only at its end.
using SoundRead = std::function<int64_t(int64_t first, int64_t count, int16_t* into)>;

// What a muxer needs to carry the two streams.
struct StreamCodecs {
    const AVCodecParameters* video = nullptr;
    AVRational videoTimeBase{1, 30};
    const AVCodecParameters* audio = nullptr;
    AVRational audioTimeBase{1, 48000};
};

// writeFrame encodes picture k (frame k at fps, from 0) and the sound up to its end; finish sends the rest of the
// sound and what both encoders still hold. Throws HostError when an encoder refuses its settings (a size, a
// rate) or a frame.
class StreamEncoder : public FrameSink {
public:
    StreamEncoder(const StreamFormat& format, SoundRead sound, PacketOut out);
    ~StreamEncoder() override;

    void writeFrame(const uint8_t* rgb) override;
    void finish() override;
    void abandon() override {}

    // The next picture becomes a keyframe: a new connection starts with one. Any thread.
    void requestKeyframe() { keyframeWanted_ = true; }
    StreamCodecs codecs() const;
    int64_t framesWritten() const { return frames_; }

private:
    void openVideo();
    void openAudio();
    void sendSoundUntil(int64_t sampleFrame, bool flush);
    void drain(AVCodecContext* context, bool video);
    void check(int result, const std::string& what) const;

    StreamFormat format_;
    SoundRead sound_;
    PacketOut out_;
    std::unique_ptr<AVCodecContext, CodecCloser> video_, audio_;
    std::unique_ptr<AVFrame, FrameCloser> picture_, block_;
    std::unique_ptr<AVPacket, PacketCloser> packet_;
    AVCodecParameters* videoParameters_ = nullptr;
    AVCodecParameters* audioParameters_ = nullptr;
    SwsContext* scaler_ = nullptr;
    uint8_t* input_[4] = {}; // the picture copied with the alignment swscale reads
    int inputStride_[4] = {};
    SwrContext* toFloat_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    std::vector<int16_t> samples_;
    int64_t frames_ = 0;      // pictures encoded
    int64_t soundRead_ = 0;   // sample frames taken from `sound`
    int64_t soundPts_ = 0;    // sample frames encoded
    bool soundEnded_ = false;
    std::atomic<bool> keyframeWanted_{false};
};

} // namespace gloamer
