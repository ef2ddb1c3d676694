// read_watch.cpp -- FFmpeg's interrupt callback on the host's stop request and a no-data clock, and the timer
// that wakes reads FFmpeg cannot poll.
#include "host/media/read_watch.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <mutex>

#include "host/process/host_error.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

double timeoutSeconds = 30;

// The timer's signal only has to end a blocked system call with EINTR: its handler does nothing, and is
// installed without SA_RESTART.
void onWake(int) {}

void installWakeHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_handler = onWake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(SIGALRM, &action, nullptr);
    });
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", seconds);
    return text;
}

} // namespace

void setReadTimeout(double seconds)
{
    timeoutSeconds = seconds;
}

double readTimeout()
{
    return timeoutSeconds;
}

ReadWatch::ReadWatch(std::string name, bool wakeBlockedReads)
    : name_(std::move(name)), lastData_(std::chrono::steady_clock::now())
{
    if (!wakeBlockedReads)
        return;
    installWakeHandler();
    struct sigevent event = {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = gettid();
    timer_t timer;
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return;
    struct itimerspec every = {};
    every.it_interval.tv_nsec = every.it_value.tv_nsec = 200 * 1000 * 1000;
    timer_settime(timer, 0, &every, nullptr);
    timer_ = new timer_t(timer);
}

ReadWatch::~ReadWatch()
{
    if (timer_) {
        timer_delete(*static_cast<timer_t*>(timer_));
        delete static_cast<timer_t*>(timer_);
    }
}

void ReadWatch::watch(AVFormatContext* format)
{
    format_ = format;
    if (format) {
        format->interrupt_callback.callback = onCallback;
        format->interrupt_callback.opaque = this;
    }
}

int ReadWatch::onCallback(void* self)
{
    return static_cast<ReadWatch*>(self)->shouldStop() ? 1 : 0;
}

bool ReadWatch::shouldStop()
{
    if (interruptRequested())
        return true;
    // Where the input's buffer has reached moves only when data came in.
    int64_t position = format_ && format_->pb ? format_->pb->pos : -1;
    auto now = std::chrono::steady_clock::now();
    if (position != lastPosition_) {
        lastPosition_ = position;
        lastData_ = now;
    }
    if (std::chrono::duration<double>(now - lastData_).count() > timeoutSeconds)
        timedOut_ = true;
    return timedOut_;
}

void ReadWatch::throwIfStopped()
{
    if (interruptRequested())
        throw StopRequested();
    if (timedOut_)
        throw HostError("cannot read '" + name_ + "': no data came for " + secondsText(timeoutSeconds) +
                        " s (--timeout SECONDS waits longer)");
}

bool ReadWatch::wokenOnly()
{
    return timer_ && !shouldStop();
}

} // namespace gloamer
