// frame_grabber_pbo.cpp -- asynchronous read-back: frame k is read into buffer k mod N and mapped N-1 frames later.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "host/offline/frame_grabber.h"

namespace gloamer {

FrameGrabber::FrameGrabber(int ringSize) : ringSize_(ringSize < 1 ? 1 : ringSize) {}

FrameGrabber::~FrameGrabber() = default;

void FrameGrabber::capture(int width, int height, const Delivery& deliver)
{
    if (width != width_ || height != height_) {
        drain(deliver);
        release();
        width_ = width;
        height_ = height;
    }
    if (buffers_.empty()) {
        buffers_.resize((size_t)ringSize_);
        pending_.assign((size_t)ringSize_, false);
        glGenBuffers(ringSize_, buffers_.data());
        for (unsigned int buffer : buffers_) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glBufferData(GL_PIXEL_PACK_BUFFER, (GLsizeiptr)width * height * 4, nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    // The slot about to be reused holds the oldest frame: hand it over first.
    if (pending_[(size_t)next_])
        deliverSlot(next_, deliver);

    // RGBA with its rows 4-aligned whatever the packing: the one read-back OpenGL ES guarantees, for plug-ins
    // that draw with an ES context.
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[(size_t)next_]);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    pending_[(size_t)next_] = true;
    ++inFlight_;
    next_ = (next_ + 1) % ringSize_;
}

void FrameGrabber::drain(const Delivery& deliver)
{
    for (int i = 0; i < ringSize_ && inFlight_ > 0; ++i) {
        int slot = (next_ + i) % ringSize_;
        if (!pending_.empty() && pending_[(size_t)slot])
            deliverSlot(slot, deliver);
    }
}

void FrameGrabber::deliverSlot(int slot, const Delivery& deliver)
{
    pending_[(size_t)slot] = false;
    --inFlight_;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[(size_t)slot]);
    const size_t pixels = (size_t)width_ * (size_t)height_;
    const uint8_t* rows =
        (const uint8_t*)glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, (GLsizeiptr)(pixels * 4), GL_MAP_READ_BIT);
    if (rows) {
        // GL's rows run bottom-up; pictures and video run top-down, in RGB.
        flipped_.resize(pixels * 3);
        for (int y = 0; y < height_; ++y) {
            const uint8_t* from = rows + (size_t)(height_ - 1 - y) * (size_t)width_ * 4;
            uint8_t* to = flipped_.data() + (size_t)y * (size_t)width_ * 3;
            for (int x = 0; x < width_; ++x, from += 4, to += 3)
                memcpy(to, from, 3);
        }
        glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    if (rows)
        deliver(flipped_.data(), width_, height_);
}

void FrameGrabber::release()
{
    if (!buffers_.empty())
        glDeleteBuffers((GLsizei)buffers_.size(), buffers_.data());
    buffers_.clear();
    pending_.clear();
    inFlight_ = 0;
    next_ = 0;
}

} // namespace gloamer
