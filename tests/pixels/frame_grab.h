// frame_grab.h -- catches the frames a plug-in presents on the real GL, with a clock the test drives, and measures them.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win32.h"

namespace pixels {

// One presented frame, RGB, top row first.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
    // The brightest of the three channels.
    int value(int x, int y) const;
    size_t litCount(int threshold) const;
};

struct Point {
    double x = 0, y = 0;
};

// Brightness-weighted mean position (y down), and the lit pixels' mean distance from the window's centre.
Point centroid(const Frame& frame);
double meanRadius(const Frame& frame, int threshold);
// How well b matches a moved by (dx, dy) pixels, or a magnified by scale about the window's centre: the mean
// absolute difference of the channel sums over the pixels both cover, sampled on every other row and column.
double shiftMismatch(const Frame& a, const Frame& b, int dx, int dy);
double zoomMismatch(const Frame& a, const Frame& b, double scale);
// The move along x (or y), within -range .. range, that matches best with the other axis moved by the given
// amount; and the best magnification in lo .. hi.
int bestShiftX(const Frame& a, const Frame& b, int range, int dy = 0);
int bestShiftY(const Frame& a, const Frame& b, int range, int dx = 0);
double bestZoom(const Frame& a, const Frame& b, double lo, double hi, double step);
// Share of pixels whose channels differ by more than tolerance.
double differingShare(const Frame& a, const Frame& b, int tolerance);
// With GLOAMER_FRAME_DUMP naming a folder, writes the frame there as name.ppm to look at.
void dumpFrame(const Frame& frame, const char* name);

// Installs the clock and the present hook for its lifetime; every presented frame is kept.
class FrameGrab {
public:
    FrameGrab();
    ~FrameGrab();
    FrameGrab(const FrameGrab&) = delete;
    FrameGrab& operator=(const FrameGrab&) = delete;

    DWORD tick = 0;
    std::vector<Frame> frames;
    const Frame& last() const { return frames.back(); }

private:
    static DWORD readTick(void* user);
    static void present(HWND window, int width, int height, void* user);
};

} // namespace pixels
