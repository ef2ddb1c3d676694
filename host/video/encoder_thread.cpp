// encoder_thread.cpp -- a frame sink on a thread of its own behind a bounded queue, so encoding overlaps drawing.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "host/video/frame_sink.h"

namespace gloamer {

namespace {

class EncoderThread : public FrameSink {
public:
    EncoderThread(std::unique_ptr<FrameSink> sink, size_t frameBytes, size_t capacity)
        : sink_(std::move(sink)), frameBytes_(frameBytes), capacity_(capacity), worker_([this] { run(); })
    {
    }

    ~EncoderThread() override
    {
        stop();
    }

    void writeFrame(const uint8_t* rgb) override
    {
        std::vector<uint8_t> frame;
        {
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return queue_.size() < capacity_ || failure_; });
            rethrowFailure();
            if (!spare_.empty()) {
                frame = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        frame.resize(frameBytes_);
        memcpy(frame.data(), rgb, frameBytes_);
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(frame));
        }
        work_.notify_one();
    }

    void finish() override
    {
        stop();
        rethrowFailure();
        sink_->finish();
    }

    void abandon() override
    {
        stop();
        sink_->abandon();
    }

private:
    void run()
    {
        for (;;) {
            std::vector<uint8_t> frame;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [this] { return !queue_.empty() || stopping_; });
                if (queue_.empty())
                    return;
                frame = std::move(queue_.front());
                queue_.pop_front();
            }
            room_.notify_one();
            try {
                if (!failure_)
                    sink_->writeFrame(frame.data());
            } catch (...) {
                std::lock_guard lock(mutex_);
                failure_ = std::current_exception();
                room_.notify_all();
            }
            std::lock_guard lock(mutex_);
            spare_.push_back(std::move(frame));
        }
    }

    // Lets the worker drain what is queued, then joins it.
    void stop()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        work_.notify_one();
        if (worker_.joinable())
            worker_.join();
    }

    void rethrowFailure()
    {
        if (failure_)
            std::rethrow_exception(failure_);
    }

    std::unique_ptr<FrameSink> sink_;
    size_t frameBytes_;
    size_t capacity_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<std::vector<uint8_t>> queue_;
    std::vector<std::vector<uint8_t>> spare_;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace

std::unique_ptr<FrameSink> runOnEncoderThread(std::unique_ptr<FrameSink> sink, size_t frameBytes, size_t capacity)
{
    return std::make_unique<EncoderThread>(std::move(sink), frameBytes, capacity);
}

} // namespace gloamer
