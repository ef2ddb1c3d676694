// audio_file.cpp -- a file's, stream's or video's sound decoded into a track: whole, or the span a command needs.
#include "host/audio/audio_track.h"

#include <sys/stat.h>

#include <cmath>

#include "host/audio/audio_decoder.h"
#include "host/media/media_input.h"
#include "host/process/host_error.h"

namespace gloamer {

namespace {

// Anything a track may hold: about 6 hours of stereo at 48 kHz, so that a sample count fits a 32-bit int.
constexpr int64_t maxSamples = int64_t{1} << 31;
// Decoded per call, so that the limit above is checked as the track grows.
constexpr int64_t chunkFrames = 65536;

// Refuses an input that gave no sample at all; otherwise hands on what went wrong on the way.
void checkDecoded(const AudioTrack& track, const AudioDecoder& decoder, std::string* warning)
{
    if (track.frameCount() == 0)
        decoder.throwIfSilentToTheEnd();
    if (warning)
        *warning = decoder.warning();
}

} // namespace

AudioTrack loadAudioSpan(const std::string& path, double start, double seconds, std::string* warning)
{
    AudioDecoder decoder(path);
    AudioTrack track = decoder.emptyTrack();
    const int64_t first = start > 0 ? (int64_t)std::llround(start * track.sampleRate) : 0;
    const int64_t end = seconds > 0 ? first + (int64_t)std::ceil(seconds * track.sampleRate) : INT64_MAX;
    decoder.skipTo(first);
    track.firstFrame = decoder.position();
    while ((int64_t)track.frameCount() < end && !decoder.ended()) {
        if ((int64_t)track.samples.size() + chunkFrames * track.channelCount > maxSamples)
            throw HostError("cannot play '" + path + "': it is too long (more than " +
                            std::to_string(maxSamples / track.channelCount / track.sampleRate / 60) + " minutes)");
        decoder.decode(track.samples, std::min<int64_t>(chunkFrames, end - (int64_t)track.frameCount()));
    }
    checkDecoded(track, decoder, warning);
    return track;
}

AudioTrack measureAudioFile(const std::string& path, std::string* warning)
{
    AudioDecoder decoder(path);
    AudioTrack track = decoder.emptyTrack();
    std::vector<int16_t> discarded;
    while (!decoder.ended()) {
        discarded.clear();
        decoder.decode(discarded, chunkFrames);
    }
    track.firstFrame = decoder.position();
    checkDecoded(track, decoder, warning);
    return track;
}

bool readsAsStream(const std::string& path)
{
    struct stat info;
    return isStreamName(path) || (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode));
}

AudioTrack loadAudioFile(const std::string& path, std::string* warning)
{
    return loadAudioSpan(path, 0, 0, warning);
}

} // namespace gloamer
