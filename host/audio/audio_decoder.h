// audio_decoder.h -- an input's audio decoded piece by piece from any sample frame on, so that only the part a
// command needs is ever read and held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/audio/audio_track.h"
#include "host/media/cover_picture.h"

namespace gloamer {

// Opens `path` ("-" for standard input, a URL for a stream) and decodes its best audio stream into 16-bit
// interleaved samples at its own rate: mono stays one channel, anything wider is mixed down to stereo. Every
// read goes through the input's read watch (Ctrl-C, the read timeout). Throws HostError naming the file when it
// holds no audio stream or cannot be read.
class AudioDecoder {
public:
    explicit AudioDecoder(const std::string& path);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    int sampleRate() const;
    int channelCount() const;
    const std::string& name() const;  // the input's name without its folder, or "standard input"
    const std::string& title() const; // the title tag, where there is one
    // The pictures attached to the input (a cover), taken when it was opened so a stream is not read twice.
    const std::vector<CoverPicture>& covers() const;
    // A track of the input's rate, channels, name, title and covers, holding no samples yet.
    AudioTrack emptyTrack() const;

    // The sample frame the next decode appends first.
    int64_t position() const;
    // True once the input has nothing more to give.
    bool ended() const;
    // Moves forward to sample frame `frame`, giving exactly the samples a decode from the start gives there: a
    // seekable file in a codec whose packets decode on their own seeks, any other input decodes and discards.
    void skipTo(int64_t frame);
    // Goes to about sample frame `frame`, back or forth, as a player seeks: an input read from a seekable file
    // seeks to the nearest place its container knows, whatever the codec, and decodes on from there to the
    // frame, so position() may end up a little past it. Anything else can only go forward, by decoding on.
    void seekTo(int64_t frame);
    // True for an input that seekTo can take back: a file, not a pipe, device or URL.
    bool seekable() const;
    // The length the input declares, or its container estimates from the bit rate, in seconds; 0 where neither.
    double declaredSeconds() const;
    // Appends up to `frames` sample frames to `samples`, fewer only where the input ends; returns the count.
    int64_t decode(std::vector<int16_t>& samples, int64_t frames);

    // Where a damaged or cut input went wrong, or what of it could not be converted; empty when nothing was.
    // An input's end counts as cut only once decoding reached it.
    std::string warning() const;
    // True once a packet failed to read or decode.
    bool damaged() const;
    // Throws HostError naming the input when nothing decoded came before its end: it holds no audio, or the
    // file is damaged or cut before any.
    void throwIfSilentToTheEnd() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace gloamer
