// audio_file.cpp -- decodes audio files through libsndfile into 16-bit tracks, with errors a user can act on.
#include "host/audio/audio_track.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "host/audio/sdl_audio.h"
#include "host/host_error.h"

namespace gloamer {

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// Anything a track may hold: about 6 hours of stereo at 48 kHz, so that a sample count fits a 32-bit int.
constexpr sf_count_t maxSamples = sf_count_t{1} << 31;

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

std::string baseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Says why the file cannot be opened at all, before libsndfile is asked about its contents.
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
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
        throw HostError("cannot open " + quoted(path) + ": " + std::strerror(errno ? errno : EACCES));
    if (S_ISREG(info.st_mode) && info.st_size == 0)
        throw HostError("cannot read " + quoted(path) + ": the file is empty");
}

std::string openFailure(const std::string& path)
{
    int code = sf_error(nullptr);
    std::string reason = sf_strerror(nullptr);
    // The file was found readable just before: libsndfile's "does not exist" is its decoder giving up on it.
    if (reason.find("does not exist") != std::string::npos)
        reason = "not audio it can decode";
    switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
        return "cannot read " + quoted(path) + ": not an audio file this build reads (WAV, FLAC, Ogg, MP3, AIFF)";
    case SF_ERR_UNSUPPORTED_ENCODING:
        return "cannot read " + quoted(path) + ": its audio encoding is not supported (" + reason +
               "); convert it to WAV or FLAC";
    case SF_ERR_SYSTEM:
        return "cannot read " + quoted(path) + ": " + reason;
    default:
        return "cannot read " + quoted(path) + ": the file is damaged or cut short (" + reason + ")";
    }
}

// libsndfile quietly shortens a file whose audio data ends before its header says; its log says "should be".
bool dataWasCutShort(SNDFILE* file)
{
    char log[4096] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof(log));
    for (const char* line = log; *line;) {
        const char* end = std::strchr(line, '\n');
        std::string text(line, end ? (size_t)(end - line) : std::strlen(line));
        if ((text.rfind("data", 0) == 0 || text.rfind("SSND", 0) == 0) && text.find("should be") != std::string::npos)
            return true;
        if (!end)
            break;
        line = end + 1;
    }
    return false;
}

// Full scale is 1.0, as libsndfile reads 16-bit data; beyond it saturates, and what is not a number is silence.
int16_t toSample(float value)
{
    float scaled = value * 32768.0f;
    if (!(scaled == scaled))
        return 0;
    return (int16_t)std::lround(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

AudioTrack loadAudioFile(const std::string& path, std::string* warning)
{
    checkReadable(path);
    QuietStderr quiet; // the MP3 decoder notes every damaged frame there; the host says it once
    SF_INFO info = {};
    SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
        throw HostError(openFailure(path));
    if (info.channels < 1 || info.samplerate < 1)
        throw HostError("cannot read " + quoted(path) + ": the file declares no channels or no sample rate");
    // libsndfile hands float and double data to a short reader unscaled (0.5 becomes 0), so those are read
    // as floats and scaled here, saturating beyond full scale; everything else it decodes as short.
    const int subformat = info.format & SF_FORMAT_SUBMASK;
    const bool floatingPoint = subformat == SF_FORMAT_FLOAT || subformat == SF_FORMAT_DOUBLE;

    AudioTrack track;
    track.sampleRate = info.samplerate;
    track.channelCount = info.channels == 1 ? 1 : 2;
    track.name = baseName(path);
    if (info.frames > 0 && info.frames < maxSamples / track.channelCount)
        track.samples.reserve((size_t)(info.frames * track.channelCount));

    constexpr sf_count_t chunkFrames = 16384;
    std::vector<int16_t> chunk((size_t)(chunkFrames * info.channels));
    std::vector<float> floatChunk(floatingPoint ? chunk.size() : 0);
    for (;;) {
        sf_count_t frames = floatingPoint ? sf_readf_float(file.get(), floatChunk.data(), chunkFrames)
                                          : sf_readf_short(file.get(), chunk.data(), chunkFrames);
        if (frames <= 0)
            break;
        if (floatingPoint)
            for (size_t i = 0; i < (size_t)(frames * info.channels); ++i)
                chunk[i] = toSample(floatChunk[i]);
        if ((sf_count_t)track.samples.size() + frames * track.channelCount > maxSamples)
            throw HostError("cannot play " + quoted(path) + ": it is too long (more than " +
                            std::to_string(maxSamples / track.channelCount / track.sampleRate / 60) + " minutes)");
        for (sf_count_t frame = 0; frame < frames; ++frame) {
            const int16_t* source = &chunk[(size_t)(frame * info.channels)];
            track.samples.insert(track.samples.end(), source, source + track.channelCount);
        }
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw HostError("cannot read " + quoted(path) + ": it is damaged part-way (" + sf_strerror(file.get()) + ")");
    if (track.frameCount() == 0)
        throw HostError("cannot play " + quoted(path) + ": it holds no audio");
    if (warning) {
        warning->clear();
        // A cut WAV or AIFF says so in libsndfile's log; a damaged or cut FLAC decodes fewer frames than it declares.
        bool flacShort = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC && info.frames > 0 &&
                         (sf_count_t)track.frameCount() < info.frames;
        if (dataWasCutShort(file.get()) || flacShort) {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.1f", (double)track.frameCount() / track.sampleRate);
            *warning = quoted(path) + " is cut short: playing the " + seconds + " s it holds";
        }
    }
    return track;
}

} // namespace gloamer
