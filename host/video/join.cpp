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

void joinVideos(const std::vector<JoinPart>& parts, int fps, const AudioInput& audio, int audioKbps,
                const std::string& output, bool replace)
{
    if (parts.empty())
        throw HostError("no parts to join");
    av_log_set_level(AV_LOG_ERROR);
    auto fail = [&output](int result, const std::string& what) {
        if (result < 0)
            throw HostError(what + " '" + output + "': " + ffmpegError(result));
    };
    MediaOutput out = newMediaOutput(output);

    // The first part decides the set-up that every other must share.
    MediaInput first = openMediaInput(parts[0].path);
    const AVStream* firstVideo = videoStreamOf(first.get(), parts[0].path);
    AVStream* video = avformat_new_stream(out.get(), nullptr);
    if (!video)
        throw HostError("out of memory while setting up '" + output + "'");
    fail(avcodec_parameters_copy(video->codecpar, firstVideo->codecpar), "cannot describe the video of");
    video->codecpar->codec_tag = 0;
    video->time_base = AVRational{1, fps};
    video->avg_frame_rate = AVRational{fps, 1};
    std::unique_ptr<AudioTrackWriter> sound;
    if (hasMusic(audio))
        sound = std::make_unique<AudioTrackWriter>(out.get(), audio, audioKbps, fps, output);
    first.reset();

    PendingFile pending(output, replace);
    // The index goes to the front, as for a rendered video, so that the joined one plays while it downloads.
    startMediaOutput(out.get(), pending.path(), output, false);

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!packet)
        throw HostError("out of memory while joining into '" + output + "'");
    const AVRational frameUnits{1, fps};
    int64_t framesBefore = 0;
    int64_t lastDts = INT64_MIN;
    for (const JoinPart& part : parts) {
        MediaInput input = openMediaInput(part.path);
        const AVStream* stream = videoStreamOf(input.get(), part.path);
        if (!sameSetUp(stream->codecpar, video->codecpar))
            throw HostError("'" + part.path + "' was encoded unlike '" + parts[0].path +
                            "' (codec, size or encoder settings): render every part with the same options");
        const int64_t shift = av_rescale_q(framesBefore, frameUnits, video->time_base);
        int64_t frames = 0;
        int result;
        while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
            if (packet->stream_index != stream->index) {
                av_packet_unref(packet.get());
                continue;
            }
            if (frames == 0 && !(packet->flags & AV_PKT_FLAG_KEY))
                throw HostError("'" + part.path + "' does not start on a keyframe, so it cannot be joined");
            av_packet_rescale_ts(packet.get(), stream->time_base, video->time_base);
            packet->pts += shift;
            packet->dts += shift;
            if (packet->dts <= lastDts)
                throw HostError("the frames of '" + part.path + "' overlap those before it");
            lastDts = packet->dts;
            packet->stream_index = video->index;
            packet->pos = -1;
            ++frames;
            if (sound)
                sound->sendUntil(framesBefore + frames, false);
            fail(av_interleaved_write_frame(out.get(), packet.get()), "cannot write");
        }
        if (result != AVERROR_EOF)
            throw HostError("cannot read '" + part.path + "': " + ffmpegError(result));
        if (frames != part.frames)
            throw HostError("'" + part.path + "' holds " + std::to_string(frames) + " frames, not the " +
                            std::to_string(part.frames) + " of its part: it was cut short");
        framesBefore += frames;
    }
    if (sound)
        sound->sendUntil(framesBefore, true);
    fail(av_write_trailer(out.get()), "cannot finish");
    fail(avio_closep(&out->pb), "cannot close");
    pending.commit();
}

} // namespace gloamer
