// audio_track_writer.h -- the music encoded as AAC into a muxer, kept level with the video written so far.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/media/ffmpeg_handles.h"
#include "host/video/frame_sink.h"

struct AVFormatContext;
struct AVStream;
struct SwrContext;
struct AVAudioFifo;

namespace gloamer {

// Adds an AAC stream to `output` (before its header is written): `audio`'s rate when AAC takes it, 48 kHz
// otherwise, mono or stereo, at `kbps`. Errors name `path`.
class AudioTrackWriter {
public:
    AudioTrackWriter(AVFormatContext* output, const AudioInput& audio, int kbps, int fps, const std::string& path);
    ~AudioTrackWriter();
    AudioTrackWriter(const AudioTrackWriter&) = delete;
    AudioTrackWriter& operator=(const AudioTrackWriter&) = delete;

    // Encodes and writes the music up to the end of the first `videoFrames` frames at `fps`; with `flush`,
    // the rest and the encoder's tail too.
    void sendUntil(int64_t videoFrames, bool flush);

private:
    // The one place samples are read: points `into` at up to `count` interleaved sample frames from `first` on
    // and returns how many, fewer only where music read as it comes ends.
    int64_t samplesAt(int64_t first, int64_t count, const int16_t** into);
    void check(int result, const char* what);
    void encode(AVFrame* frame);

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
    int64_t read_ = 0; // source sample frames handed to the resampler
    int64_t pts_ = 0;  // encoder sample frames sent
    std::vector<int16_t> streamed_; // the chunk read through audio_.read
};

// True when `audio` holds music to encode.
inline bool hasMusic(const AudioInput& audio)
{
    return (audio.samples || audio.read) && audio.frameCount > 0 && audio.channelCount > 0;
}

} // namespace gloamer
