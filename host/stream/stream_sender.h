// stream_sender.h -- the encoded packets sent on a thread of their own: the connection to the server (or the
// HLS files, or standard output), and, where the server goes away or refuses, new tries with a growing pause.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "host/stream/stream_encoder.h"
#include "host/stream/stream_target.h"

struct AVFormatContext;

namespace gloamer {

struct SenderSettings {
    StreamTarget target;
    int retryLimit = 10;            // --retry: new tries after failures in a row (0: none)
    std::string title;              // the stream's title at the start
    FILE* messages = stdout;        // where what happens is said
    std::function<void()> requestKeyframe; // a new connection starts with a keyframe
};

// While no connection stands, packets are let go: the sound and pictures go on, and a new connection starts at
// the next keyframe, its time stamps from 0. A connection that takes the stream slower than it comes, so that
// ten seconds of it wait, counts as lost.
class StreamSender {
public:
    StreamSender(SenderSettings settings, StreamCodecs codecs);
    ~StreamSender();
    StreamSender(const StreamSender&) = delete;
    StreamSender& operator=(const StreamSender&) = delete;

    // A packet from the encoder, copied. Any thread.
    void push(const AVPacket* packet, bool video);
    // The title of what plays now, carried where the protocol lets a stream's metadata change (FLV).
    void setTitle(const std::string& title);
    // Sends what waits, ends the stream (the trailer, the last HLS segment) and stops the thread.
    void finish();
    // Why the stream was given up, once it has been: empty while it goes on.
    std::string failure() const;
    bool connected() const { return connected_; }
    int64_t bytesSent() const { return bytesSent_; }

private:
    struct Waiting {
        AVPacket* packet;
        bool video;
    };
    void run();
    bool connect();
    void openConnection();
    void closeConnection(bool trailer);
    void sendOne(Waiting& waiting);
    void handleFailure(const std::string& what, bool connecting);
    bool retries() const;
    void applyTitle();
    static int interruptCheck(void* self);

    SenderSettings settings_;
    StreamCodecs codecs_;
    AVFormatContext* output_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Waiting> queue_;
    size_t queueLimit_ = 0;
    std::string title_, titleSent_;
    std::string failure_;
    std::atomic<bool> connected_{false}, finishing_{false}, connecting_{false};
    std::atomic<int64_t> deadline_{0};  // steady-clock nanoseconds past which a blocked call gives up
    std::atomic<int64_t> bytesSent_{0};
    int failures_ = 0;                  // failed tries in a row
    std::chrono::steady_clock::time_point nextTry_;
    bool awaitingKeyframe_ = true;
    int64_t videoOffset_ = 0, audioOffset_ = 0; // the connection's first keyframe, in each stream's time base
    std::thread worker_;
};

// Checks that the HLS folder can be written, making it where only its last part is missing; throws HostError.
void prepareHlsFolder(const StreamTarget& target);

} // namespace gloamer
