// frame_grabber.cpp -- asynchronous read-back: frame k is read into buffer k mod N and mapped N-1 frames later.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "host/video/frame_grabber.h"

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
            glBufferData(GL_PIXEL_PACK_BUFFER, (GLsizeiptr)width * height * 3, nullptr, GL_STREAM_READ);
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    }
    // The slot about to be reused holds the oldest frame: hand it over first.
    if (pending_[(size_t)next_])
        deliverSlot(next_, deliver);

    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[(size_t)next_]);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
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
    const uint8_t* rows = (const uint8_t*)glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (rows) {
        // GL's rows run bottom-up; pictures and video run top-down.
        size_t rowBytes = (size_t)width_ * 3;
        flipped_.resize(rowBytes * (size_t)height_);
        for (int y = 0; y < height_; ++y)
            memcpy(flipped_.data() + (size_t)y * rowBytes, rows + (size_t)(height_ - 1 - y) * rowBytes, rowBytes);
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
