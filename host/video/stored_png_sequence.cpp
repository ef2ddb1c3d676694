// stored_png_sequence.cpp -- numbered PNG files written with the built-in stored PNG writer, for builds without FFmpeg.
#include <cstdio>
#include <vector>

#include "host/host_error.h"
#include "host/video/frame_sink.h"
#include "host/video/stored_png.h"

namespace gloamer {

namespace {

class StoredPngSequence : public FrameSink {
public:
    StoredPngSequence(const std::string& pattern, const VideoFormat& format) : pattern_(pattern), format_(format) {}
    void writeFrame(const uint8_t* rgb) override;
    void finish() override {}
    void abandon() override {}

private:
    std::string pattern_;
    VideoFormat format_;
    int next_ = 1;
};

void StoredPngSequence::writeFrame(const uint8_t* rgb)
{
    std::vector<uint8_t> png = encodeStoredPng(rgb, format_.width, format_.height);
    std::vector<char> name(pattern_.size() + 32);
    snprintf(name.data(), name.size(), pattern_.c_str(), next_);
    FILE* file = fopen(name.data(), "wb");
    bool written = file && fwrite(png.data(), 1, png.size(), file) == png.size();
    written = file && fclose(file) == 0 && written;
    if (!written) {
        remove(name.data()); // never leave a cut-off picture behind
        throw HostError(std::string("cannot write '") + name.data() + "': the disk may be full");
    }
    ++next_;
}

} // namespace

std::unique_ptr<FrameSink> openPictureSequence(const std::string& pattern, const VideoFormat& format)
{
    if (!isPictureSequence(pattern))
        throw HostError("'" + pattern + "' is not a picture pattern like DIR\\%05d.png");
    return std::make_unique<StoredPngSequence>(pattern, format);
}

} // namespace gloamer
