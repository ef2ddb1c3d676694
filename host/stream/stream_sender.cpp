// stream_sender.cpp -- a muxer per connection, packets rebased to it, and the tries after a failure.
extern "C" {
#include <libavformat/avformat.h>
}

#include "host/stream/stream_sender.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "host/process/host_error.h"
#include "host/process/pending_file.h"
#include "host/stream/stream_pacer.h"

namespace gloamer {

namespace {

using Clock = std::chrono::steady_clock;

// How long one connection's start, or one write, may block before it counts as failed.
constexpr std::chrono::seconds blockingLimit{10};

int64_t nanosecondsFromNow(Clock::duration span)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>((Clock::now() + span).time_since_epoch()).count();
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g s", seconds);
    return text;
}

} // namespace

void prepareHlsFolder(const StreamTarget& target)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(target.url).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error) && !fs::create_directory(folder, error))
        throw HostError("cannot make the folder '" + folder.string() + "' for the stream: " + error.message() +
                        " (its parent must exist and be writable)");
    // A file made and removed beside the playlist: the one sure test that the folder takes files.
    PendingFile probe(target.url, true);
    probe.discard();
}

StreamSender::StreamSender(SenderSettings settings, StreamCodecs codecs)
    : settings_(std::move(settings)), codecs_(codecs), title_(settings_.title)
{
    // Ten seconds of packets: a frame rate's worth of pictures and about 47 AAC blocks a second.
    const double fps = (double)codecs_.videoTimeBase.den / std::max(1, codecs_.videoTimeBase.num);
    queueLimit_ = (size_t)(10 * (fps + 50));
    worker_ = std::thread([this] { run(); });
}

StreamSender::~StreamSender()
{
    finish();
    for (Waiting& waiting : queue_)
        av_packet_free(&waiting.packet);
}

void StreamSender::push(const AVPacket* packet, bool video)
{
    if (!connected_)
        return; // nobody to send it to: the next connection starts at a keyframe of its own
    AVPacket* copy = av_packet_clone(packet);
    if (!copy)
        return;
    std::lock_guard lock(mutex_);
    queue_.push_back({copy, video});
    wake_.notify_one();
}

void StreamSender::setTitle(const std::string& title)
{
    std::lock_guard lock(mutex_);
    title_ = title;
}

std::string StreamSender::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void StreamSender::finish()
{
    finishing_ = true;
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

int StreamSender::interruptCheck(void* self)
{
    auto* sender = static_cast<StreamSender*>(self);
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    // A try at a server is given up at the end; a standing connection is given its time to send what is left.
    return now > sender->deadline_ || (sender->connecting_ && sender->finishing_);
}

bool StreamSender::retries() const
{
    return settings_.target.kind == StreamKind::Rtmp || settings_.target.kind == StreamKind::Srt;
}

void StreamSender::run()
{
    nextTry_ = Clock::now();
    while (failure().empty()) {
        if (!connected_) {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, nextTry_, [this] { return finishing_.load(); });
            lock.unlock();
            if (finishing_)
                return;
            connect();
            continue;
        }
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !queue_.empty() || finishing_; });
        if (queue_.empty()) {
            lock.unlock();
            closeConnection(true);
            return;
        }
        const bool tooSlow = queue_.size() > queueLimit_;
        Waiting waiting = queue_.front();
        queue_.pop_front();
        lock.unlock();
        if (tooSlow) {
            av_packet_free(&waiting.packet);
            handleFailure("it takes the stream slower than it comes", false);
            continue;
        }
        sendOne(waiting);
        av_packet_free(&waiting.packet);
    }
}

bool StreamSender::connect()
{
    try {
        connecting_ = true;
        deadline_ = nanosecondsFromNow(blockingLimit);
        openConnection();
        connecting_ = false;
    } catch (const HostError& error) {
        connecting_ = false;
        closeConnection(false);
        if (!finishing_)
            handleFailure(error.what(), true);
        return false;
    }
    awaitingKeyframe_ = true;
    failures_ = 0;
    connected_ = true;
    settings_.requestKeyframe();
    std::fprintf(settings_.messages, "Streaming to %s.\n", settings_.target.shownName.c_str());
    std::fflush(settings_.messages);
    return true;
}

void StreamSender::handleFailure(const std::string& what, bool connecting)
{
    if (!connecting)
        closeConnection(false);
    connected_ = false;
    {
        std::lock_guard lock(mutex_);
        for (Waiting& waiting : queue_)
            av_packet_free(&waiting.packet);
        queue_.clear();
    }
    ++failures_;
    const std::string where = settings_.target.shownName;
    if (!retries() || !mayRetry(failures_, settings_.retryLimit)) {
        std::lock_guard lock(mutex_);
        failure_ = (connecting ? "cannot stream to " : "lost the stream to ") + where + ": " + what +
                   (!retries()                ? ""
                    : failures_ == 1 ? " (no further try: --retry 0)"
                                     : " (gave up after " + std::to_string(failures_) + " tries in a row: --retry " +
                                           std::to_string(settings_.retryLimit) + ")");
        return;
    }
    const double pause = retryPause(failures_);
    std::fprintf(stderr, "gloamer: %s %s: %s; trying again in %s (try %d of %d).\n",
                 connecting ? "cannot stream to" : "lost the stream to", where.c_str(), what.c_str(),
                 secondsText(pause).c_str(), failures_, settings_.retryLimit);
    nextTry_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(pause));
}

void StreamSender::openConnection()
{
    const StreamTarget& target = settings_.target;
    if (avformat_alloc_output_context2(&output_, nullptr, target.muxer.c_str(), target.url.c_str()) < 0 || !output_)
        throw HostError("this FFmpeg cannot write " + target.muxer);
    output_->interrupt_callback = AVIOInterruptCB{interruptCheck, this};
    const AVCodecParameters* parameters[2] = {codecs_.video, codecs_.audio};
    const AVRational timeBases[2] = {codecs_.videoTimeBase, codecs_.audioTimeBase};
    for (int i = 0; i < 2; ++i) {
        AVStream* stream = avformat_new_stream(output_, nullptr);
        if (!stream || avcodec_parameters_copy(stream->codecpar, parameters[i]) < 0)
            throw HostError("out of memory while starting the stream");
        stream->time_base = timeBases[i];
        if (i == 0)
            stream->avg_frame_rate = stream->r_frame_rate = av_inv_q(timeBases[0]);
    }
    {
        std::lock_guard lock(mutex_);
        titleSent_ = title_;
    }
    av_dict_set(&output_->metadata, "title", titleSent_.c_str(), 0);
    av_dict_set(&output_->metadata, "service_name", titleSent_.c_str(), 0); // MPEG-TS's name for it
    av_dict_set(&output_->metadata, "service_provider", "Gloamer", 0);
    AVDictionary* options = nullptr;
    if (target.kind == StreamKind::Rtmp)
        av_dict_set(&options, "flvflags", "no_duration_filesize", 0); // a live stream has neither
    if (target.kind == StreamKind::Hls) {
        av_dict_set(&options, "hls_time", "2", 0);
        av_dict_set(&options, "hls_list_size", "6", 0);
        av_dict_set(&options, "hls_flags", "delete_segments+temp_file+independent_segments", 0);
        av_dict_set(&options, "hls_segment_filename", target.segments.c_str(), 0);
        av_dict_set(&options, "hls_start_number_source", "epoch", 0); // a restarted stream never reuses a name
    }
    int result = 0;
    if (!(output_->oformat->flags & AVFMT_NOFILE))
        result = avio_open2(&output_->pb, target.url.c_str(), AVIO_FLAG_WRITE, &output_->interrupt_callback, nullptr);
    if (result >= 0)
        result = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (result < 0)
        throw HostError(ffmpegError(result));
}

void StreamSender::closeConnection(bool trailer)
{
    if (!output_)
        return;
    if (trailer) {
        deadline_ = nanosecondsFromNow(blockingLimit);
        const int result = av_write_trailer(output_);
        if (result < 0) {
            std::lock_guard lock(mutex_);
            failure_ = "cannot end the stream to " + settings_.target.shownName + ": " + ffmpegError(result);
        }
    }
    if (output_->pb && !(output_->oformat->flags & AVFMT_NOFILE))
        avio_closep(&output_->pb);
    avformat_free_context(output_);
    output_ = nullptr;
    connected_ = false;
}

void StreamSender::applyTitle()
{
    std::string title;
    {
        std::lock_guard lock(mutex_);
        if (title_ == titleSent_)
            return;
        title = titleSent_ = title_;
    }
    // FLV sends the changed metadata before its next packet; the other muxers keep what they started with.
    av_dict_set(&output_->metadata, "title", title.c_str(), 0);
    output_->event_flags |= AVFMT_EVENT_FLAG_METADATA_UPDATED;
}

void StreamSender::sendOne(Waiting& waiting)
{
    AVPacket* packet = waiting.packet;
    if (awaitingKeyframe_) {
        if (!waiting.video || !(packet->flags & AV_PKT_FLAG_KEY))
            return; // a connection starts at a keyframe, with the sound from there
        awaitingKeyframe_ = false;
        videoOffset_ = packet->pts;
        audioOffset_ = av_rescale_q(packet->pts, codecs_.videoTimeBase, codecs_.audioTimeBase);
    }
    const int64_t offset = waiting.video ? videoOffset_ : audioOffset_;
    if (packet->pts < offset)
        return;
    packet->pts -= offset;
    packet->dts -= offset;
    AVStream* stream = output_->streams[waiting.video ? 0 : 1];
    av_packet_rescale_ts(packet, waiting.video ? codecs_.videoTimeBase : codecs_.audioTimeBase, stream->time_base);
    packet->stream_index = stream->index;
    applyTitle();
    const int size = packet->size;
    deadline_ = nanosecondsFromNow(blockingLimit);
    const int result = av_interleaved_write_frame(output_, packet);
    if (result < 0) {
        handleFailure(ffmpegError(result), false);
        return;
    }
    bytesSent_ += size;
}

} // namespace gloamer
