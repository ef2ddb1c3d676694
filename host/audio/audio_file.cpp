// audio_file.cpp -- decodes audio files, streams and video sound tracks through FFmpeg into 16-bit tracks.
#include "host/audio/audio_track.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "host/media/media_input.h"
#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

// Anything a track may hold: about 6 hours of stereo at 48 kHz, so that a sample count fits a 32-bit int.
constexpr int64_t maxSamples = int64_t{1} << 31;
// The highest sample rate any audio interface plays; a header that declares more is damaged or hostile.
constexpr int maxSampleRate = 768000;

struct ResamplerCloser {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// Says why a file on disk cannot be opened at all, before the demuxer is asked about its contents.
void checkReadable(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw HostError("cannot open " + quoted(path) + ": no such file");
        throw HostError("cannot open " + quoted(path) + ": " + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode))
        throw HostError("cannot open " + quoted(path) + ": it is a folder, not an audio file");
    // Opening a FIFO waits for its writer: only the media input's open, which gives way to Ctrl-C, may wait.
    if (!S_ISREG(info.st_mode) ? access(path.c_str(), R_OK) != 0 : !std::ifstream(path, std::ios::binary))
        throw HostError("cannot open " + quoted(path) + ": " + std::strerror(errno ? errno : EACCES));
    if (S_ISREG(info.st_mode) && info.st_size == 0)
        throw HostError("cannot read " + quoted(path) + ": the file is empty");
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", seconds);
    return text;
}

// Collects decoded frames as 16-bit interleaved samples at the stream's own rate: mono as it is, anything wider
// (5.1, 7.1) mixed down to stereo, so that a centre or surround channel is heard and seen too.
class SampleCollector {
public:
    SampleCollector(const AVCodecContext& codec, AudioTrack& track, const std::string& path)
        : track_(track), path_(path), channels_(codec.ch_layout.nb_channels)
    {
        SwrContext* resampler = nullptr;
        AVChannelLayout in = {};
        // A layout that only counts its channels is taken as the usual one for that count, which swr can mix.
        if (codec.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, channels_);
        else
            av_channel_layout_copy(&in, &codec.ch_layout);
        AVChannelLayout out = {};
        av_channel_layout_default(&out, track.channelCount);
        // The rate stays; the format becomes 16-bit (float saturates at full scale) and the channels the track's.
        int made = swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, codec.sample_rate, &in, codec.sample_fmt,
                                       codec.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(resampler) < 0) {
            swr_free(&resampler);
            throw HostError("cannot read " + quoted(path) + ": its sample format cannot be converted");
        }
        resampler_.reset(resampler);
    }

    void add(const AVFrame& frame)
    {
        if (frame.ch_layout.nb_channels != channels_ || frame.sample_rate != track_.sampleRate) {
            // A stream that changes shape part-way (a chained Ogg file): what follows does not belong to this track.
            leftOut_ += (double)frame.nb_samples / std::max(1, frame.sample_rate);
            return;
        }
        chunk_.resize((size_t)frame.nb_samples * (size_t)track_.channelCount);
        uint8_t* out = reinterpret_cast<uint8_t*>(chunk_.data());
        int frames = swr_convert(resampler_.get(), &out, frame.nb_samples,
                                 const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
        if (frames <= 0)
            return;
        if ((int64_t)track_.samples.size() + (int64_t)frames * track_.channelCount > maxSamples)
            throw HostError("cannot play " + quoted(path_) + ": it is too long (more than " +
                            std::to_string(maxSamples / track_.channelCount / track_.sampleRate / 60) + " minutes)");
        track_.samples.insert(track_.samples.end(), chunk_.begin(),
                              chunk_.begin() + (ptrdiff_t)frames * track_.channelCount);
    }

    // Seconds of sound left out because their rate or channels differ from the track's.
    double leftOut() const { return leftOut_; }

private:
    AudioTrack& track_;
    double leftOut_ = 0;
    const std::string& path_;
    int channels_;
    std::unique_ptr<SwrContext, ResamplerCloser> resampler_;
    std::vector<int16_t> chunk_;
};

// The decoder's first failure, kept to say where a damaged file went wrong.
struct Damage {
    bool found = false;
    double at = 0;
    void note(double seconds)
    {
        if (!found)
            at = seconds;
        found = true;
    }
};

} // namespace

AudioTrack loadAudioFile(const std::string& path, std::string* warning)
{
    const bool stream = isStreamName(path);
    if (!stream)
        checkReadable(path);
    MediaInput input = openMediaInput(path);
    AVFormatContext* format = input.format();

    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_STREAM_NOT_FOUND)
        throw HostError("cannot play " + quoted(path) + ": it holds no audio");
    if (index < 0 || !codec)
        throw HostError("cannot read " + quoted(path) + ": its audio encoding is not one this build decodes");
    AVStream* audio = format->streams[index];
    std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), audio->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        throw HostError("cannot read " + quoted(path) + ": its audio decoder cannot be started");
    if (decoder->ch_layout.nb_channels < 1 || decoder->sample_rate < 1)
        throw HostError("cannot read " + quoted(path) + ": the file declares no channels or no sample rate");
    if (decoder->sample_rate > maxSampleRate)
        throw HostError("cannot play " + quoted(path) + ": its sample rate of " + std::to_string(decoder->sample_rate) +
                        " Hz is beyond any sound card (" + std::to_string(maxSampleRate / 1000) + " kHz at most)");

    AudioTrack track;
    track.sampleRate = decoder->sample_rate;
    track.channelCount = decoder->ch_layout.nb_channels == 1 ? 1 : 2;
    track.name = displayName(path);
    // Containers keep the title tag with the file, Ogg and Opus with the stream.
    for (AVDictionary* tags : {format->metadata, audio->metadata})
        if (const AVDictionaryEntry* title = av_dict_get(tags, "title", nullptr, 0); title && track.title.empty())
            track.title = title->value;
    SampleCollector collector(*decoder, track, path);
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    Damage damage;
    auto here = [&] { return (double)track.frameCount() / track.sampleRate; };
    auto drain = [&] {
        for (;;) {
            int result = avcodec_receive_frame(decoder.get(), frame.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return;
            if (result < 0) {
                damage.note(here());
                return;
            }
            if (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT))
                damage.note(here());
            collector.add(*frame);
        }
    };

    // Packets that fail to read or decode are skipped, so that a damaged file plays what decodes around them.
    int readFailures = 0;
    bool cut = false;
    double shortPacketAt = -1;
    int64_t firstPts = AV_NOPTS_VALUE;
    double skipped = 0;
    for (;;) {
        int result = av_read_frame(format, packet.get());
        if (result == AVERROR_EOF) {
            cut = shortPacketAt >= 0;
            break;
        }
        if (result < 0) {
            input.throwIfStopped();
            // Data that does not parse is damage to skip; a read that fails (end of a cut file, a dropped
            // connection) ends what there is.
            if (result != AVERROR_INVALIDDATA) {
                cut = true;
                break;
            }
            damage.note(here());
            if (++readFailures > 1000)
                break;
            continue;
        }
        if (packet->stream_index == index) {
            // A short packet last of all is where a cut file ends; anywhere else it is damage.
            if (shortPacketAt >= 0)
                damage.note(shortPacketAt);
            shortPacketAt = (packet->flags & AV_PKT_FLAG_CORRUPT) ? here() : -1;
            // Demuxers drop pages that fail their checksum quietly: a jump in the timestamps is where they were.
            if (packet->pts != AV_NOPTS_VALUE) {
                if (firstPts == AV_NOPTS_VALUE)
                    firstPts = packet->pts;
                // The encoder's delay and padding, which the decoder drops, are no gap and no cut (at 8 kHz an
                // MP3's delay is 0.14 s).
                size_t size = 0;
                if (const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                    skip && size >= 8)
                    skipped += (double)(AV_RL32(skip) + AV_RL32(skip + 4)) / track.sampleRate;
                if ((double)(packet->pts - firstPts) * av_q2d(audio->time_base) > here() + skipped + 0.1)
                    damage.note(here());
            }
            if (avcodec_send_packet(decoder.get(), packet.get()) < 0)
                damage.note(here());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();

    if (track.frameCount() == 0)
        throw HostError(damage.found ? "cannot read " + quoted(path) + ": the file is damaged or cut short"
                                     : "cannot play " + quoted(path) + ": it holds no audio");
    if (warning) {
        warning->clear();
        // A file whose header promises more than its data holds was cut short; an estimate from the bit rate
        // promises nothing.
        // The container's duration is the longest stream's: it speaks for the audio only when it is alone.
        int others = 0;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            others += (int)i != index && !(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC);
        double declared = audio->duration != AV_NOPTS_VALUE ? (double)audio->duration * av_q2d(audio->time_base)
                          : format->duration != AV_NOPTS_VALUE && others == 0 ? (double)format->duration / AV_TIME_BASE
                                                                             : 0;
        bool estimated = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
        if (collector.leftOut() > 0)
            *warning = quoted(path) + " changes its sample rate or channels part-way: leaving out the " +
                       secondsText(collector.leftOut()) + " s that differ from its first part";
        else if (damage.found)
            *warning = quoted(path) + " is damaged at " + secondsText(damage.at) + " s: playing what decodes";
        else if (cut || (!stream && !estimated && declared > here() + skipped + 0.05 + declared * 0.01))
            *warning = quoted(path) + " is cut short: playing the " + secondsText(here()) + " s it holds";
    }
    return track;
}

} // namespace gloamer
