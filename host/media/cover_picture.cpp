// cover_picture.cpp -- copies an input's attached pictures out of it, to be decoded after the input is gone.
#include "host/media/cover_picture.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace gloamer {

std::vector<CoverPicture> coverPicturesOf(const AVFormatContext& format)
{
    std::vector<CoverPicture> covers;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        if (!(stream.disposition & AV_DISPOSITION_ATTACHED_PIC) || stream.attached_pic.size <= 0)
            continue;
        AVCodecParameters* codec = avcodec_parameters_alloc();
        if (!codec || avcodec_parameters_copy(codec, stream.codecpar) < 0) {
            avcodec_parameters_free(&codec);
            continue;
        }
        CoverPicture cover;
        cover.codec.reset(codec, [](AVCodecParameters* gone) { avcodec_parameters_free(&gone); });
        cover.bytes.assign(stream.attached_pic.data, stream.attached_pic.data + stream.attached_pic.size);
        covers.push_back(std::move(cover));
    }
    return covers;
}

} // namespace gloamer
