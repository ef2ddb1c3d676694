// video_quality.cpp -- the table behind --quality.
#include "host/video/video_quality.h"

#include "host/process/host_error.h"

namespace gloamer {

int crfFor(const std::string& quality, const std::string& codec)
{
    struct Row {
        const char* codec;
        int small, good, high;
    };
    // HEVC reaches H.264's picture about 4 steps higher; VP9's and AV1's scales run to 63.
    static const Row rows[] = {
        {"h264", 28, 23, 19},
        {"nvenc", 28, 23, 19}, // the GPUs' H.264 encoders, on the same scale
        {"vaapi", 28, 23, 19},
        {"qsv", 28, 23, 19},
        {"hevc", 32, 27, 23},
        {"vp9", 42, 35, 28},
        {"av1", 42, 34, 27},
    };
    for (const Row& row : rows) {
        if (codec != row.codec)
            continue;
        if (quality == "small")
            return row.small;
        if (quality == "good")
            return row.good;
        if (quality == "high")
            return row.high;
        throw HostError("'" + quality + "' is not a quality (small, good or high)");
    }
    throw HostError("no quality table for the codec '" + codec + "'");
}

int uploadCeilingKbps(const std::string& quality, int width, int height, int fps)
{
    if (quality == "high")
        return 0;
    const long long pixels = (long long)width * height;
    int kbps = pixels <= 640 * 480 ? 2500 : pixels <= 1280 * 720 ? 5000 : pixels <= 1920 * 1080 ? 8000
             : pixels <= 2560 * 1440 ? 16000 : 40000;
    if (fps > 30)
        kbps += kbps / 2;
    return quality == "small" ? kbps / 2 : kbps;
}

int highestCrf(const std::string& codec)
{
    return codec == "vp9" || codec == "av1" ? 63 : 51;
}

} // namespace gloamer
