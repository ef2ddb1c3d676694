// stream_audio.cpp -- entries opened as their turn comes, decoded, resampled to 48 kHz stereo and held briefly.
extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "host/stream/stream_audio.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

constexpr int64_t decodeStep = 4096; // sample frames read from the input at a time

void warn(const std::string& text)
{
    // stderr: standard output may be the stream itself
    std::fprintf(stderr, "gloamer: %s\n", text.c_str());
}

} // namespace

StreamAudio::StreamAudio(std::vector<PlaylistEntry> entries, StreamAudioLimits limits)
    : entries_(std::move(entries)), limits_(limits)
{
    if (entries_.empty())
        throw HostError("nothing to stream: the inputs given list no music");
    if (entries_.size() == 1 && !entries_[0].location.empty()) {
        decoder_ = std::make_unique<AudioDecoder>(entries_[0].location); // its own error is the whole story
        next_ = 0;
    }
    if (!openNext())
        throw HostError("none of the " + std::to_string(entries_.size()) + " inputs given can be streamed");
}

StreamAudio::~StreamAudio()
{
    swr_free(&resampler_);
}

bool StreamAudio::openNext()
{
    if (limits_.tracks > 0 && started_ >= limits_.tracks)
        return false;
    for (size_t tries = 0; tries < entries_.size(); ++tries) {
        if (next_ >= entries_.size()) {
            if (!limits_.loop)
                return false;
            next_ = 0;
        }
        const PlaylistEntry& entry = entries_[next_];
        const long number = (long)++next_;
        try {
            std::string title = entry.title;
            if (entry.location.empty()) {
                AudioTrack demo = makeDemoTrack(sampleRate);
                starts_.push_back({end(), "The demo track", number, (long)entries_.size()});
                ++started_;
                window_.append(demo.samples.data(), (int64_t)demo.heldFrames());
                return true;
            }
            if (!decoder_)
                decoder_ = std::make_unique<AudioDecoder>(entry.location);
            if (!decoder_->title().empty())
                title = decoder_->title();
            if (title.empty())
                title = decoder_->name();
            AVChannelLayout in, out;
            av_channel_layout_default(&in, decoder_->channelCount());
            av_channel_layout_default(&out, channelCount);
            swr_free(&resampler_);
            int made = swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, sampleRate, &in, AV_SAMPLE_FMT_S16,
                                           decoder_->sampleRate(), 0, nullptr);
            av_channel_layout_uninit(&in);
            if (made < 0 || swr_init(resampler_) < 0)
                throw HostError("cannot convert the sound of '" + decoder_->name() + "'");
            starts_.push_back({end(), title, number, (long)entries_.size()});
            ++started_;
            return true;
        } catch (const HostError& error) {
            decoder_.reset();
            warn(std::string("skipping a track: ") + error.what());
        }
    }
    return false;
}

void StreamAudio::need(int64_t upTo)
{
    upTo = std::min(upTo, limits_.endFrame);
    int opensWithoutSound = 0; // a list of entries that give no sound must not spin for ever
    while (!window_.finished() && end() < upTo) {
        const int64_t before = end();
        if (decoder_)
            decodeSome();
        else if (opensWithoutSound++ > (int)entries_.size() || !openNext())
            window_.finishAt(end());
        if (end() > before)
            opensWithoutSound = 0;
    }
    if (end() >= limits_.endFrame)
        window_.finishAt(limits_.endFrame);
}

void StreamAudio::decodeSome()
{
    decoded_.clear();
    int64_t got = 0;
    try {
        got = decoder_->decode(decoded_, decodeStep);
    } catch (const HostError& error) {
        warn(std::string("the input stopped (") + error.what() + "): going on with the next track");
        closeTrack();
        return;
    }
    if (got > 0)
        resampleAndAppend(decoded_, got);
    if (decoder_->ended() || got == 0) {
        if (std::string warning = decoder_->warning(); !warning.empty())
            warn("warning: " + warning);
        closeTrack();
    }
}

void StreamAudio::closeTrack()
{
    if (resampler_) {
        // What the resampler still holds of the track's end.
        converted_.resize((size_t)4096 * channelCount);
        uint8_t* out = (uint8_t*)converted_.data();
        int made = swr_convert(resampler_, &out, 4096, nullptr, 0);
        if (made > 0)
            window_.append(converted_.data(), made);
        swr_free(&resampler_);
    }
    decoder_.reset();
}

void StreamAudio::resampleAndAppend(const std::vector<int16_t>& input, int64_t frames)
{
    const int room = swr_get_out_samples(resampler_, (int)frames);
    converted_.resize((size_t)std::max(room, 0) * channelCount);
    uint8_t* out = (uint8_t*)converted_.data();
    const uint8_t* in = (const uint8_t*)input.data();
    int made = swr_convert(resampler_, &out, room, &in, (int)frames);
    if (made > 0)
        window_.append(converted_.data(), made);
}

SoundWindow::SoundWindow()
{
    held_.sampleRate = StreamSound::sampleRate;
    held_.channelCount = StreamSound::channelCount;
}

void SoundWindow::append(const int16_t* samples, int64_t frames)
{
    std::lock_guard lock(mutex_);
    held_.samples.insert(held_.samples.end(), samples, samples + frames * held_.channelCount);
}

void SoundWindow::release(int64_t frame)
{
    std::lock_guard lock(mutex_);
    const int64_t drop = std::clamp<int64_t>(frame - held_.firstFrame, 0, (int64_t)held_.heldFrames());
    held_.samples.erase(held_.samples.begin(), held_.samples.begin() + (ptrdiff_t)(drop * held_.channelCount));
    held_.firstFrame += drop;
}

void SoundWindow::finishAt(int64_t frame)
{
    std::lock_guard lock(mutex_);
    const int64_t over = std::clamp<int64_t>(end() - frame, 0, (int64_t)held_.heldFrames());
    held_.samples.resize(held_.samples.size() - (size_t)(over * held_.channelCount));
    finished_ = true;
}

int64_t SoundWindow::copy(int64_t first, int64_t count, int16_t* into) const
{
    std::lock_guard lock(mutex_);
    const int channels = held_.channelCount;
    if (finished_)
        count = std::clamp<int64_t>(end() - first, 0, count);
    // What was let go of, or is not there yet, is silence: the timeline never shifts.
    std::memset(into, 0, (size_t)(count * channels) * sizeof(int16_t));
    const int64_t from = std::max(first, held_.firstFrame);
    const int64_t to = std::min(first + count, end());
    if (to > from)
        std::memcpy(into + (from - first) * channels, held_.at(from), (size_t)((to - from) * channels) * sizeof(int16_t));
    return count;
}

std::vector<TrackStart> StreamAudio::takeTrackStarts()
{
    std::vector<TrackStart> taken;
    taken.swap(starts_);
    return taken;
}

} // namespace gloamer
