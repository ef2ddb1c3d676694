// playlist_player.h -- the feed of play: tracks one after another, next and previous, seeking, repeat.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "host/audio/audio_track.h"
#include "host/audio/playlist.h"
#include "host/player/audio_feed.h"

namespace gloamer {

// Plays the entries in order, each opened when its turn comes and decoded as it plays (an entry with no location
// is the demo track).
// A track that does not load is skipped with a warning. `seconds` limits the whole run, not each track.
class PlaylistFeed : public AudioFeed {
public:
    // Opens the first entry that plays; throws HostError when none does. `opened`, when given, is the first
    // entry's input, already opened (for its cover), which is then not opened again.
    PlaylistFeed(std::vector<PlaylistEntry> entries, bool loop, std::optional<double> seconds,
                 std::unique_ptr<AudioDecoder> opened = nullptr);
    ~PlaylistFeed() override;

    const AudioTrack& track() const { return *track_; }
    const std::string& silentReason() const { return feed_->silentReason(); }
    // "Playing 2/5: Song (3:45)." on stdout, as each track starts.
    void announce(const char* keys = nullptr) const;

    int sampleRate() const override { return firstRate_; }
    int channelCount() const override { return firstChannels_; }
    void start() override;
    void fill(VisModule& module) override;
    bool ended() const override;
    void setPaused(bool paused) override;
    bool paused() const override { return paused_; }
    void skipTracks(int by) override;
    void seekBy(double seconds) override;
    std::string nowPlaying() const override;

private:
    // Moves `by` entries on (or back), past the ones that do not load; false when none is left that way.
    bool moveTo(long index, int direction);
    double position() const;
    // The warnings about the tracks moveTo passed over, on stderr.
    void reportSkipped();

    std::vector<PlaylistEntry> entries_;
    std::vector<std::string> skipped_; // why each track passed over did not play
    bool loop_;
    std::optional<double> seconds_;
    long index_ = 0;
    std::unique_ptr<AudioTrack> track_;
    std::unique_ptr<AudioDecoder> stream_; // fills track_ as it plays; null for the demo, held whole
    double length_ = 0;                    // the track's length in seconds, where known
    std::unique_ptr<AudioDecoder> opened_; // the first entry's stream, until it plays
    std::unique_ptr<PlaybackFeed> feed_;   // plays track_, so it goes first
    int firstRate_ = 0, firstChannels_ = 0;
    double playedBefore_ = 0; // seconds of the tracks before this one
    bool started_ = false, paused_ = false, finished_ = false;
};

// m:ss, or h:mm:ss from an hour on.
std::string clockText(double seconds);

} // namespace gloamer
