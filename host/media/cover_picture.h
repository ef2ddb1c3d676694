// cover_picture.h -- a picture attached to a music input (its cover), kept apart from the input it came in.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecParameters;
struct AVFormatContext;

namespace gloamer {

struct CoverPicture {
    std::shared_ptr<const AVCodecParameters> codec; // how the picture is encoded
    std::vector<uint8_t> bytes;                     // the encoded picture, one packet
};

// The attached pictures of an opened input, copied out of it.
std::vector<CoverPicture> coverPicturesOf(const AVFormatContext& format);

} // namespace gloamer
