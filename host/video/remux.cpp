// remux.cpp -- packets copied between containers with libavformat, and a killed render's file cut to its whole part.
extern "C" {
#include <libavformat/avformat.h>
}

#include "host/video/remux.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "host/media/ffmpeg_handles.h"
#include "host/process/host_error.h"
#include "host/process/pending_file.h"

namespace gloamer {

void InputCloser::operator()(AVFormatContext* context) const
{
    avformat_close_input(&context);
}

MediaInput openMediaInput(const std::string& path)
{
    AVFormatContext* context = nullptr;
    int result = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (result < 0)
        throw HostError("cannot read '" + path + "': " + ffmpegError(result));
    return MediaInput(context);
}

void OutputCloser::operator()(AVFormatContext* context) const
{
    if (context->pb)
        avio_closep(&context->pb);
    avformat_free_context(context);
}

MediaOutput newMediaOutput(const std::string& name)
{
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, name.c_str()) < 0 || !raw)
        throw HostError("cannot write '" + name + "': unknown video format (use .mp4, .mkv or .mov)");
    return MediaOutput(raw);
}

void startMediaOutput(AVFormatContext* output, const std::string& file, const std::string& name, bool fragmented)
{
    auto fail = [&name](int result, const char* what) {
        if (result < 0)
            throw HostError(std::string(what) + " '" + name + "': " + ffmpegError(result));
    };
    fail(avio_open(&output->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot open");
    AVDictionary* options = nullptr;
    const std::string muxer = output->oformat->name;
    if ((muxer == "mp4" || muxer == "mov") && fragmented)
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof", 0);
    else if (muxer == "mp4" || muxer == "mov") {
        // The muxer moves the index to the front by reading the file back by its URL: the name written.
        av_dict_set(&options, "movflags", "+faststart", 0);
        av_freep(&output->url);
        output->url = av_strdup(file.c_str());
    }
    if (fragmented)
        output->flush_packets = 1; // each fragment (Matroska: each cluster) reaches the file as it is written
    int started = avformat_write_header(output, &options);
    av_dict_free(&options);
    fail(started, "cannot start");
}

namespace {

// Gives `output` a stream for each video and audio stream of `input`, filling `streamOf` with where each input
// stream goes (-1: left out). Returns the input's first video stream, or -1 when it has none.
int copyStreamLayout(AVFormatContext* input, AVFormatContext* output, std::vector<int>& streamOf, const std::string& to)
{
    streamOf.assign(input->nb_streams, -1);
    int video = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* in = input->streams[i];
        const AVMediaType type = in->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
            continue;
        AVStream* out = avformat_new_stream(output, nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            throw HostError("out of memory while setting up '" + to + "'");
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        out->avg_frame_rate = in->avg_frame_rate;
        streamOf[i] = out->index;
        if (type == AVMEDIA_TYPE_VIDEO && video < 0)
            video = (int)i;
    }
    return video;
}

// `comment` where given, else the input's own comment, if any.
void carryComment(AVFormatContext* input, AVFormatContext* output, const std::string& comment)
{
    const AVDictionaryEntry* tag = av_dict_get(input->metadata, "comment", nullptr, 0);
    const std::string note = !comment.empty() ? comment : tag ? tag->value : "";
    if (!note.empty())
        av_dict_set(&output->metadata, "comment", note.c_str(), 0);
}

// Copies the packets of the streams kept; returns the frames of video stream `video` copied.
int64_t copyPackets(AVFormatContext* input, AVFormatContext* output, const std::vector<int>& streamOf, int video,
                    bool lenient, const std::string& from, const std::string& to)
{
    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    if (!packet)
        throw HostError("out of memory while writing '" + to + "'");
    int64_t frames = 0;
    int result;
    while ((result = av_read_frame(input, packet.get())) >= 0) {
        const int target = streamOf[packet->stream_index];
        if (target < 0 || (lenient && (packet->flags & AV_PKT_FLAG_CORRUPT))) {
            av_packet_unref(packet.get());
            continue;
        }
        frames += packet->stream_index == video;
        const AVStream* in = input->streams[packet->stream_index];
        av_packet_rescale_ts(packet.get(), in->time_base, output->streams[target]->time_base);
        packet->stream_index = target;
        packet->pos = -1;
        result = av_interleaved_write_frame(output, packet.get());
        if (result < 0)
            throw HostError("cannot write '" + to + "': " + ffmpegError(result));
    }
    if (result != AVERROR_EOF && !lenient)
        throw HostError("cannot read '" + from + "': " + ffmpegError(result));
    return frames;
}

void finishMediaOutput(AVFormatContext* output, const std::string& to)
{
    int result = av_write_trailer(output);
    if (result >= 0)
        result = avio_closep(&output->pb);
    if (result < 0)
        throw HostError("cannot finish '" + to + "': " + ffmpegError(result));
}

} // namespace

int64_t remuxMedia(const std::string& from, const std::string& to, bool replace, const std::string& comment,
                   bool lenient)
{
    av_log_set_level(AV_LOG_ERROR);
    MediaInput input = openMediaInput(from);
    // Without it the packets of fragments come without their durations, and each stream's last is cut short.
    avformat_find_stream_info(input.get(), nullptr);
    MediaOutput output = newMediaOutput(to);
    std::vector<int> streamOf;
    const int video = copyStreamLayout(input.get(), output.get(), streamOf, to);
    if (video < 0)
        return 0;
    carryComment(input.get(), output.get(), comment);

    PendingFile pending(to, replace);
    startMediaOutput(output.get(), pending.path(), to, false);
    const int64_t frames = copyPackets(input.get(), output.get(), streamOf, video, lenient, from, to);
    if (frames == 0)
        return 0;
    finishMediaOutput(output.get(), to);
    pending.commit();
    return frames;
}

namespace {

uint64_t bigEndian(const unsigned char* bytes, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// The length of an MP4's top-level boxes up to the end of its last whole fragment (a moof and the mdat after
// it); 0 when it holds none, and -1 when it is no MP4.
int64_t wholeFragmentsLength(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const int64_t size = in ? (int64_t)in.tellg() : 0;
    int64_t at = 0, whole = 0;
    bool fragmentOpen = false;
    for (int box = 0; at + 8 <= size; ++box) {
        unsigned char header[16];
        in.seekg(at);
        if (!in.read((char*)header, 8))
            break;
        int64_t length = (int64_t)bigEndian(header, 4);
        const std::string type((const char*)header + 4, 4);
        if (box == 0 && type != "ftyp")
            return -1;
        if (length == 1) {
            if (!in.read((char*)header + 8, 8))
                break;
            length = (int64_t)bigEndian(header + 8, 8);
        } else if (length == 0)
            length = size - at;
        if (length < 8 || length > size - at)
            break;
        if (type == "moof")
            fragmentOpen = true;
        else if (type == "mdat" && fragmentOpen) {
            whole = at + length;
            fragmentOpen = false;
        }
        at += length;
    }
    return whole;
}

} // namespace

int64_t salvageVideo(const std::string& temporary, const std::string& target, bool replace)
{
    const int64_t whole = wholeFragmentsLength(temporary);
    if (whole == 0)
        return 0;
    if (whole > 0 && truncate(temporary.c_str(), (off_t)whole) != 0)
        throw HostError("cannot cut '" + temporary + "' to its whole fragments: " + std::strerror(errno));
    return remuxMedia(temporary, target, replace, "", true);
}

} // namespace gloamer
