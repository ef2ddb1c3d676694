// playlist_player.cpp -- one PlaybackFeed per track, made anew as the playlist moves on.
#include "host/player/playlist_player.h"

#include <cmath>
#include <cstdio>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

// Previous within the first seconds of a track goes to the one before; later it starts this one again.
constexpr double restartAfterSeconds = 3;

} // namespace

std::string clockText(double seconds)
{
    long whole = std::lround(std::floor(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof(text), "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof(text), "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

PlaylistFeed::PlaylistFeed(std::vector<PlaylistEntry> entries, bool loop, std::optional<double> seconds,
                           std::unique_ptr<AudioDecoder> opened)
    : entries_(std::move(entries)), loop_(loop), seconds_(seconds), opened_(std::move(opened))
{
    if (entries_.empty())
        throw HostError("nothing to play: the inputs given list no music");
    // Nothing playing at all is one line naming the first failure; otherwise the skipped are each said.
    if (!moveTo(0, 1))
        throw HostError("none of the " + std::to_string(entries_.size()) + " tracks given can be played (" +
                        (skipped_.empty() ? std::string("none loads") : skipped_.front()) + ")");
    reportSkipped();
    firstRate_ = track_->sampleRate;
    firstChannels_ = track_->channelCount;
}

PlaylistFeed::~PlaylistFeed() = default;

bool PlaylistFeed::moveTo(long index, int direction)
{
    const long count = (long)entries_.size();
    for (long tries = 0; tries < count; ++tries, index += direction) {
        // Before the first track plays, a long list of tracks that do not open still answers Ctrl-C and SIGTERM;
        // once playing, the frame loop answers them.
        if (!started_ && interruptRequested())
            throw StopRequested();
        if (index >= count && !loop_)
            return false;
        if (index < 0 && !loop_)
            index = 0, direction = 1;
        index = (index % count + count) % count;
        const PlaylistEntry& entry = entries_[(size_t)index];
        try {
            std::unique_ptr<AudioDecoder> stream;
            std::unique_ptr<AudioTrack> track;
            double length = 0;
            if (entry.location.empty()) {
                track = std::make_unique<AudioTrack>(makeDemoTrack());
                length = (double)track->frameCount() / track->sampleRate;
            } else {
                // Music plays as it is decoded, from a track that holds its last seconds, so that memory stays
                // flat however long it is; a file seeks to play elsewhere in it.
                stream = index == 0 && opened_ ? std::move(opened_) : std::make_unique<AudioDecoder>(entry.location);
                track = std::make_unique<AudioTrack>(stream->emptyTrack());
                if (stream->seekable()) {
                    // A file with nothing to play is refused now, as it would be had it been read whole.
                    stream->decode(track->samples, stream->sampleRate() / 4);
                    stream->throwIfSilentToTheEnd();
                    length = stream->declaredSeconds();
                }
            }
            if (track->title.empty())
                track->title = entry.location.empty() ? "The demo track" : entry.title;
            std::optional<double> left;
            if (seconds_)
                left = std::max(0.0, *seconds_ - playedBefore_);
            // The old output closes before the new one opens, and the old track goes only once nothing plays it.
            feed_.reset();
            stream_ = std::move(stream);
            track_ = std::move(track);
            length_ = length;
            feed_ = stream_ ? std::make_unique<PlaybackFeed>(*track_, *stream_, left)
                            : std::make_unique<PlaybackFeed>(*track_, left);
        } catch (const HostError& error) {
            // With one entry the error is the whole story: the caller reports it.
            if (count == 1)
                throw;
            skipped_.push_back(error.what());
            continue;
        }
        index_ = index;
        if (started_ && !paused_)
            feed_->start();
        return true;
    }
    return false;
}

double PlaylistFeed::position() const
{
    return (double)feed_->heardFrame() / track_->sampleRate;
}

void PlaylistFeed::reportSkipped()
{
    for (const std::string& reason : skipped_)
        std::fprintf(stderr, "gloamer: skipping a track: %s\n", reason.c_str());
    skipped_.clear();
}

void PlaylistFeed::announce(const char* keys) const
{
    std::string number = entries_.size() > 1
                             ? std::to_string(index_ + 1) + "/" + std::to_string(entries_.size()) + " "
                             : std::string();
    const std::string length = length_ > 0                          ? clockText(length_)
                               : stream_ && stream_->seekable() ? "length unknown"
                                                                : "a stream";
    std::printf("Playing %s%s (%s).%s%s\n", number.c_str(), track_->name.c_str(), length.c_str(), keys ? " " : "",
                keys ? keys : "");
    std::fflush(stdout);
}

void PlaylistFeed::start()
{
    started_ = true;
    if (!paused_)
        feed_->start();
}

void PlaylistFeed::fill(VisModule& module)
{
    if (!finished_ && feed_->ended() && !ended()) {
        playedBefore_ += position();
        if (moveTo(index_ + 1, 1))
            announce();
        else
            finished_ = true;
        reportSkipped();
    }
    feed_->fill(module);
}

bool PlaylistFeed::ended() const
{
    if (finished_)
        return true;
    if (!feed_->ended())
        return false;
    bool outOfTime = seconds_ && playedBefore_ + position() >= *seconds_ - 1e-3;
    return outOfTime || (!loop_ && index_ + 1 >= (long)entries_.size());
}

void PlaylistFeed::setPaused(bool paused)
{
    paused_ = paused;
    feed_->setPaused(paused);
}

void PlaylistFeed::skipTracks(int by)
{
    if (by == 0)
        return;
    if (by < 0 && position() > restartAfterSeconds) {
        feed_->seekTo(0);
        return;
    }
    playedBefore_ += position();
    if (moveTo(index_ + by, by > 0 ? 1 : -1))
        announce();
    else
        finished_ = true; // next after the last track, without --loop: the end, as in a player
    reportSkipped();
}

void PlaylistFeed::seekBy(double seconds)
{
    double to = position() + seconds;
    // Past the end is the next track, as in a player, rather than a seek the file cannot make.
    if (length_ > 0 && to >= length_) {
        skipTracks(1);
        return;
    }
    feed_->seekTo((int64_t)std::llround(std::max(0.0, to) * track_->sampleRate));
}

std::string PlaylistFeed::nowPlaying() const
{
    std::string number = entries_.size() > 1
                             ? std::to_string(index_ + 1) + "/" + std::to_string(entries_.size()) + " "
                             : std::string();
    return number + (track_->title.empty() ? track_->name : track_->title) + " \u2014 " + clockText(position()) +
           (length_ > 0 ? " / " + clockText(length_) : std::string());
}

} // namespace gloamer
