// audio_decoder.cpp -- audio files, streams and video sound tracks decoded through FFmpeg, a piece at a time.
#include "host/audio/audio_decoder.h"

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

#include "host/media/ffmpeg_handles.h"
#include "host/media/media_input.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

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

// Codecs whose every packet decodes on its own, with exact timestamps: a seek lands on the very samples a
// decode from the start gives. Lossy codecs carry state from packet to packet and are decoded from the start.
bool decodesAlone(AVCodecID codec)
{
    if (codec >= AV_CODEC_ID_FIRST_AUDIO && codec < AV_CODEC_ID_ADPCM_IMA_QT) // the PCM formats
        return true;
    return codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_ALAC || codec == AV_CODEC_ID_WAVPACK ||
           codec == AV_CODEC_ID_TTA;
}

// Converts decoded frames to 16-bit interleaved samples at the stream's own rate: mono as it is, anything wider
// (5.1, 7.1) mixed down to stereo, so that a centre or surround channel is heard and seen too.
class SampleConverter {
public:
    SampleConverter(const AVCodecContext& codec, int channelCount, const std::string& path)
        : channelCount_(channelCount), channels_(codec.ch_layout.nb_channels), rate_(codec.sample_rate)
    {
        SwrContext* resampler = nullptr;
        AVChannelLayout in = {};
        // A layout that only counts its channels is taken as the usual one for that count, which swr can mix.
        if (codec.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, channels_);
        else
            av_channel_layout_copy(&in, &codec.ch_layout);
        AVChannelLayout out = {};
        av_channel_layout_default(&out, channelCount);
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

    // Appends the frame's samples to `out`; returns their frame count. A frame of another rate or channel count
    // (a chained Ogg file changing shape part-way) does not belong to this track and is counted as left out.
    int add(const AVFrame& frame, std::vector<int16_t>& out)
    {
        if (frame.ch_layout.nb_channels != channels_ || frame.sample_rate != rate_) {
            leftOut_ += (double)frame.nb_samples / std::max(1, frame.sample_rate);
            return 0;
        }
        size_t at = out.size();
        out.resize(at + (size_t)frame.nb_samples * (size_t)channelCount_);
        uint8_t* into = reinterpret_cast<uint8_t*>(out.data() + at);
        int frames = swr_convert(resampler_.get(), &into, frame.nb_samples,
                                 const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
        out.resize(at + (size_t)std::max(0, frames) * (size_t)channelCount_);
        return std::max(0, frames);
    }

    // Seconds of sound left out because their rate or channels differ from the track's.
    double leftOut() const { return leftOut_; }

private:
    int channelCount_;
    int channels_;
    int rate_;
    double leftOut_ = 0;
    std::unique_ptr<SwrContext, ResamplerCloser> resampler_;
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

struct AudioDecoder::State {
    std::string path;
    bool stream = false;
    MediaInput input;
    int index = -1;
    AVStream* audio = nullptr;
    std::unique_ptr<AVCodecContext, CodecCloser> decoder;
    std::unique_ptr<SampleConverter> converter;
    std::unique_ptr<AVPacket, PacketCloser> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameCloser> frame{av_frame_alloc()};
    int channelCount = 0;
    std::string name;
    std::string title;
    std::vector<CoverPicture> covers;

    std::vector<int16_t> pending; // decoded, not yet handed out: the frames from pendingFrom on
    int64_t pendingFrom = 0;
    int64_t decoded = 0; // the end of what is decoded, in sample frames from the track's start
    bool ended = false;
    bool reachedEnd = false; // the input's end was read, not a failure that ends it

    // The damage checks (see step): timestamps measured from the first packet since the start or a seek.
    Damage damage;
    int readFailures = 0;
    bool cut = false;
    double shortPacketAt = -1;
    int64_t firstPts = AV_NOPTS_VALUE;
    int64_t firstPtsFrame = 0; // the sample frame at firstPts
    double skipped = 0;
    bool placeUnknown = false; // after a seek, until the first packet says where it landed
    int64_t seekTarget = 0;

    State(const std::string& name, MediaInput opened) : path(name), stream(isStreamName(name)), input(std::move(opened))
    {
    }

    int rate() const { return decoder->sample_rate; }
    double here() const { return (double)decoded / rate(); }
    int64_t pendingEnd() const { return pendingFrom + (int64_t)(pending.size() / (size_t)channelCount); }

    void drain()
    {
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
            decoded += converter->add(*frame, pending);
        }
    }

    // The sample frame a timestamp of the audio stream stands for.
    int64_t frameAt(int64_t pts) const
    {
        int64_t origin = audio->start_time != AV_NOPTS_VALUE ? audio->start_time : 0;
        return av_rescale_q(pts - origin, audio->time_base, AVRational{1, rate()});
    }

    // Goes back to the input's start, for a seek that did not land where it can be trusted.
    void rewind()
    {
        int64_t origin = audio->start_time != AV_NOPTS_VALUE ? audio->start_time : 0;
        if (avformat_seek_file(input.format(), index, INT64_MIN, origin, origin, 0) < 0)
            throw HostError("cannot read " + quoted(path) + ": it cannot be read again from its start");
        avcodec_flush_buffers(decoder.get());
        restart(0);
    }

    void restart(int64_t at)
    {
        pending.clear();
        pendingFrom = decoded = at;
        firstPts = AV_NOPTS_VALUE;
        shortPacketAt = -1;
        skipped = 0;
    }

    // Seeks to just before `target` where that gives the samples a decode from the start gives there.
    void seekBefore(int64_t target)
    {
        AVFormatContext* format = input.format();
        // Timestamps coarser than a sample (Matroska's milliseconds) would not say which sample a packet starts at.
        const bool exactTimes = audio->time_base.num == 1 && audio->time_base.den % rate() == 0;
        if (stream || !format->pb || !(format->pb->seekable & AVIO_SEEKABLE_NORMAL) ||
            !decodesAlone(decoder->codec_id) || !exactTimes)
            return;
        int64_t origin = audio->start_time != AV_NOPTS_VALUE ? audio->start_time : 0;
        int64_t ts = origin + av_rescale_q(target, AVRational{1, rate()}, audio->time_base);
        if (avformat_seek_file(format, index, INT64_MIN, ts, ts, 0) < 0)
            return; // decoding on to it gives the same samples, only later
        avcodec_flush_buffers(decoder.get());
        placeUnknown = true;
        seekTarget = target;
    }

    // Reads one packet and decodes what it gives; at the input's end, flushes the decoder and ends.
    void step()
    {
        AVFormatContext* format = input.format();
        int result = av_read_frame(format, packet.get());
        if (result < 0 && placeUnknown && result != AVERROR_INVALIDDATA) {
            // A seek past the end: where the input ends is learnt by decoding it from its start.
            placeUnknown = false;
            rewind();
            return;
        }
        if (result == AVERROR_EOF) {
            cut = cut || shortPacketAt >= 0;
            reachedEnd = true;
            finish();
            return;
        }
        if (result < 0) {
            input.throwIfStopped();
            // Data that does not parse is damage to skip; a read that fails (end of a cut file, a dropped
            // connection) ends what there is.
            if (result != AVERROR_INVALIDDATA || ++readFailures > 1000) {
                cut = cut || result != AVERROR_INVALIDDATA;
                finish();
                return;
            }
            damage.note(here());
            return;
        }
        if (packet->stream_index == index) {
            if (placeUnknown) {
                placeUnknown = false;
                // Where the seek landed, from the packet's timestamp; one without, or past the target, is not
                // to be trusted, and the decode goes back to the start.
                int64_t at = packet->pts != AV_NOPTS_VALUE ? frameAt(packet->pts) : -1;
                if (at < 0 || at > seekTarget) {
                    av_packet_unref(packet.get());
                    rewind();
                    return;
                }
                restart(at);
            }
            // A short packet last of all is where a cut file ends; anywhere else it is damage.
            if (shortPacketAt >= 0)
                damage.note(shortPacketAt);
            shortPacketAt = (packet->flags & AV_PKT_FLAG_CORRUPT) ? here() : -1;
            // Demuxers drop pages that fail their checksum quietly: a jump in the timestamps is where they were.
            if (packet->pts != AV_NOPTS_VALUE) {
                if (firstPts == AV_NOPTS_VALUE) {
                    firstPts = packet->pts;
                    firstPtsFrame = decoded;
                }
                // The encoder's delay and padding, which the decoder drops, are no gap and no cut (at 8 kHz an
                // MP3's delay is 0.14 s).
                size_t size = 0;
                if (const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                    skip && size >= 8)
                    skipped += (double)(AV_RL32(skip) + AV_RL32(skip + 4)) / rate();
                if ((double)(packet->pts - firstPts) * av_q2d(audio->time_base) >
                    (double)(decoded - firstPtsFrame) / rate() + skipped + 0.1)
                    damage.note(here());
            }
            if (avcodec_send_packet(decoder.get(), packet.get()) < 0)
                damage.note(here());
            drain();
        }
        av_packet_unref(packet.get());
    }

    void finish()
    {
        avcodec_send_packet(decoder.get(), nullptr);
        drain();
        ended = true;
    }
};

AudioDecoder::AudioDecoder(const std::string& path)
{
    if (!isStreamName(path))
        checkReadable(path);
    state_ = std::make_unique<State>(path, openMediaInput(path));
    State& s = *state_;
    AVFormatContext* format = s.input.format();

    const AVCodec* codec = nullptr;
    s.index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (s.index == AVERROR_STREAM_NOT_FOUND)
        throw HostError("cannot play " + quoted(path) + ": it holds no audio");
    if (s.index < 0 || !codec)
        throw HostError("cannot read " + quoted(path) + ": its audio encoding is not one this build decodes");
    s.audio = format->streams[s.index];
    s.decoder.reset(avcodec_alloc_context3(codec));
    if (!s.decoder || avcodec_parameters_to_context(s.decoder.get(), s.audio->codecpar) < 0 ||
        avcodec_open2(s.decoder.get(), codec, nullptr) < 0)
        throw HostError("cannot read " + quoted(path) + ": its audio decoder cannot be started");
    if (s.decoder->ch_layout.nb_channels < 1 || s.decoder->sample_rate < 1)
        throw HostError("cannot read " + quoted(path) + ": the file declares no channels or no sample rate");
    if (s.decoder->sample_rate > maxSampleRate)
        throw HostError("cannot play " + quoted(path) + ": its sample rate of " +
                        std::to_string(s.decoder->sample_rate) + " Hz is beyond any sound card (" +
                        std::to_string(maxSampleRate / 1000) + " kHz at most)");
    s.channelCount = s.decoder->ch_layout.nb_channels == 1 ? 1 : 2;
    // Containers keep the title tag with the file, Ogg and Opus with the stream.
    for (AVDictionary* tags : {format->metadata, s.audio->metadata})
        if (const AVDictionaryEntry* title = av_dict_get(tags, "title", nullptr, 0); title && s.title.empty())
            s.title = title->value;
    s.name = displayName(path);
    s.covers = coverPicturesOf(*format);
    s.converter = std::make_unique<SampleConverter>(*s.decoder, s.channelCount, path);
}

AudioDecoder::~AudioDecoder() = default;

int AudioDecoder::sampleRate() const
{
    return state_->rate();
}

int AudioDecoder::channelCount() const
{
    return state_->channelCount;
}

const std::string& AudioDecoder::name() const
{
    return state_->name;
}

const std::string& AudioDecoder::title() const
{
    return state_->title;
}

const std::vector<CoverPicture>& AudioDecoder::covers() const
{
    return state_->covers;
}

int64_t AudioDecoder::position() const
{
    return state_->pendingFrom;
}

bool AudioDecoder::ended() const
{
    return state_->ended && state_->pending.empty();
}

void AudioDecoder::skipTo(int64_t frame)
{
    State& s = *state_;
    // Far enough ahead that a seek pays: a second of sound.
    if (frame > s.pendingEnd() + s.rate() && !s.ended)
        s.seekBefore(frame);
    // What comes before the frame is dropped as it comes, so that memory stays flat however far it is.
    auto dropBefore = [&] {
        int64_t drop = std::clamp<int64_t>(frame - s.pendingFrom, 0, s.pendingEnd() - s.pendingFrom);
        s.pending.erase(s.pending.begin(), s.pending.begin() + (ptrdiff_t)(drop * s.channelCount));
        s.pendingFrom += drop;
    };
    while (!s.ended && (s.placeUnknown || s.pendingEnd() < frame)) {
        s.step();
        dropBefore();
    }
    dropBefore();
}

int64_t AudioDecoder::decode(std::vector<int16_t>& samples, int64_t frames)
{
    State& s = *state_;
    while (!s.ended && s.pendingEnd() - s.pendingFrom < frames)
        s.step();
    int64_t given = std::min(frames, s.pendingEnd() - s.pendingFrom);
    auto end = s.pending.begin() + (ptrdiff_t)(given * s.channelCount);
    samples.insert(samples.end(), s.pending.begin(), end);
    s.pending.erase(s.pending.begin(), end);
    s.pendingFrom += given;
    return given;
}

bool AudioDecoder::damaged() const
{
    return state_->damage.found;
}

std::string AudioDecoder::warning() const
{
    const State& s = *state_;
    AVFormatContext* format = s.input.format();
    if (s.converter->leftOut() > 0)
        return quoted(s.path) + " changes its sample rate or channels part-way: leaving out the " +
               secondsText(s.converter->leftOut()) + " s that differ from its first part";
    if (s.damage.found)
        return quoted(s.path) + " is damaged at " + secondsText(s.damage.at) + " s: playing what decodes";
    if (!s.ended)
        return "";
    // A file whose header promises more than its data holds was cut short; an estimate from the bit rate
    // promises nothing. The container's duration is the longest stream's: it speaks for the audio only when it
    // is alone.
    int others = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        others += (int)i != s.index && !(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC);
    double declared = s.audio->duration != AV_NOPTS_VALUE ? (double)s.audio->duration * av_q2d(s.audio->time_base)
                      : format->duration != AV_NOPTS_VALUE && others == 0 ? (double)format->duration / AV_TIME_BASE
                                                                         : 0;
    bool estimated = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    if (s.cut || (!s.stream && !estimated && declared > s.here() + s.skipped + 0.05 + declared * 0.01))
        return quoted(s.path) + " is cut short: playing the " + secondsText(s.here()) + " s it holds";
    return "";
}

} // namespace gloamer
