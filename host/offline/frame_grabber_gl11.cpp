// frame_grabber_gl11.cpp -- read-back with plain glReadPixels, for GLs that offer no pixel-buffer objects (opengl32).
#include "host/offline/frame_grabber.h"

#include <cstring>

#include "platform/gl.h"

namespace gloamer {

FrameGrabber::FrameGrabber(int ringSize) : ringSize_(ringSize < 1 ? 1 : ringSize) {}

FrameGrabber::~FrameGrabber() = default;

// Reads the frame at once and hands it over: nothing is ever in flight.
void FrameGrabber::capture(int width, int height, const Delivery& deliver)
{
    width_ = width;
    height_ = height;
    size_t rowBytes = (size_t)width * 3;
    std::vector<uint8_t> rows(rowBytes * (size_t)height);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    // GL's rows run bottom-up; pictures run top-down.
    flipped_.resize(rows.size());
    for (int y = 0; y < height; ++y)
        memcpy(flipped_.data() + (size_t)y * rowBytes, rows.data() + (size_t)(height - 1 - y) * rowBytes, rowBytes);
    deliver(flipped_.data(), width, height);
}

void FrameGrabber::drain(const Delivery&) {}

void FrameGrabber::deliverSlot(int, const Delivery&) {}

void FrameGrabber::release() {}

} // namespace gloamer
