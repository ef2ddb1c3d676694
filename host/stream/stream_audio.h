// stream_audio.h -- the sound a stream sends: play's inputs one after another, decoded as they go and resampled to
// one format, held for the picture's analysis and the encoder and let go of once both have passed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/audio/audio_decoder.h"
#include "host/audio/audio_track.h"
#include "host/audio/playlist.h"

struct SwrContext;

namespace gloamer {

// Where a track begins in the stream's sound, and what to call it.
struct TrackStart {
    int64_t frame = 0;
    std::string title;
    long number = 0; // from 1, in the list's order
    long count = 0;  // entries in the list
};

struct StreamAudioLimits {
    bool loop = false;          // start over after the last entry
    int64_t endFrame = INT64_MAX; // --duration, in sample frames
    long tracks = 0;            // --tracks: end after this many have played; 0: no limit
};

// The sound a stream sends, 48 kHz stereo from its start: filled on the drawing thread (need), read there without
// a lock (held) and copied by the encoder thread (copy).
class StreamSound {
public:
    static constexpr int sampleRate = 48000;
    static constexpr int channelCount = 2;

    virtual ~StreamSound() = default;
    // Has sample frames before `upTo` held, or the sound ended; may wait for them (a live input).
    virtual void need(int64_t upTo) = 0;
    // True once the sound ends at or before `frame`.
    virtual bool endsBy(int64_t frame) const = 0;
    virtual const AudioTrack& held() const = 0;
    // Lets go of what is before `frame`.
    virtual void release(int64_t frame) = 0;
    // Copies up to `count` frames from `first` on; fewer only where the sound has ended; silence for what is
    // not held. Any thread.
    virtual int64_t copy(int64_t first, int64_t count, int16_t* into) = 0;
    // The tracks begun since the last call, in order.
    virtual std::vector<TrackStart> takeTrackStarts() = 0;
};

// The sound held between the drawing thread, which appends and lets go of it, and the encoder thread, which
// copies it: 48 kHz stereo, counted from the stream's start.
class SoundWindow {
public:
    SoundWindow();
    void append(const int16_t* samples, int64_t frames);
    void release(int64_t frame);
    // Copies `count` frames from `first` on, silence for what is not held; fewer only past the end once finished.
    int64_t copy(int64_t first, int64_t count, int16_t* into) const;
    // The sound ends at `frame`, or where it is now if that is sooner; what is past it goes.
    void finishAt(int64_t frame);
    bool finished() const { return finished_; }
    // Sample frames from the start to the end of what is held.
    int64_t end() const { return (int64_t)held_.frameCount(); }
    // Read without a lock: only the thread that appends and releases may.
    const AudioTrack& track() const { return held_; }

private:
    mutable std::mutex mutex_;
    AudioTrack held_;
    std::atomic<bool> finished_{false};
};

// Decoding runs on the drawing thread (need); the encoder thread copies what is held (copy). An entry that does
// not open, or stops giving sound, is passed over with a warning; the sound then goes on with the next.
class StreamAudio : public StreamSound {
public:
    // Opens the first entry that plays; throws HostError when none does.
    StreamAudio(std::vector<PlaylistEntry> entries, StreamAudioLimits limits);
    ~StreamAudio() override;
    StreamAudio(const StreamAudio&) = delete;
    StreamAudio& operator=(const StreamAudio&) = delete;

    void need(int64_t upTo) override;
    bool endsBy(int64_t frame) const override { return window_.finished() && window_.end() <= frame; }
    const AudioTrack& held() const override { return window_.track(); }
    void release(int64_t frame) override { window_.release(frame); }
    int64_t copy(int64_t first, int64_t count, int16_t* into) override { return window_.copy(first, count, into); }
    std::vector<TrackStart> takeTrackStarts() override;

private:
    int64_t end() const { return window_.end(); }
    bool openNext();
    void decodeSome();
    void closeTrack();
    void resampleAndAppend(const std::vector<int16_t>& input, int64_t frames);

    std::vector<PlaylistEntry> entries_;
    StreamAudioLimits limits_;
    size_t next_ = 0;      // the entry to open next
    long started_ = 0;     // tracks begun
    std::unique_ptr<AudioDecoder> decoder_;
    SwrContext* resampler_ = nullptr;
    std::vector<int16_t> decoded_, converted_;
    SoundWindow window_;
    std::vector<TrackStart> starts_;
};

} // namespace gloamer
