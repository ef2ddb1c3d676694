// png_encoder_stored.cpp -- pictures of a sequence as stored PNG files, for builds without FFmpeg.
#include "host/video/frame_sink.h"
#include "host/video/stored_png.h"

namespace gloamer {

std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height)
{
    return encodeStoredPng(rgb, width, height);
}

} // namespace gloamer
