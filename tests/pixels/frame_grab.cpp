// frame_grab.cpp -- reads each frame back just before it is swapped, and the measures the pixel tests compare.
#include "tests/pixels/frame_grab.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gl.h"
#include "platform/hooks.h"

namespace pixels {

int Frame::value(int x, int y) const
{
    const unsigned char* pixel = at(x, y);
    return std::max({pixel[0], pixel[1], pixel[2]});
}

size_t Frame::litCount(int threshold) const
{
    size_t count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += value(x, y) > threshold;
    return count;
}

Point centroid(const Frame& frame)
{
    double sum = 0, sumX = 0, sumY = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const unsigned char* pixel = frame.at(x, y);
            double weight = pixel[0] + pixel[1] + pixel[2];
            sum += weight;
            sumX += weight * x;
            sumY += weight * y;
        }
    return sum > 0 ? Point{sumX / sum, sumY / sum} : Point{frame.width / 2.0, frame.height / 2.0};
}

double meanRadius(const Frame& frame, int threshold)
{
    double sum = 0;
    size_t count = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (frame.value(x, y) > threshold) {
                sum += std::hypot(x + 0.5 - frame.width / 2.0, y + 0.5 - frame.height / 2.0);
                ++count;
            }
    return count ? sum / count : 0.0;
}

static int sum(const Frame& frame, int x, int y)
{
    const unsigned char* pixel = frame.at(x, y);
    return pixel[0] + pixel[1] + pixel[2];
}

double shiftMismatch(const Frame& a, const Frame& b, int dx, int dy)
{
    double total = 0;
    size_t count = 0;
    for (int y = std::max(0, dy); y < std::min(b.height, a.height + dy); y += 2)
        for (int x = std::max(0, dx); x < std::min(b.width, a.width + dx); x += 2) {
            total += std::abs(sum(b, x, y) - sum(a, x - dx, y - dy));
            ++count;
        }
    return count ? total / (double)count : 1e9;
}

double zoomMismatch(const Frame& a, const Frame& b, double scale)
{
    const double centreX = b.width / 2.0, centreY = b.height / 2.0;
    double total = 0;
    size_t count = 0;
    for (int y = 0; y < b.height; y += 2)
        for (int x = 0; x < b.width; x += 2) {
            int sourceX = (int)std::floor(centreX + (x + 0.5 - centreX) / scale);
            int sourceY = (int)std::floor(centreY + (y + 0.5 - centreY) / scale);
            if (sourceX < 0 || sourceY < 0 || sourceX >= a.width || sourceY >= a.height)
                continue;
            total += std::abs(sum(b, x, y) - sum(a, sourceX, sourceY));
            ++count;
        }
    return count ? total / (double)count : 1e9;
}

// The shift along one axis (the other held at `across`) that best lays a over b; no shift wins ties.
static int bestShift(const Frame& a, const Frame& b, int range, int across, bool alongX)
{
    auto mismatchAt = [&](int shift) {
        return alongX ? shiftMismatch(a, b, shift, across) : shiftMismatch(a, b, across, shift);
    };
    int best = 0;
    double bestMismatch = mismatchAt(0);
    for (int shift = -range; shift <= range; ++shift) {
        double mismatch = mismatchAt(shift);
        if (mismatch < bestMismatch) {
            best = shift;
            bestMismatch = mismatch;
        }
    }
    return best;
}

int bestShiftX(const Frame& a, const Frame& b, int range, int dy)
{
    return bestShift(a, b, range, dy, true);
}

int bestShiftY(const Frame& a, const Frame& b, int range, int dx)
{
    return bestShift(a, b, range, dx, false);
}

double bestZoom(const Frame& a, const Frame& b, double lo, double hi, double step)
{
    double best = lo;
    double bestMismatch = zoomMismatch(a, b, lo);
    for (double scale = lo + step; scale <= hi + step / 2; scale += step) {
        double mismatch = zoomMismatch(a, b, scale);
        if (mismatch < bestMismatch) {
            best = scale;
            bestMismatch = mismatch;
        }
    }
    return best;
}

double differingShare(const Frame& a, const Frame& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height)
        return 1.0;
    size_t differing = 0;
    for (size_t pixel = 0; pixel < a.rgb.size(); pixel += 3)
        for (int channel = 0; channel < 3; ++channel)
            if (std::abs(a.rgb[pixel + channel] - b.rgb[pixel + channel]) > tolerance) {
                ++differing;
                break;
            }
    return (double)differing / (double)(a.rgb.size() / 3);
}

void dumpFrame(const Frame& frame, const char* name)
{
    const char* folder = std::getenv("GLOAMER_FRAME_DUMP");
    if (!folder)
        return;
    std::string path = std::string(folder) + "/" + name + ".ppm";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fprintf(file, "P6 %d %d 255\n", frame.width, frame.height);
        std::fwrite(frame.rgb.data(), 1, frame.rgb.size(), file);
        std::fclose(file);
    }
}

FrameGrab::FrameGrab()
{
    gloamerSetTickSource(readTick, this);
    gloamerSetPresentHook(present, this);
}

FrameGrab::~FrameGrab()
{
    gloamerSetPresentHook(nullptr, nullptr);
    gloamerSetTickSource(nullptr, nullptr);
}

DWORD FrameGrab::readTick(void* user)
{
    return static_cast<FrameGrab*>(user)->tick;
}

void FrameGrab::present(HWND, int width, int height, void* user)
{
    Frame frame;
    frame.width = width;
    frame.height = height;
    std::vector<unsigned char> bottomUp((size_t)width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    frame.rgb.resize(bottomUp.size());
    const size_t row = (size_t)width * 3;
    for (int y = 0; y < height; ++y)
        std::copy_n(&bottomUp[(size_t)(height - 1 - y) * row], row, &frame.rgb[(size_t)y * row]);
    static_cast<FrameGrab*>(user)->frames.push_back(std::move(frame));
}

} // namespace pixels
