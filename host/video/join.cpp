// join.cpp -- a remux through libavformat: packets copied with their timestamps shifted by the frames before,
// the audio resampled and encoded as gloamer render encodes it, interleaved as the video is written.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/video/audio_track_writer.h"
#include "host/video/join.h"
#include "host/video/remux.h"

namespace gloamer {

namespace {

AVStream* videoStreamOf(AVFormatContext* input, const std::string& path)
{
    int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        throw HostError("'" + path + "' holds no video");
    return input->streams[index];
}

bool sameSetUp(const AVCodecParameters* a, const AVCodecParameters* b)
{
    return a->codec_id == b->codec_id && a->width == b->width && a->height == b->height && a->format == b->format &&
           a->extradata_size == b->extradata_size &&
           (a->extradata_size == 0 || std::memcmp(a->extradata, b->extradata, a->extradata_size) == 0);
}

} // namespace

std::string videoComment(const std::string& path)
{
    MediaInput input = openMediaInput(path);
    const AVDictionaryEntry* entry = av_dict_get(input->metadata, "comment", nullptr, 0);
    return entry ? entry->value : "";
}

namespace {

void failOn(int result, const std::string& what, const std::string& output)
{
    if (result < 0)
        throw HostError(what + " '" + output + "': " + ffmpegError(result));
}

// The output's video stream, set up as the first part's video: every other part must share that set-up.
AVStream* addVideoLike(AVFormatContext* out, const JoinPart& first, int fps, const std::string& output)
{
    MediaInput input = openMediaInput(first.path);
    const AVStream* firstVideo = videoStreamOf(input.get(), first.path);
    AVStream* video = avformat_new_stream(out, nullptr);
    if (!video)
        throw HostError("out of memory while setting up '" + output + "'");
    failOn(avcodec_parameters_copy(video->codecpar, firstVideo->codecpar), "cannot describe the video of", output);
    video->codecpar->codec_tag = 0;
    video->time_base = AVRational{1, fps};
    video->avg_frame_rate = AVRational{fps, 1};
    return video;
}

// The joined video while it is written: where the next part's frames go, and the sound written beside them.
struct JoinedVideo {
    AVFormatContext* out;
    AVStream* video;
    AudioTrackWriter* sound; // null without music
    AVPacket* packet;
    int fps;
    const std::string& output;
    const std::string& firstPath;
    int64_t framesBefore = 0;
    int64_t lastDts = INT64_MIN;
};

// Moves a packet of `from` onto the joined video's timeline, `shift` (in its units) after the joined video's start.
void placeOnTimeline(JoinedVideo& joined, const AVStream* from, int64_t shift, const std::string& path)
{
    AVPacket* packet = joined.packet;
    av_packet_rescale_ts(packet, from->time_base, joined.video->time_base);
    packet->pts += shift;
    packet->dts += shift;
    if (packet->dts <= joined.lastDts)
        throw HostError("the frames of '" + path + "' overlap those before it");
    joined.lastDts = packet->dts;
    packet->stream_index = joined.video->index;
    packet->pos = -1;
}

// Copies the video packets of `part` after those before it, the sound keeping up; returns the frames copied.
int64_t appendPart(JoinedVideo& joined, const JoinPart& part)
{
    MediaInput input = openMediaInput(part.path);
    const AVStream* stream = videoStreamOf(input.get(), part.path);
    if (!sameSetUp(stream->codecpar, joined.video->codecpar))
        throw HostError("'" + part.path + "' was encoded unlike '" + joined.firstPath +
                        "' (codec, size or encoder settings): render every part with the same options");
    const int64_t shift = av_rescale_q(joined.framesBefore, AVRational{1, joined.fps}, joined.video->time_base);
    AVPacket* packet = joined.packet;
    int64_t frames = 0;
    int result;
    while ((result = av_read_frame(input.get(), packet)) >= 0) {
        if (packet->stream_index != stream->index) {
            av_packet_unref(packet);
            continue;
        }
        if (frames == 0 && !(packet->flags & AV_PKT_FLAG_KEY))
            throw HostError("'" + part.path + "' does not start on a keyframe, so it cannot be joined");
        placeOnTimeline(joined, stream, shift, part.path);
        ++frames;
        if (joined.sound)
            joined.sound->sendUntil(joined.framesBefore + frames, false);
        failOn(av_interleaved_write_frame(joined.out, packet), "cannot write", joined.output);
    }
    if (result != AVERROR_EOF)
        throw HostError("cannot read '" + part.path + "': " + ffmpegError(result));
    if (frames != part.frames)
        throw HostError("'" + part.path + "' holds " + std::to_string(frames) + " frames, not the " +
                        std::to_string(part.frames) + " of its part: it was cut short");
    return frames;
}

} // namespace

void joinVideos(const std::vector<JoinPart>& parts, int fps, const AudioInput& audio, int audioKbps,
                const std::string& output, bool replace)
{
    if (parts.empty())
        throw HostError("no parts to join");
    av_log_set_level(AV_LOG_ERROR);
    MediaOutput out = newMediaOutput(output);
    AVStream* video = addVideoLike(out.get(), parts[0], fps, output);
    std::unique_ptr<AudioTrackWriter> sound;
    if (hasMusic(audio))
        sound = std::make_unique<AudioTrackWriter>(out.get(), audio, audioKbps, fps, output);

    PendingFile pending(output, replace);
    // The index goes to the front, as for a rendered video, so that the joined one plays while it downloads.
    startMediaOutput(out.get(), pending.path(), output, false);

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!packet)
        throw HostError("out of memory while joining into '" + output + "'");
    JoinedVideo joined{out.get(), video, sound.get(), packet.get(), fps, output, parts[0].path};
    for (const JoinPart& part : parts)
        joined.framesBefore += appendPart(joined, part);
    if (sound)
        sound->sendUntil(joined.framesBefore, true);
    failOn(av_write_trailer(out.get()), "cannot finish", output);
    failOn(avio_closep(&out->pb), "cannot close", output);
    pending.commit();
}

} // namespace gloamer
