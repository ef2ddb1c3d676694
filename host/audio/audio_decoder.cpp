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

// Converts decoded frames to 16-bit interleaved samples at the track's rate: mono as it is, anything wider (5.1,
// 7.1) mixed down to stereo, so that a centre or surround channel is heard and seen too. A chained Ogg file may
// change its rate or channels part-way: its later parts are resampled to the track's rate and mixed to its
// channels, so that every part plays.
class SampleConverter {
public:
    SampleConverter(const AVCodecContext& codec, int channelCount, const std::string& path)
        : channelCount_(channelCount), rate_(codec.sample_rate)
    {
        if (!open(codec.ch_layout, codec.sample_rate, codec.sample_fmt))
            throw HostError("cannot read " + quoted(path) + ": its sample format cannot be converted");
    }
    ~SampleConverter() { av_channel_layout_uninit(&inLayout_); }
    SampleConverter(const SampleConverter&) = delete;
    SampleConverter& operator=(const SampleConverter&) = delete;

    // Appends the frame's samples to `out`; returns their frame count.
    int add(const AVFrame& frame, std::vector<int16_t>& out)
    {
        const auto format = (AVSampleFormat)frame.format;
        if (!resampler_ || frame.sample_rate != inRate_ || format != inFormat_ ||
            av_channel_layout_compare(&frame.ch_layout, &inLayout_) != 0) {
            int flushed = flush(out);
            if (!open(frame.ch_layout, frame.sample_rate, format)) {
                leftOut_ += (double)frame.nb_samples / std::max(1, frame.sample_rate);
                return flushed;
            }
            return flushed + convert(frame.extended_data, frame.nb_samples, out);
        }
        return convert(frame.extended_data, frame.nb_samples, out);
    }

    // Appends what resampling holds back (nothing while the rate is the track's own); returns the frame count.
    int flush(std::vector<int16_t>& out) { return resampler_ ? convert(nullptr, 0, out) : 0; }
    // Drops what is held back, for a decode that starts again elsewhere.
    void reset()
    {
        resampler_.reset();
        inRate_ = 0;
    }

    // Seconds of sound left out because they could not be converted to the track's form.
    double leftOut() const { return leftOut_; }

private:
    bool open(const AVChannelLayout& layout, int rate, AVSampleFormat format)
    {
        resampler_.reset();
        av_channel_layout_uninit(&inLayout_);
        inRate_ = 0;
        AVChannelLayout in = {};
        // A layout that only counts its channels is taken as the usual one for that count, which swr can mix.
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, layout.nb_channels);
        else
            av_channel_layout_copy(&in, &layout);
        AVChannelLayout out = {};
        av_channel_layout_default(&out, channelCount_);
        SwrContext* resampler = nullptr;
        // The format becomes 16-bit (float saturates at full scale), the rate and the channels the track's.
        int made = rate > 0 && layout.nb_channels > 0
                       ? swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, rate_, &in, format, rate, 0, nullptr)
                       : -1;
        av_channel_layout_uninit(&in);
        if (made < 0 || swr_init(resampler) < 0) {
            swr_free(&resampler);
            return false;
        }
        resampler_.reset(resampler);
        av_channel_layout_copy(&inLayout_, &layout);
        inRate_ = rate;
        inFormat_ = format;
        return true;
    }

    int convert(uint8_t* const* data, int frames, std::vector<int16_t>& out)
    {
        int room = swr_get_out_samples(resampler_.get(), frames);
        if (room <= 0)
            return 0;
        size_t at = out.size();
        out.resize(at + (size_t)room * (size_t)channelCount_);
        uint8_t* into = reinterpret_cast<uint8_t*>(out.data() + at);
        int made = swr_convert(resampler_.get(), &into, room, const_cast<const uint8_t**>(data), frames);
        out.resize(at + (size_t)std::max(0, made) * (size_t)channelCount_);
        return std::max(0, made);
    }

    int channelCount_;
    int rate_; // the track's
    int inRate_ = 0; // the shape resampler_ converts from; 0 once reset
    AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
    AVChannelLayout inLayout_ = {};
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

    // The damage checks (see noteDamageAround): timestamps measured from the first packet since the start or a seek.
    Damage damage;
    int readFailures = 0;
    bool cut = false;
    double shortPacketAt = -1;
    int64_t firstPts = AV_NOPTS_VALUE;
    int64_t firstPtsFrame = 0; // the sample frame at firstPts
    double skipped = 0;
    bool placeUnknown = false; // after a seek, until the first packet says where it landed
    int64_t seekTarget = 0;
    bool landsNear = false; // that seek was a player's: a landing a little past its target will do
    int trackRate = 0;      // the first part's: a chained file's later parts are resampled to it

    State(const std::string& name, MediaInput opened) : path(name), stream(isStreamName(name)), input(std::move(opened))
    {
    }

    int rate() const { return trackRate; }
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

    // The audio's length as the input states it, in seconds; 0 where it states none. The container's duration is
    // the longest stream's: it speaks for the audio only when it is alone.
    double declared() const
    {
        AVFormatContext* format = input.format();
        if (audio->duration != AV_NOPTS_VALUE)
            return (double)audio->duration * av_q2d(audio->time_base);
        int others = 0;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            others += (int)i != index && !(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC);
        return format->duration != AV_NOPTS_VALUE && others == 0 ? (double)format->duration / AV_TIME_BASE : 0;
    }

    bool seekableFile() const
    {
        AVFormatContext* format = input.format();
        return !stream && format->pb && (format->pb->seekable & AVIO_SEEKABLE_NORMAL);
    }

    void restart(int64_t at)
    {
        converter->reset();
        ended = reachedEnd = false;
        pending.clear();
        pendingFrom = decoded = at;
        firstPts = AV_NOPTS_VALUE;
        shortPacketAt = -1;
        skipped = 0;
    }

    // Seeks to just before `target`. Exactly: only where that gives the samples a decode from the start gives
    // there; else near: anywhere the container can, for a player. False where no seek was made.
    bool seekBefore(int64_t target, bool exactly)
    {
        // Timestamps coarser than a sample (Matroska's milliseconds) would not say which sample a packet starts at.
        const bool exactTimes = audio->time_base.num == 1 && audio->time_base.den % rate() == 0;
        if (!seekableFile() || (exactly && (!decodesAlone(decoder->codec_id) || !exactTimes)))
            return false;
        int64_t origin = audio->start_time != AV_NOPTS_VALUE ? audio->start_time : 0;
        int64_t ts = origin + av_rescale_q(target, AVRational{1, rate()}, audio->time_base);
        if (avformat_seek_file(input.format(), index, INT64_MIN, ts, ts, 0) < 0)
            return false; // decoding on to it gives the same samples, only later
        avcodec_flush_buffers(decoder.get());
        ended = reachedEnd = false;
        placeUnknown = true;
        landsNear = !exactly;
        seekTarget = target;
        return true;
    }

    // Reads one packet and decodes what it gives; at the input's end, flushes the decoder and ends.
    void step()
    {
        int result = av_read_frame(input.format(), packet.get());
        if (result < 0) {
            readGaveNothing(result);
            return;
        }
        if (packet->stream_index == index) {
            if (placeUnknown && !seekLanded())
                return;
            noteDamageAround();
            if (avcodec_send_packet(decoder.get(), packet.get()) < 0)
                damage.note(here());
            drain();
        }
        av_packet_unref(packet.get());
    }

    // A read that gave no packet: a seek past the end, the input's end, damage to skip, or a failure that ends it.
    void readGaveNothing(int result)
    {
        if (placeUnknown && result != AVERROR_INVALIDDATA) {
            placeUnknown = false;
            // A player's seek past the end ends the track there; for an exact one, where the input ends is learnt
            // by decoding it from its start.
            if (landsNear) {
                restart(seekTarget);
                finish();
            } else {
                rewind();
            }
            return;
        }
        if (result == AVERROR_EOF) {
            cut = cut || shortPacketAt >= 0;
            reachedEnd = true;
            finish();
            return;
        }
        input.throwIfStopped();
        // Data that does not parse is damage to skip; a read that fails (end of a cut file, a dropped
        // connection) ends what there is.
        if (result != AVERROR_INVALIDDATA || ++readFailures > 1000) {
            cut = cut || result != AVERROR_INVALIDDATA;
            finish();
            return;
        }
        damage.note(here());
    }

    // Where the seek landed, from the first packet's timestamp; one without, or past the target, is not to be
    // trusted: the packet is dropped, the decode goes back to the start, and this returns false.
    bool seekLanded()
    {
        placeUnknown = false;
        int64_t at = packet->pts != AV_NOPTS_VALUE ? frameAt(packet->pts) : -1;
        if (at < 0 || (at > seekTarget && !landsNear)) {
            av_packet_unref(packet.get());
            rewind();
            return false;
        }
        restart(at);
        return true;
    }

    // The damage a packet of the audio shows before it is decoded: a short packet before it, or a gap in the
    // timestamps up to it.
    void noteDamageAround()
    {
        // A short packet last of all is where a cut file ends; anywhere else it is damage.
        if (shortPacketAt >= 0)
            damage.note(shortPacketAt);
        shortPacketAt = (packet->flags & AV_PKT_FLAG_CORRUPT) ? here() : -1;
        // Demuxers drop pages that fail their checksum quietly: a jump in the timestamps is where they were.
        if (packet->pts == AV_NOPTS_VALUE)
            return;
        if (firstPts == AV_NOPTS_VALUE) {
            firstPts = packet->pts;
            firstPtsFrame = decoded;
        }
        // The encoder's delay and padding, which the decoder drops, are no gap and no cut (at 8 kHz an MP3's delay
        // is 0.14 s).
        size_t size = 0;
        if (const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            skip && size >= 8)
            skipped += (double)(AV_RL32(skip) + AV_RL32(skip + 4)) / rate();
        if ((double)(packet->pts - firstPts) * av_q2d(audio->time_base) >
            (double)(decoded - firstPtsFrame) / rate() + skipped + 0.1)
            damage.note(here());
    }

    void finish()
    {
        avcodec_send_packet(decoder.get(), nullptr);
        drain();
        decoded += converter->flush(pending);
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
    s.trackRate = s.decoder->sample_rate;
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

AudioTrack AudioDecoder::emptyTrack() const
{
    AudioTrack track;
    track.sampleRate = sampleRate();
    track.channelCount = channelCount();
    track.name = name();
    track.title = title();
    track.covers = covers();
    return track;
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
    if (frame > s.pendingEnd() + s.rate() && !s.ended && !s.placeUnknown)
        s.seekBefore(frame, true);
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

void AudioDecoder::seekTo(int64_t frame)
{
    State& s = *state_;
    frame = std::max<int64_t>(0, frame);
    // Within what is decoded or a second past it, decoding on is quicker than any seek.
    const bool near = frame >= s.pendingFrom && frame <= s.pendingEnd() + s.rate();
    if (!near && s.seekBefore(frame, false)) {
        skipTo(frame);
        return;
    }
    if (frame < s.pendingFrom && s.seekableFile())
        s.rewind();
    skipTo(frame);
}

bool AudioDecoder::seekable() const
{
    return state_->seekableFile();
}

double AudioDecoder::declaredSeconds() const
{
    return state_->declared();
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

void AudioDecoder::throwIfSilentToTheEnd() const
{
    const State& s = *state_;
    if (!s.ended || s.decoded > 0)
        return;
    throw HostError(s.damage.found ? "cannot read " + quoted(s.path) + ": the file is damaged or cut short"
                                   : "cannot play " + quoted(s.path) + ": it holds no audio");
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
        return quoted(s.path) + " changes part-way to a form that cannot be converted: leaving out " +
               secondsText(s.converter->leftOut()) + " s of it";
    if (s.damage.found)
        return quoted(s.path) + " is damaged at " + secondsText(s.damage.at) + " s: playing what decodes";
    if (!s.ended)
        return "";
    // A file whose header promises more than its data holds was cut short; an estimate from the bit rate
    // promises nothing.
    double declared = s.declared();
    bool estimated = format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    if (s.cut || (!s.stream && !estimated && declared > s.here() + s.skipped + 0.05 + declared * 0.01))
        return quoted(s.path) + " is cut short: playing the " + secondsText(s.here()) + " s it holds";
    return "";
}

} // namespace gloamer
