// frame_grabber.h -- reads presented frames back from the GL through a ring of pixel-buffer objects.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace gloamer {

class FrameGrabber {
public:
    // Receives one frame: width x height RGB bytes, top row first.
    using Delivery = std::function<void(const uint8_t* rgb, int width, int height)>;

    explicit FrameGrabber(int ringSize = 3);
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    // With the frame's context current: queues its read-back and delivers the oldest frame that has arrived.
    void capture(int width, int height, const Delivery& deliver);
    // Delivers every frame still in flight, oldest first; the context must still be current.
    void drain(const Delivery& deliver);
    // Frees the buffers while their context is still current.
    void release();

private:
    void deliverSlot(int slot, const Delivery& deliver);

    int ringSize_;
    std::vector<unsigned int> buffers_;
    std::vector<bool> pending_;
    int width_ = 0;
    int height_ = 0;
    int next_ = 0;
    int inFlight_ = 0;
    std::vector<uint8_t> flipped_;
};

} // namespace gloamer
