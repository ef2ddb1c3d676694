// read_watch.h -- what makes a blocking read of an input give way: a request to stop, or no data for too long.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct AVFormatContext;

namespace gloamer {

// How long a read waits for data before its input counts as stalled (--timeout); 30 s unless set.
void setReadTimeout(double seconds);
double readTimeout();

// Watches the reads of one input through FFmpeg's interrupt callback: any data read restarts the clock.
// Reads that FFmpeg does not poll (a FIFO, a terminal, standard input) are woken every fraction of a second
// by a timer aimed at the reading thread alone, so that the callback is asked even while read() blocks.
class ReadWatch {
public:
    ReadWatch(std::string name, bool wakeBlockedReads);
    ~ReadWatch();
    ReadWatch(const ReadWatch&) = delete;
    ReadWatch& operator=(const ReadWatch&) = delete;

    // The context whose reads are watched: its interrupt callback is set to this watch.
    void watch(AVFormatContext* format);
    // Throws what ended a failed read: StopRequested for Ctrl-C or SIGTERM, HostError naming the input for a
    // stall. Returns when neither did.
    void throwIfStopped();
    // True when an open that failed with EINTR was only woken by the timer and should be tried again.
    bool wokenOnly();

private:
    static int onCallback(void* self);
    bool shouldStop();

    std::string name_;
    AVFormatContext* format_ = nullptr;
    int64_t lastPosition_ = -1;
    std::chrono::steady_clock::time_point lastData_;
    bool timedOut_ = false;
    void* timer_ = nullptr; // a timer_t, when blocked reads are woken
};

} // namespace gloamer
